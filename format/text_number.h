#pragma once

#include <optional>
#include <string_view>

namespace veltrane {

// Reads the leading number of a field text, the way the calculator always has: blanks, tabs
// and line feeds are ignored anywhere; an optional sign, digits with at most one "." and an
// optional exponent (E or e, optional sign, digits); or &H / &O followed by a hexadecimal or
// octal integer. Reading stops at the first character that cannot continue the number. A text
// without a leading number reads as 0; a number too small for a double reads as 0. Does not
// depend on the locale.
//
// Returns nothing when the number is too large for a double (such as "1e400").
[[nodiscard]] std::optional<double> text_to_number(std::string_view text);

} // namespace veltrane
