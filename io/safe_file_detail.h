#pragma once
// Pieces of the safe file writer that every platform's implementation shares.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrane::detail {

// The system's text for an error, starting in lower case as it follows a colon in a message:
// "permission denied", "no space left on device".
[[nodiscard]] std::string reason_text(const std::error_code& error);
// The same for a system's text of its own: also without the full stop and line end it may close
// with ("Access is denied.\r\n" becomes "access is denied").
[[nodiscard]] std::string reason_text(std::string text);

// "Cannot write <path>: <reason>", the one form of every message of the writer.
[[nodiscard]] std::string cannot_write(const std::filesystem::path& path, std::string_view reason);
[[nodiscard]] std::string cannot_write(const std::filesystem::path& path,
                                       const std::error_code& error);

} // namespace veltrane::detail
