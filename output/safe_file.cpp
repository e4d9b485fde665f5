#include "output/safe_file.h"
#include "output/safe_file_detail.h"

namespace veltrane::detail {

std::string reason_text(const std::error_code& error) {
    std::string text = error.message();
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z') {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}

std::string cannot_write(const std::filesystem::path& path, std::string_view reason) {
    std::string message = "Cannot write ";
    message += path.generic_string();
    message += ": ";
    message += reason;
    return message;
}

std::string cannot_write(const std::filesystem::path& path, const std::error_code& error) {
    return cannot_write(path, reason_text(error));
}

} // namespace veltrane::detail
