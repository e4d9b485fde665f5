#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrane::rf {

// Numbers written for machines and people by the exports; always finite input (callers make sure).

// A whole text that is one finite number, as written for machines ("0.295", "1e-3"); nothing for
// anything else (a word after it, a blank, "inf").
[[nodiscard]] std::optional<double> read_number(std::string_view text);

// Shortest text that reads back as the same double ("0.1", "1e-12"): Touchstone, JSON.
void append_shortest(std::string& out, double value);
[[nodiscard]] std::string shortest(double value);

// Seventeen significant digits in scientific form ("1.5862310000000001e-10"): SPICE values.
[[nodiscard]] std::string full_precision(double value);

// `digits` significant digits, trailing zeros dropped ("79.7113"): texts for people.
[[nodiscard]] std::string readable(double value, int digits = 6);

// Fixed point with `decimals` places ("12.35"): picture coordinates.
void append_fixed(std::string& out, double value, int decimals);

} // namespace veltrane::rf
