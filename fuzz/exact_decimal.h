#pragma once

// A slow but exact model of how the calculator turns a double into text, used by the fuzz targets
// as an independent reference. Nothing here is fast or clever: a double is expanded into its
// exact decimal digits with plain big-integer arithmetic, and every rounding step works on those
// digit strings.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::fuzzref {

// A non-negative decimal 0.d1d2d3... x 10^point. `digits` has no leading and no trailing zeros;
// zero is the empty digit string with point 0.
struct Decimal {
    std::string digits;
    int point = 0;

    bool operator==(const Decimal&) const = default;
};

// Big natural number in base 10^9, least significant limb first.
class BigNat {
  public:
    explicit BigNat(std::uint64_t value) {
        do {
            limbs_.push_back(static_cast<std::uint32_t>(value % base));
            value /= base;
        } while (value != 0);
    }

    // Multiplies by a factor below 2^32.
    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (auto& limb : limbs_) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product % base);
            carry = product / base;
        }
        while (carry != 0) {
            limbs_.push_back(static_cast<std::uint32_t>(carry % base));
            carry /= base;
        }
    }

    void multiply_by_power(std::uint32_t factor, int exponent) {
        for (int i = 0; i < exponent; ++i) {
            multiply(factor);
        }
    }

    [[nodiscard]] std::string to_string() const {
        std::string text = std::to_string(limbs_.back());
        for (auto it = limbs_.rbegin() + 1; it != limbs_.rend(); ++it) {
            const std::string part = std::to_string(*it);
            text.append(9 - part.size(), '0');
            text += part;
        }
        return text;
    }

  private:
    static constexpr std::uint64_t base = 1'000'000'000;
    std::vector<std::uint32_t> limbs_;
};

inline Decimal normalized(std::string digits, int point) {
    std::size_t first = 0;
    while (first < digits.size() && digits[first] == '0') {
        ++first;
    }
    digits.erase(0, first);
    point -= static_cast<int>(first);
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    if (digits.empty()) {
        point = 0;
    }
    return Decimal{std::move(digits), point};
}

// The exact decimal value of |value| for a finite double.
inline Decimal exact_decimal(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = 0;
    if (biased == 0) {
        exponent = 1 - 1075; // subnormal: mantissa x 2^-1074
    } else {
        mantissa |= std::uint64_t{1} << 52;
        exponent = biased - 1075;
    }
    if (mantissa == 0) {
        return {};
    }
    BigNat number{mantissa};
    if (exponent >= 0) {
        // mantissa x 2^exponent, in steps of 2^29.
        number.multiply_by_power(1U << 29, exponent / 29);
        number.multiply(1U << (exponent % 29));
        std::string digits = number.to_string();
        const int length = static_cast<int>(digits.size());
        return normalized(std::move(digits), length);
    }
    // mantissa x 2^-n = mantissa x 5^n / 10^n, with 5^n in steps of 5^13.
    const int n = -exponent;
    number.multiply_by_power(1'220'703'125U, n / 13);
    for (int i = 0; i < n % 13; ++i) {
        number.multiply(5);
    }
    std::string digits = number.to_string();
    const int length = static_cast<int>(digits.size());
    return normalized(std::move(digits), length - n);
}

// Adds one unit in the last place of a digit string; returns true when it grew by a digit.
inline bool increment(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
    return true;
}

// Rounds to `significant` significant digits, a tie going to the even neighbour.
inline Decimal round_significant_even(const Decimal& exact, std::size_t significant) {
    if (exact.digits.size() <= significant) {
        return exact;
    }
    std::string kept = exact.digits.substr(0, significant);
    const std::string_view rest = std::string_view{exact.digits}.substr(significant);
    bool up = false;
    if (rest[0] > '5') {
        up = true;
    } else if (rest[0] == '5') {
        const bool beyond_half = rest.find_first_not_of('0', 1) != std::string_view::npos;
        up = beyond_half || ((kept.back() - '0') % 2 == 1);
    }
    int point = exact.point;
    if (up && increment(kept)) {
        ++point;
    }
    return normalized(std::move(kept), point);
}

// The same 15 significant digits read back from std::to_chars scientific output such as
// "1.23450000000000e+02" (used to check the big-number arithmetic against the library).
inline Decimal from_scientific(std::string_view text) {
    std::string digits;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits += text[i];
        }
    }
    int exponent = 0;
    bool negative = false;
    for (++i; i < text.size(); ++i) {
        if (text[i] == '-') {
            negative = true;
        } else if (text[i] >= '0' && text[i] <= '9') {
            exponent = exponent * 10 + (text[i] - '0');
        }
    }
    return normalized(std::move(digits), (negative ? -exponent : exponent) + 1);
}

struct PatternShape {
    std::string_view prefix;
    int min_integer_digits;
    int decimals;
    bool has_digits;
};

// Formats per the calculator's pattern rules: `d15` is the magnitude rounded to 15 significant
// digits, `negative` the sign of the value.
inline std::string format_decimal(const Decimal& d15, bool negative, const PatternShape& shape) {
    if (!shape.has_digits) {
        return std::string{shape.prefix};
    }
    const int d = shape.decimals;
    // scaled = |value| x 10^d rounded to an integer, halves away from zero.
    std::string scaled;
    const int keep = d15.point + d; // digits of d15 that lie before the rounding position
    if (d15.digits.empty() || keep < 0) {
        scaled = "0";
    } else if (keep == 0) {
        scaled = d15.digits[0] >= '5' ? "1" : "0";
    } else {
        const auto length = static_cast<int>(d15.digits.size());
        scaled = d15.digits.substr(0, static_cast<std::size_t>(std::min(keep, length)));
        if (keep > length) {
            scaled.append(static_cast<std::size_t>(keep - length), '0');
        } else if (keep < length && d15.digits[static_cast<std::size_t>(keep)] >= '5') {
            increment(scaled);
        }
    }
    if (static_cast<int>(scaled.size()) < d + 1) {
        scaled.insert(0, static_cast<std::size_t>(d + 1) - scaled.size(), '0');
    }
    const std::size_t split = scaled.size() - static_cast<std::size_t>(d);
    std::string integer = scaled.substr(0, split);
    const std::string fraction = scaled.substr(split);
    const std::size_t first = integer.find_first_not_of('0');
    integer.erase(0, first == std::string::npos ? integer.size() : first);
    if (static_cast<int>(integer.size()) < shape.min_integer_digits) {
        integer.insert(0, static_cast<std::size_t>(shape.min_integer_digits) - integer.size(), '0');
    }
    const bool zero = scaled.find_first_not_of('0') == std::string::npos;
    std::string text;
    if (negative && !zero) {
        text += '-';
    }
    text += shape.prefix;
    text += integer;
    text += '.';
    text += fraction;
    return text;
}

// The whole reference for a finite double.
inline std::string format_reference(double value, const PatternShape& shape) {
    return format_decimal(round_significant_even(exact_decimal(value), 15), std::signbit(value),
                          shape);
}

} // namespace veltrane::fuzzref
