#include "io/safe_file.h"
#include "io/safe_file_detail.h"

#include "io/path_text.h"

namespace veltrane {

std::string reason_text(const std::error_code& error) {
    return reason_text(error.message());
}

std::string reason_text(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.pop_back();
    }
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}

} // namespace veltrane

namespace veltrane::detail {

std::string cannot_write(const std::filesystem::path& path, std::string_view reason) {
    std::string message = "Cannot write ";
    // One separator between names, the system's own, and UTF-8 whatever the code page.
    message += path_to_utf8(std::filesystem::path(path.generic_u8string()));
    message += ": ";
    message += reason;
    return message;
}

std::string cannot_write(const std::filesystem::path& path, const std::error_code& error) {
    return cannot_write(path, reason_text(error));
}

} // namespace veltrane::detail
