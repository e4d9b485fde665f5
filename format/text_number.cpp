#include "format/text_number.h"

#include <charconv>
#include <string>
#include <system_error>

namespace veltrane {

namespace {

bool is_ignored(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_octal_digit(char c) {
    return c >= '0' && c <= '7';
}

// The characters that matter: the text without blanks, tabs and line feeds.
std::string squeeze(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!is_ignored(c)) {
            out.push_back(c);
        }
    }
    return out;
}

// Hexadecimal digits (no prefix) to the nearest double; nothing when beyond the double range.
std::optional<double> hex_value(std::string_view digits) {
    if (digits.empty()) {
        return 0.0;
    }
    double value = 0.0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                     std::chars_format::hex);
    if (ec == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    (void)end;
    return value;
}

// Octal digits to hexadecimal digits, exactly, so that rounding happens once.
std::string octal_as_hex(std::string_view digits) {
    std::string bits;
    bits.reserve(digits.size() * 3 + 3);
    for (char c : digits) {
        const int d = c - '0';
        bits.push_back(static_cast<char>('0' + ((d >> 2) & 1)));
        bits.push_back(static_cast<char>('0' + ((d >> 1) & 1)));
        bits.push_back(static_cast<char>('0' + (d & 1)));
    }
    bits.insert(0, (4 - bits.size() % 4) % 4, '0');
    std::string hex;
    hex.reserve(bits.size() / 4);
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                           (bits[i + 3] - '0');
        hex.push_back("0123456789abcdef"[nibble]);
    }
    return hex;
}

std::optional<double> radix_number(std::string_view s) {
    // s starts after "&".
    const char kind = s.empty() ? '\0' : s.front();
    s.remove_prefix(s.empty() ? 0 : 1);
    if (kind == 'H' || kind == 'h') {
        std::size_t n = 0;
        while (n < s.size() && is_hex_digit(s[n])) {
            ++n;
        }
        return hex_value(s.substr(0, n));
    }
    if (kind == 'O' || kind == 'o') {
        std::size_t n = 0;
        while (n < s.size() && is_octal_digit(s[n])) {
            ++n;
        }
        return hex_value(octal_as_hex(s.substr(0, n)));
    }
    return 0.0;
}

} // namespace

std::optional<double> text_to_number(std::string_view text) {
    const std::string s = squeeze(text);
    if (!s.empty() && s.front() == '&') {
        return radix_number(std::string_view(s).substr(1));
    }

    // Scan the longest leading decimal number: sign, digits, ".", digits, exponent.
    std::size_t i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        ++i;
    }
    const std::size_t mantissa_start = i;
    long first_nonzero = -1; // position of the first nonzero digit relative to the point
    long int_digits = 0;
    bool any_digit = false;
    while (i < s.size() && is_digit(s[i])) {
        if (first_nonzero < 0 && s[i] != '0') {
            first_nonzero = int_digits;
        }
        ++int_digits;
        any_digit = true;
        ++i;
    }
    long frac_digits = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) {
            if (first_nonzero < 0 && s[i] != '0') {
                first_nonzero = int_digits + frac_digits;
            }
            ++frac_digits;
            any_digit = true;
            ++i;
        }
    }
    if (!any_digit) {
        return 0.0;
    }
    const std::size_t mantissa_end = i;

    long exponent = 0;
    std::size_t number_end = mantissa_end;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < s.size() && (s[j] == '-' || s[j] == '+')) {
            exponent_negative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && is_digit(s[j])) {
            while (j < s.size() && is_digit(s[j])) {
                if (exponent < 100000) { // far beyond any double; keeps the sum below overflow
                    exponent = exponent * 10 + (s[j] - '0');
                }
                ++j;
            }
            if (exponent_negative) {
                exponent = -exponent;
            }
            number_end = j;
        }
    }

    if (first_nonzero < 0) {
        return negative ? -0.0 : 0.0;
    }

    std::string canonical;
    canonical.reserve(number_end - mantissa_start + 2);
    if (negative) {
        canonical.push_back('-');
    }
    canonical.append(s, mantissa_start, mantissa_end - mantissa_start);
    if (number_end > mantissa_end) {
        canonical.push_back('e');
        const std::string exponent_text = std::to_string(exponent);
        canonical.append(exponent_text);
    }
    if (canonical.front() == '.' || (negative && canonical[1] == '.')) {
        canonical.insert(negative ? 1 : 0, 1, '0');
    }

    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Decimal order of magnitude of the leading digit decides: too large, or too small.
        const long order = int_digits - first_nonzero + exponent;
        if (order > 0) {
            return std::nullopt;
        }
        return negative ? -0.0 : 0.0;
    }
    if (ec != std::errc{}) {
        return 0.0;
    }
    return value;
}

} // namespace veltrane
