#pragma once

// Numbers written for people, once for every front end: plain ASCII ("30.7 - j32.4 ohm") for a
// terminal, a file or a clipboard a parser reads, typographic ("30.7 − j32.4 Ω") for a window.
// No Qt.

#include "rf/model_impedance.h"

#include <string>
#include <string_view>

namespace veltrane::views {

enum class Typography { Ascii, Typographic };

// "-" or U+2212; "ohm" or U+03A9.
[[nodiscard]] std::string_view minus_sign(Typography style);
[[nodiscard]] std::string_view ohm_unit(Typography style);

// `digits` significant digits, trailing zeros dropped; "-" for a value that is not finite.
[[nodiscard]] std::string people_number(double value, int digits = 6);

// "30.7 - j32.4": the sign of the reactance as its sign bit says.
[[nodiscard]] std::string complex_text(rf::Complex z, Typography style, int digits = 6);
// The same with the unit: "30.7 - j32.4 ohm".
[[nodiscard]] std::string impedance_text(rf::Complex z, Typography style, int digits = 6);

// A value in a base unit ("H", "F", "Hz") with the SI prefix that puts between 1 and 1000 in
// front of it: 1.142e-13 H → "114.2 pH", 1e11 Hz → "100 GHz"; "0 H" for zero. Prefixes from
// femto to giga; micro as "u" in ASCII.
[[nodiscard]] std::string si_text(double value, std::string_view unit, Typography style,
                                  int digits = 4);

// The text with the typographic signs a window uses written as plain ASCII (U+2212 as "-", Ω as
// "ohm", ΔΓ as "dGamma", ≥ as ">=" ...); any other character outside ASCII as "?".
[[nodiscard]] std::string ascii_text(std::string_view text);

} // namespace veltrane::views
