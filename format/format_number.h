#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// The four number patterns of the calculator.
enum class Pattern {
    Report,    // "   ###0.0": messages and every number in the report
    Frequency, // "####.00":   FL, FH, F0 fields
    Value,     // "##0.000":   element and Q fields
    Blank,     // "     ":     cleared result fields
};

// The pattern text as the calculator's designers wrote it.
[[nodiscard]] std::string_view pattern_text(Pattern pattern);

// Formats a finite value with a pattern: literal prefix, integer digits (at least the
// pattern's minimum count, never cut), ".", the pattern's decimals; halves round away from
// zero; a "-" goes before the whole text, prefix included.
[[nodiscard]] std::string format_number(double value, Pattern pattern);

} // namespace veltrane
