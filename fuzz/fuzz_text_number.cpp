// Fuzz target: text_to_number on arbitrary bytes. It must never crash, must give a finite value
// or nothing, and must obey the reading rule: blanks, tabs and line feeds count for nothing,
// whatever follows the number is ignored, and a decimal number reads as its correctly rounded
// double.

#include "check.h"
#include "format/text_number.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

using namespace veltrane::fuzzref;

namespace {

using Reading = std::optional<double>;

std::string describe(const Reading& reading) {
    return reading ? veltrane::fuzzref::describe(*reading) : std::string{"nothing"};
}

// Same value and same sign of zero, or nothing on both sides.
bool identical(const Reading& a, const Reading& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return std::bit_cast<std::uint64_t>(*a) == std::bit_cast<std::uint64_t>(*b);
}

bool is_ignored(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string without_blanks(std::string_view text) {
    std::string result;
    for (const char c : text) {
        if (!is_ignored(c)) {
            result += c;
        }
    }
    return result;
}

struct Expected {
    bool known = false; // false for &H / &O numbers, whose reading is not modelled here
    Reading value;
};

// The decimal part of the rule, modelled independently: strip the ignored characters, take the
// longest prefix of the form [sign] digits [. digits] [E [sign] digits], and let std::from_chars
// round it. A text that does not start with a number reads as 0; a number beyond the double range
// reads as nothing, one below it as 0.
Expected decimal_reference(std::string_view text) {
    const std::string clean = without_blanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < clean.size() && (clean[i] == '+' || clean[i] == '-')) {
        negative = clean[i] == '-';
        ++i;
    }
    if (i < clean.size() && clean[i] == '&') {
        return {};
    }
    std::string number;
    long long magnitude = 0; // decimal exponent of the leading significant digit, roughly
    bool significant = false;
    std::size_t mantissa_digits = 0;
    for (; i < clean.size() && is_digit(clean[i]); ++i) {
        number += clean[i];
        ++mantissa_digits;
        significant = significant || clean[i] != '0';
        if (significant) {
            ++magnitude;
        }
    }
    if (i < clean.size() && clean[i] == '.') {
        number += '.';
        for (++i; i < clean.size() && is_digit(clean[i]); ++i) {
            number += clean[i];
            ++mantissa_digits;
            if (!significant) {
                significant = clean[i] != '0';
                if (!significant) {
                    --magnitude;
                }
            }
        }
    }
    if (mantissa_digits == 0) {
        return {true, 0.0};
    }
    if (i < clean.size() && (clean[i] == 'E' || clean[i] == 'e')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        bool exponent_negative = false;
        if (j < clean.size() && (clean[j] == '+' || clean[j] == '-')) {
            exponent_negative = clean[j] == '-';
            exponent += clean[j];
            ++j;
        }
        long long exponent_value = 0;
        const std::size_t exponent_start = j;
        for (; j < clean.size() && is_digit(clean[j]); ++j) {
            exponent += clean[j];
            if (exponent_value < 1'000'000'000) {
                exponent_value = exponent_value * 10 + (clean[j] - '0');
            }
        }
        if (j > exponent_start) {
            number += exponent;
            magnitude += exponent_negative ? -exponent_value : exponent_value;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    FUZZ_REQUIRE(end == number.data() + number.size() || error != std::errc{},
                 "reference parse stopped early in ", escaped(number));
    if (error == std::errc::result_out_of_range) {
        if (!significant || magnitude <= 0) {
            return {true, negative ? -0.0 : 0.0};
        }
        return {true, std::nullopt};
    }
    FUZZ_REQUIRE(error == std::errc{}, "reference could not read ", escaped(number));
    return {true, negative ? -value : value};
}

void check(std::string_view text) {
    const Reading reading = veltrane::text_to_number(text);
    FUZZ_REQUIRE(!reading || std::isfinite(*reading), "text_to_number(", escaped(text),
                 ") = ", describe(reading));

    // Whatever follows the number is ignored, so a letter after the text changes nothing.
    const std::string with_letter = std::string{text} + "z";
    const Reading after_letter = veltrane::text_to_number(with_letter);
    FUZZ_REQUIRE(identical(reading, after_letter), "text_to_number(", escaped(text),
                 ") = ", describe(reading), " but ", escaped(with_letter), " gives ",
                 describe(after_letter));

    // Blanks, tabs and line feeds count for nothing, wherever they stand.
    const std::string clean = without_blanks(text);
    const Reading clean_reading = veltrane::text_to_number(clean);
    FUZZ_REQUIRE(identical(reading, clean_reading), "text_to_number(", escaped(text),
                 ") = ", describe(reading), " but without blanks ", escaped(clean), " gives ",
                 describe(clean_reading));
    const std::size_t step = text.size() <= 24 ? 1 : text.size() / 16;
    for (std::size_t at = 0; at <= text.size(); at += step) {
        std::string spaced{text};
        spaced.insert(at, 1, " \t\n"[at % 3]);
        const Reading spaced_reading = veltrane::text_to_number(spaced);
        FUZZ_REQUIRE(identical(reading, spaced_reading), "text_to_number(", escaped(text),
                     ") = ", describe(reading), " but ", escaped(spaced), " gives ",
                     describe(spaced_reading));
    }

    const Expected expected = decimal_reference(text);
    if (!expected.known) {
        return;
    }
    // Zero compares equal to minus zero here: the rule says nothing about the sign of zero.
    const bool same = expected.value ? reading && *reading == *expected.value : !reading;
    FUZZ_REQUIRE(same, "text_to_number(", escaped(text), ") = ", describe(reading), ", expected ",
                 describe(expected.value));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The reference itself, on texts whose reading is not in doubt.
    struct Case {
        std::string_view text;
        Reading value;
    };
    const Case cases[] = {
        {"", 0.0},         {"abc", 0.0},           {"2.5GHz", 2.5},
        {"1,5", 1.0},      {" 1 0", 10.0},         {"-0", -0.0},
        {"1e400", {}},     {"1e-400", 0.0},        {".5", 0.5},
        {"5.", 5.0},       {"1.e2", 100.0},        {"1e", 1.0},
        {"1e+", 1.0},      {"- 1 . 5 e 1", -15.0}, {"+.", 0.0},
        {"--5", 0.0},      {"1.2.3", 1.2},         {"1E-2x", 0.01},
        {"0e999999", 0.0}, {"inf", 0.0},           {"nan", 0.0},
        {"0x10", 0.0},
    };
    for (const auto& [text, value] : cases) {
        const Expected expected = decimal_reference(text);
        FUZZ_REQUIRE(expected.known && identical(expected.value, value), "reference reads ",
                     escaped(text), " as ", describe(expected.value));
    }
    FUZZ_REQUIRE(!decimal_reference("&H1F").known, "reference models &H");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    check(std::string_view{reinterpret_cast<const char*>(bytes), size});
    return 0;
}
