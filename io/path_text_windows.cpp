#include "io/path_text.h"

#include <windows.h>

#include <climits>

namespace veltrane {

std::string utf8_from_wide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX / 3)) {
        return {};
    }
    const int count = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), count, text.data(), size, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return text;
}

} // namespace veltrane
