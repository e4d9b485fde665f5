#include "format/format_number.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

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

// A positive finite value rounded to `significant_digits` digits (ties to even on the exact
// binary value): digits * 10^(exponent - 14), digits in [1e14, 1e15).
struct SignificantDigits {
    std::uint64_t digits;
    int exponent;
};

constexpr std::uint64_t lowest_form = 100'000'000'000'000;   // 1e14
constexpr std::uint64_t beyond_form = 1'000'000'000'000'000; // 1e15

SignificantDigits significant_form_by_library(double magnitude) {
    // Form: d.dddddddddddddde[+-]xx (or xxx)
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                                   std::chars_format::scientific, significant_digits - 1);
    SignificantDigits form{0, 0};
    const char* c = buf.data();
    for (; c != res.ptr && *c != 'e'; ++c) {
        if (*c != '.') {
            form.digits = form.digits * 10 + static_cast<std::uint64_t>(*c - '0');
        }
    }
    const bool negative_exponent = c + 1 < res.ptr && c[1] == '-';
    for (c += 2; c < res.ptr; ++c) {
        form.exponent = form.exponent * 10 + (*c - '0');
    }
    if (negative_exponent) {
        form.exponent = -form.exponent;
    }
    return form;
}

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 uint128;

// The same rounding in exact 128-bit integer arithmetic, several times faster than the library
// for the values a calculation shows (1e-8 to 2^127); nothing outside that range.
std::optional<SignificantDigits> significant_form_exact(double magnitude) {
    if (!(magnitude >= 1e-8 && magnitude < 0x1p127)) {
        return std::nullopt;
    }
    constexpr auto powers_of_ten = [] {
        std::array<uint128, 39> table{};
        table[0] = 1;
        for (std::size_t i = 1; i < table.size(); ++i) {
            table[i] = table[i - 1] * 10;
        }
        return table;
    }();
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int e = biased - 1075; // magnitude = m * 2^e
    // floor(log10(magnitude)), or one less; corrected below. 78913 / 2^18 ~ log10(2).
    int k = ((biased - 1023) * 78913) >> 18;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // magnitude * 10^p = q + remainder / divisor, exactly.
        const int p = significant_digits - 1 - k;
        uint128 q = 0;
        uint128 remainder = 0;
        uint128 divisor = 1;
        if (p > 22 || (p >= 0 && e >= 0)) {
            return std::nullopt; // m * 10^p would not fit
        }
        if (p >= 0) {
            const uint128 scaled =
                static_cast<uint128>(m) * powers_of_ten[static_cast<std::size_t>(p)];
            divisor = static_cast<uint128>(1) << -e;
            q = scaled >> -e;
            remainder = scaled & (divisor - 1);
        } else if (e >= 0) {
            const uint128 whole = static_cast<uint128>(m) << e;
            divisor = powers_of_ten[static_cast<std::size_t>(-p)];
            q = whole / divisor;
            remainder = whole % divisor;
        } else {
            divisor = powers_of_ten[static_cast<std::size_t>(-p)] << -e;
            q = m / divisor;
            remainder = m % divisor;
        }
        if (q >= beyond_form) {
            ++k;
            continue;
        }
        if (q < lowest_form) {
            --k;
            continue;
        }
        auto digits = static_cast<std::uint64_t>(q);
        const uint128 twice = remainder * 2;
        if (twice > divisor || (twice == divisor && (digits & 1U) != 0)) {
            ++digits;
        }
        if (digits == beyond_form) {
            return SignificantDigits{lowest_form, k + 1};
        }
        return SignificantDigits{digits, k};
    }
    return std::nullopt;
}
#endif

SignificantDigits significant_form(double magnitude) {
#if defined(__SIZEOF_INT128__)
    if (const auto form = significant_form_exact(magnitude)) {
        return *form;
    }
#endif
    return significant_form_by_library(magnitude);
}

} // namespace

std::string_view pattern_text(Pattern pattern) {
    return shape(pattern).text;
}

std::string format_number(double value, Pattern pattern) {
    const PatternShape& p = shape(pattern);
    if (!p.has_digits) {
        return std::string(p.prefix);
    }

    // The value is 0.d1d2...dn x 10^point; digits[0] is a spare slot for a carry.
    std::array<char, significant_digits + 1> digits{};
    int n = 0;
    int point = 0;
    const double magnitude = std::fabs(value);
    if (magnitude != 0.0 && std::isfinite(magnitude)) {
        const SignificantDigits form = significant_form(magnitude);
        std::uint64_t rest = form.digits;
        for (int i = significant_digits; i >= 1; --i) {
            digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        n = significant_digits;
        point = form.exponent + 1;
    }

    // Keep `point + decimals` digits, rounding half away from zero on the next one. A carry out
    // of the leading digit moves into the spare slot (999.96 -> 1000.0).
    int first = 1;
    int kept = 0;
    const int keep = point + p.decimals;
    if (keep >= 0 && n > 0) {
        kept = keep < n ? keep : n;
        if (keep < n && digits[static_cast<std::size_t>(1 + keep)] >= '5') {
            int i = kept;
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
    // Digit at a position counted from the leading one; zeros beyond the kept digits.
    auto digit_at = [&](int position) {
        return position >= 0 && position < kept ? digits[static_cast<std::size_t>(first + position)]
                                                : '0';
    };

    // A value that rounds to zero shows no sign.
    bool rounds_to_zero = true;
    for (int pos = 0; pos < kept; ++pos) {
        rounds_to_zero = rounds_to_zero && digit_at(pos) == '0';
    }

    // Integer digits without leading zeros (the kept digits start nonzero unless all are zero),
    // at least the pattern's minimum count.
    const int int_digits = rounds_to_zero || point <= 0 ? 0 : point;
    const int int_width = int_digits > p.min_int_digits ? int_digits : p.min_int_digits;

    std::string out;
    out.reserve(1 + p.prefix.size() + static_cast<std::size_t>(int_width) + 1 +
                static_cast<std::size_t>(p.decimals));
    if (std::signbit(value) && !rounds_to_zero) {
        out.push_back('-');
    }
    out.append(p.prefix);
    out.append(static_cast<std::size_t>(int_width - int_digits), '0');
    for (int pos = 0; pos < int_digits; ++pos) {
        out.push_back(digit_at(pos));
    }
    out.push_back('.');
    for (int k = 0; k < p.decimals; ++k) {
        out.push_back(digit_at(point + k));
    }
    return out;
}

} // namespace veltrane
