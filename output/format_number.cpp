#include "output/format_number.h"

#include <array>
#include <charconv>
#include <cmath>

namespace veltrane {

namespace {

struct PatternShape {
    std::string_view text;
    std::string_view prefix; // literal characters before the placeholders
    int min_int_digits;      // count of "0" before "."
    int decimals;            // placeholders after "."
    bool has_digits;
};

constexpr std::array<PatternShape, 4> shapes = {{
    {"   ###0.0", "   ", 1, 1, true},
    {"####.00", "", 0, 2, true},
    {"##0.000", "", 1, 3, true},
    {"     ", "     ", 0, 0, false},
}};

const PatternShape& shape(Pattern pattern) {
    return shapes.at(static_cast<std::size_t>(pattern));
}

// Significant digits of the value's decimal form. The half-way rule is applied to this form,
// not to the exact binary value, so 2.675 (stored a hair below) still rounds up to 2.68, as the
// person who typed it expects. Integer digits past the fifteenth come out as zeros.
constexpr int significant_digits = 15;

} // namespace

std::string_view pattern_text(Pattern pattern) {
    return shape(pattern).text;
}

std::string format_number(double value, Pattern pattern) {
    const PatternShape& p = shape(pattern);
    if (!p.has_digits) {
        return std::string(p.prefix);
    }

    // digits[0..n) with the decimal point after `point` digits (point may be <= 0 or > n).
    std::array<char, significant_digits + 1> digits{};
    int n = 0;
    int point = 0;
    const double magnitude = std::fabs(value);
    if (magnitude != 0.0 && std::isfinite(magnitude)) {
        std::array<char, 32> buf{};
        const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                                       std::chars_format::scientific, significant_digits - 1);
        // Form: d.dddddddddddddde±xx
        const char* c = buf.data();
        for (; c != res.ptr && *c != 'e'; ++c) {
            if (*c != '.') {
                digits[static_cast<std::size_t>(1 + n++)] = *c;
            }
        }
        int exponent = 0;
        std::from_chars(c + 1 + (c[1] == '+' ? 1 : 0), res.ptr, exponent);
        point = exponent + 1;
    }

    // Keep `point + decimals` digits, rounding half away from zero on the next digit. A slot in
    // front of the digits takes the carry (999.96 -> 1000.0).
    digits[0] = '0';
    int first = 1; // index of the leading digit in `digits`
    const int keep = point + p.decimals;
    int kept = 0;
    if (keep >= 0 && n > 0) {
        kept = keep < n ? keep : n;
        const bool round_up = keep < n && digits[static_cast<std::size_t>(1 + keep)] >= '5';
        if (round_up) {
            int i = kept; // last kept digit is digits[kept] (1-based)
            while (i >= 1 && digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
                --i;
            }
            if (i >= 1) {
                ++digits[static_cast<std::size_t>(i)];
            } else {
                digits[0] = '1';
                first = 0;
                ++point;
                ++kept;
            }
        }
    }
    // kept digits start at `first`; the number is 0.d1d2... x 10^point.
    auto digit_at = [&](int position) -> char { // position 0 is the leading digit
        if (position < 0 || position >= kept) {
            return '0';
        }
        return digits[static_cast<std::size_t>(first + position)];
    };

    std::string int_digits;
    if (point > 0 && kept > 0) {
        for (int pos = 0; pos < point; ++pos) {
            int_digits.push_back(digit_at(pos));
        }
        const auto nonzero = int_digits.find_first_not_of('0');
        int_digits.erase(0, nonzero == std::string::npos ? int_digits.size() : nonzero);
    }
    if (static_cast<int>(int_digits.size()) < p.min_int_digits) {
        int_digits.insert(0, static_cast<std::size_t>(p.min_int_digits) - int_digits.size(), '0');
    }

    std::string frac_digits;
    bool any_nonzero = int_digits.find_first_not_of('0') != std::string::npos;
    for (int k = 0; k < p.decimals; ++k) {
        const char d = digit_at(point + k);
        any_nonzero = any_nonzero || d != '0';
        frac_digits.push_back(d);
    }

    std::string out;
    out.reserve(1 + p.prefix.size() + int_digits.size() + 1 + frac_digits.size());
    // A value that rounds to zero is written without a sign.
    if (std::signbit(value) && any_nonzero) {
        out.push_back('-');
    }
    out.append(p.prefix);
    out.append(int_digits);
    out.push_back('.');
    out.append(frac_digits);
    return out;
}

} // namespace veltrane
