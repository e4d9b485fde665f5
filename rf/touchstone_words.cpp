// The Touchstone format's words and numbers, as the reader reads them.

#include "rf/touchstone_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace veltrane::rf::touchstone {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == y; });
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The next blank-separated word of `rest`, removed from it; empty at the end.
std::string_view next_word(std::string_view& rest) {
    std::size_t begin = 0;
    while (begin < rest.size() && is_blank(rest[begin])) {
        ++begin;
    }
    std::size_t end = begin;
    while (end < rest.size() && !is_blank(rest[end])) {
        ++end;
    }
    const std::string_view word = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return word;
}

// Words from the file are quoted in messages; keep a long or binary one short and printable.
std::string quoted(std::string_view word) {
    std::string text = "\"";
    for (const char c : word.substr(0, 24)) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    text += word.size() > 24 ? "...\"" : "\"";
    return text;
}

// "1 number", "2 numbers"; "frequency" becomes "frequencies".
std::string count_text(std::size_t n, std::string_view noun) {
    std::string text = std::to_string(n) + " " + std::string{noun};
    if (n != 1) {
        if (text.ends_with('y')) {
            text.back() = 'i';
            text += 'e';
        }
        text += 's';
    }
    return text;
}

namespace {

// Whether a decimal number as from_chars reads it (no sign) is below 1 in magnitude: the place of
// its first significant digit plus its exponent is negative. Only asked of a number out of range.
bool below_one(std::string_view digits) {
    const std::size_t e = digits.find_first_of("eE");
    const std::string_view mantissa = digits.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view text = digits.substr(e + 1);
        const bool negative = text.starts_with('-');
        if (negative || text.starts_with('+')) {
            text.remove_prefix(1);
        }
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), exponent);
        if (error == std::errc::result_out_of_range) {
            exponent = std::numeric_limits<long long>::max() / 2; // far beyond any double
        }
        exponent = negative ? -exponent : exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) {
        return true; // zero
    }
    // "123.4" has its first digit at place 2, "0.001" at place -3.
    const long long place = first < point ? static_cast<long long>(point - first) - 1
                                          : -static_cast<long long>(first - point);
    return place + exponent < 0;
}

} // namespace

// A decimal number as Touchstone writes it: optional sign, digits with an optional point and
// exponent. Nothing else (no "inf", "nan" or hexadecimal), and it must be finite; one below the
// smallest double reads as zero of its sign.
std::optional<double> number_in(std::string_view word, std::size_t line) {
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    const std::size_t first = !digits.empty() && digits.front() == '-' ? 1 : 0;
    if (digits.size() <= first ||
        !((digits[first] >= '0' && digits[first] <= '9') || digits[first] == '.')) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (end != digits.data() + digits.size() || error == std::errc::invalid_argument) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range && below_one(digits.substr(first))) {
        return first == 1 ? -0.0 : 0.0;
    }
    if (error != std::errc{} || !std::isfinite(value)) {
        throw BadFile{line, "number out of range: " + quoted(word)};
    }
    return value;
}

double number(std::string_view word, std::size_t line) {
    if (const auto value = number_in(word, line)) {
        return *value;
    }
    throw BadFile{line, "expected a number, found " + quoted(word)};
}

long long whole_number(std::string_view word, std::size_t line, std::string_view what) {
    long long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc{} || end != word.data() + word.size()) {
        throw BadFile{line, std::string{what} + " needs a whole number, found " + quoted(word)};
    }
    return value;
}

// The port count a version 1 file's name gives: ".s<N>p" in any case. 0 for ".ts", -1 for
// anything else.
int ports_from_name(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return -1;
    }
    const std::string_view extension = name.substr(dot + 1);
    if (same_word(extension, "ts")) {
        return 0;
    }
    if (extension.size() < 3 || extension.size() > 4 || lower(extension.front()) != 's' ||
        lower(extension.back()) != 'p') {
        return -1;
    }
    const std::string_view digits = extension.substr(1, extension.size() - 2);
    int ports = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), ports);
    if (error != std::errc{} || end != digits.data() + digits.size() || ports < 1) {
        return -1;
    }
    return ports;
}

} // namespace veltrane::rf::touchstone
