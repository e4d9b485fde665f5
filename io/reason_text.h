#pragma once
// The system's text for an error, as it follows a colon in one of the program's messages.

#include <string>
#include <system_error>

namespace veltrane {

// Starting in lower case: "permission denied", "no space left on device".
[[nodiscard]] std::string reason_text(const std::error_code& error);
// The same for a system's text of its own: also without the full stop and line end it may close
// with ("Access is denied.\r\n" becomes "access is denied").
[[nodiscard]] std::string reason_text(std::string text);

} // namespace veltrane
