#include "rf/numbers.h"

#include <array>
#include <charconv>
#include <cmath>

namespace veltrane::rf {

std::optional<double> read_number(std::string_view text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {
// Fixed point of the largest double needs 309 digits before the point.
using Buffer = std::array<char, 400>;
} // namespace

void append_shortest(std::string& out, double value) {
    Buffer buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

std::string shortest(double value) {
    std::string out;
    append_shortest(out, value);
    return out;
}

std::string full_precision(double value) {
    Buffer buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::scientific, 16);
    return {buffer.data(), result.ptr};
}

std::string readable(double value, int digits) {
    Buffer buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, digits);
    return {buffer.data(), result.ptr};
}

void append_fixed(std::string& out, double value, int decimals) {
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) {
        value = 0.0; // no "-0.00"
    }
    Buffer buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    out.append(buffer.data(), result.ptr);
}

} // namespace veltrane::rf
