// Fuzz target: format_number on arbitrary finite doubles and all four patterns, compared with an
// exact big-decimal model of the formatting rules (fuzz/exact_decimal.h).

#include "check.h"
#include "exact_decimal.h"
#include "format/format_number.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

using veltrane::Pattern;
using namespace veltrane::fuzzref;

namespace {

struct PatternCase {
    Pattern pattern;
    PatternShape shape;
};

constexpr std::array<PatternCase, 4> patterns = {{
    {Pattern::Report, {"   ", 1, 1, true}},
    {Pattern::Frequency, {"", 0, 2, true}},
    {Pattern::Value, {"", 1, 3, true}},
    {Pattern::Blank, {"     ", 0, 0, false}},
}};

std::string to_chars_15(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                   std::chars_format::scientific, 14)
                         .ptr;
    return std::string(buffer, end);
}

// The 15-digit form from the big-number arithmetic must agree with the library's correctly
// rounded conversion; a disagreement is a fault of the reference, not of the calculator.
Decimal checked_reference_digits(double value) {
    Decimal ours = round_significant_even(exact_decimal(value), 15);
    const std::string library = to_chars_15(value);
    const Decimal theirs = from_scientific(library);
    FUZZ_REQUIRE(ours == theirs, "reference 15-digit form of ", describe(value), " is 0.",
                 ours.digits, "e", std::to_string(ours.point), ", to_chars says ", library);
    return ours;
}

void check_value(double value) {
    const Decimal d15 = checked_reference_digits(value);
    for (const auto& [pattern, shape] : patterns) {
        const std::string actual = veltrane::format_number(value, pattern);
        const std::string expected = format_decimal(d15, std::signbit(value), shape);
        for (const char c : actual) {
            FUZZ_REQUIRE(c == ' ' || c == '-' || c == '.' || (c >= '0' && c <= '9'),
                         "format_number(", describe(value), ", ", veltrane::pattern_text(pattern),
                         ") wrote a stray character: ", escaped(actual));
        }
        FUZZ_REQUIRE(actual == expected, "format_number(", describe(value), ", \"",
                     veltrane::pattern_text(pattern), "\") = ", escaped(actual), ", expected ",
                     escaped(expected));
    }
}

// Checks of the reference itself against values whose expansion is known.
void self_test() {
    FUZZ_REQUIRE((exact_decimal(0.1) ==
                  Decimal{"1000000000000000055511151231257827021181583404541015625", 0}),
                 "exact_decimal(0.1)");
    FUZZ_REQUIRE((exact_decimal(0.0) == Decimal{}), "exact_decimal(0)");
    FUZZ_REQUIRE((exact_decimal(-2.5) == Decimal{"25", 1}), "exact_decimal(-2.5)");
    FUZZ_REQUIRE((exact_decimal(1e23) == Decimal{"99999999999999991611392", 23}),
                 "exact_decimal(1e23)");
    FUZZ_REQUIRE(
        (exact_decimal(std::ldexp(1.0, 100)) == Decimal{"1267650600228229401496703205376", 31}),
        "exact_decimal(2^100)");
    const Decimal tiny = exact_decimal(std::numeric_limits<double>::denorm_min());
    FUZZ_REQUIRE(tiny.point == -323 && tiny.digits.size() == 751 &&
                     tiny.digits.substr(0, 6) == "494065",
                 "exact_decimal(denorm_min)");
    const Decimal huge = exact_decimal(std::numeric_limits<double>::max());
    FUZZ_REQUIRE(huge.point == 309 && huge.digits.substr(0, 8) == "17976931", "exact_decimal(max)");
    FUZZ_REQUIRE((round_significant_even(Decimal{"1000000000000005", 1}, 15) == Decimal{"1", 1}),
                 "tie to even, down");
    FUZZ_REQUIRE((round_significant_even(Decimal{"1000000000000015", 1}, 15) ==
                  Decimal{"100000000000002", 1}),
                 "tie to even, up");
    FUZZ_REQUIRE((round_significant_even(Decimal{"9999999999999999", 3}, 15) == Decimal{"1", 4}),
                 "carry into a new digit");

    // The documented examples of the number patterns, one row per value.
    struct Row {
        double value;
        std::array<std::string_view, 4> texts;
    };
    const std::array<Row, 10> rows = {{
        {0, {"   0.0", ".00", "0.000", "     "}},
        {0.5, {"   0.5", ".50", "0.500", "     "}},
        {0.25, {"   0.3", ".25", "0.250", "     "}},
        {0.125, {"   0.1", ".13", "0.125", "     "}},
        {1.0625, {"   1.1", "1.06", "1.063", "     "}},
        {12.3456, {"   12.3", "12.35", "12.346", "     "}},
        {999.96, {"   1000.0", "999.96", "999.960", "     "}},
        {12345.678, {"   12345.7", "12345.68", "12345.678", "     "}},
        {-3.5, {"-   3.5", "-3.50", "-3.500", "     "}},
        {-0.5, {"-   0.5", "-.50", "-0.500", "     "}},
    }};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            FUZZ_REQUIRE(format_reference(row.value, patterns[i].shape) == row.texts[i],
                         "reference formats ", describe(row.value), " as ",
                         escaped(format_reference(row.value, patterns[i].shape)), ", table says ",
                         escaped(row.texts[i]));
        }
    }
    // A stored value just below a decimal half is judged on its 15-digit form; a negative value
    // that rounds to zero has no sign; integer digits beyond the fifteenth are zeros.
    FUZZ_REQUIRE(format_reference(2.675, patterns[1].shape) == "2.68", "reference 2.675");
    FUZZ_REQUIRE(format_reference(-0.0004, patterns[2].shape) == "0.000", "reference -0.0004");
    FUZZ_REQUIRE(format_reference(1e20 / 3, patterns[1].shape) == "33333333333333300000.00",
                 "reference 1e20/3");
}

double power_of_ten(int exponent) {
    double result = 1.0;
    for (int i = 0; i < exponent; ++i) {
        result *= 10.0;
    }
    return result;
}

// Turns the input into a double, favouring values near decimal halves and moderate magnitudes.
double pick_value(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: // any bit pattern
        return std::bit_cast<double>(data.ConsumeIntegral<std::uint64_t>());
    case 1: { // a short decimal, as typed or as computed: integer / 10^k
        const auto integer =
            data.ConsumeIntegralInRange<std::int64_t>(-999'999'999'999'999, 999'999'999'999'999);
        return static_cast<double>(integer) / power_of_ten(data.ConsumeIntegralInRange(0, 18));
    }
    case 2: { // an exact binary fraction (2k+1) / 2^j: true halves at the shown decimals
        const auto odd = 2 * data.ConsumeIntegralInRange<std::int64_t>(-1'000'000, 1'000'000) + 1;
        return std::ldexp(static_cast<double>(odd), -data.ConsumeIntegralInRange(1, 16));
    }
    case 3: { // a short decimal moved by a few units in the last place
        const auto integer = data.ConsumeIntegralInRange<std::int64_t>(-99'999'999, 99'999'999);
        double value =
            static_cast<double>(integer) / power_of_ten(data.ConsumeIntegralInRange(0, 6));
        const int steps = data.ConsumeIntegralInRange(-3, 3);
        for (int i = 0; i < std::abs(steps); ++i) {
            value = std::nextafter(value, steps < 0 ? -HUGE_VAL : HUGE_VAL);
        }
        return value;
    }
    default: { // any mantissa at a moderate binary exponent
        const auto mantissa = data.ConsumeIntegral<std::uint64_t>() >> 11;
        const double sign = data.ConsumeBool() ? -1.0 : 1.0;
        return sign *
               std::ldexp(static_cast<double>(mantissa), data.ConsumeIntegralInRange(-90, 20));
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    self_test();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    // A bounded number of values per input keeps the slow reference from dominating.
    for (int count = 0; count < 16 && data.remaining_bytes() > 0; ++count) {
        const double value = pick_value(data);
        if (std::isfinite(value)) {
            check_value(value);
        }
    }
    return 0;
}
