#pragma once
// File paths to and from the UTF-8 text the program uses everywhere (command line, messages,
// JSON). A path built from a plain std::string is read in the ANSI code page on Windows, which
// turns "Модель.prt" into "??????.prt"; these go through char8_t on every system.

#include <filesystem>
#include <string>
#include <string_view>

namespace veltrane {

[[nodiscard]] inline std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The path as the user's system writes it: native separators ("out\Model.prt" on Windows).
[[nodiscard]] inline std::string path_to_utf8(const std::filesystem::path& path) {
    std::filesystem::path native = path;
    native.make_preferred();
    const std::u8string text = native.u8string();
    return {text.begin(), text.end()};
}

#ifdef _WIN32
// UTF-16 text from Windows (a command-line word, a file name, a system message) as UTF-8. A lone
// surrogate, which a file name may hold, becomes U+FFFD instead of failing the whole text.
[[nodiscard]] std::string utf8_from_wide(std::wstring_view wide);
#endif

} // namespace veltrane
