#include "format/format_number.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace veltrane {
namespace {

struct FormatCase {
    double value;
    Pattern pattern;
    const char* expected;
};

class FormatNumberTest : public ::testing::TestWithParam<FormatCase> {};

// "Frequency_m0_p5": the pattern, then the value in its shortest form.
std::string format_case_name(const ::testing::TestParamInfo<FormatCase>& info) {
    const char* pattern = "";
    switch (info.param.pattern) {
    case Pattern::Report:
        pattern = "Report";
        break;
    case Pattern::Frequency:
        pattern = "Frequency";
        break;
    case Pattern::Value:
        pattern = "Value";
        break;
    case Pattern::Blank:
        pattern = "Blank";
        break;
    }
    std::array<char, 32> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), info.param.value).ptr;
    return std::string(pattern) + "_" + testing::readable_name({digits.data(), end});
}

TEST_P(FormatNumberTest, GivesExactText) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(format_number(c.value, c.pattern), c.expected)
        << "value " << c.value << " pattern \"" << pattern_text(c.pattern) << "\"";
}

// The calculator's reference table: every value with every pattern.
INSTANTIATE_TEST_SUITE_P(
    ReferenceTable, FormatNumberTest,
    ::testing::Values(
        FormatCase{0, Pattern::Report, "   0.0"}, FormatCase{0, Pattern::Frequency, ".00"},
        FormatCase{0, Pattern::Value, "0.000"}, FormatCase{0, Pattern::Blank, "     "},
        FormatCase{0.5, Pattern::Report, "   0.5"}, FormatCase{0.5, Pattern::Frequency, ".50"},
        FormatCase{0.5, Pattern::Value, "0.500"}, FormatCase{0.25, Pattern::Report, "   0.3"},
        FormatCase{0.25, Pattern::Frequency, ".25"}, FormatCase{0.25, Pattern::Value, "0.250"},
        FormatCase{0.125, Pattern::Report, "   0.1"}, FormatCase{0.125, Pattern::Frequency, ".13"},
        FormatCase{0.125, Pattern::Value, "0.125"}, FormatCase{1.0625, Pattern::Report, "   1.1"},
        FormatCase{1.0625, Pattern::Frequency, "1.06"}, FormatCase{1.0625, Pattern::Value, "1.063"},
        FormatCase{12.3456, Pattern::Report, "   12.3"},
        FormatCase{12.3456, Pattern::Frequency, "12.35"},
        FormatCase{12.3456, Pattern::Value, "12.346"},
        FormatCase{999.96, Pattern::Report, "   1000.0"},
        FormatCase{999.96, Pattern::Frequency, "999.96"},
        FormatCase{999.96, Pattern::Value, "999.960"},
        FormatCase{12345.678, Pattern::Report, "   12345.7"},
        FormatCase{12345.678, Pattern::Frequency, "12345.68"},
        FormatCase{12345.678, Pattern::Value, "12345.678"},
        FormatCase{-3.5, Pattern::Report, "-   3.5"}, FormatCase{-3.5, Pattern::Frequency, "-3.50"},
        FormatCase{-3.5, Pattern::Value, "-3.500"}, FormatCase{-0.5, Pattern::Report, "-   0.5"},
        FormatCase{-0.5, Pattern::Frequency, "-.50"}, FormatCase{-0.5, Pattern::Value, "-0.500"},
        FormatCase{12.34, Pattern::Blank, "     "}, FormatCase{-5, Pattern::Blank, "     "}),
    format_case_name);

INSTANTIATE_TEST_SUITE_P(
    Rounding, FormatNumberTest,
    ::testing::Values(
        // Halves are judged on the 15-digit decimal form: 2.675 is stored a hair below.
        FormatCase{2.675, Pattern::Frequency, "2.68"},
        FormatCase{1.005, Pattern::Frequency, "1.01"}, FormatCase{0.0005, Pattern::Value, "0.001"},
        FormatCase{0.0004999, Pattern::Value, "0.000"},
        FormatCase{9.9995, Pattern::Value, "10.000"},
        FormatCase{99.95, Pattern::Report, "   100.0"},
        FormatCase{0.995, Pattern::Frequency, "1.00"}, FormatCase{0.005, Pattern::Frequency, ".01"},
        FormatCase{0.004, Pattern::Frequency, ".00"},
        FormatCase{-999.96, Pattern::Report, "-   1000.0"},
        // Just above and below a half at the exact binary level, same 15-digit form.
        FormatCase{0.15000000000000002, Pattern::Report, "   0.2"},
        FormatCase{0.14999999999999999, Pattern::Report, "   0.2"},
        FormatCase{0.1499999999999, Pattern::Report, "   0.1"},
        // A value that rounds to zero carries no sign.
        FormatCase{-0.0004, Pattern::Value, "0.000"}, FormatCase{-0.0, Pattern::Frequency, ".00"},
        FormatCase{-0.04, Pattern::Report, "   0.0"}, FormatCase{-0.05, Pattern::Report, "-   0.1"},
        FormatCase{1e-300, Pattern::Value, "0.000"},
        FormatCase{std::numeric_limits<double>::denorm_min(), Pattern::Report, "   0.0"}),
    format_case_name);

INSTANTIATE_TEST_SUITE_P(
    LargeValues, FormatNumberTest,
    ::testing::Values(
        FormatCase{1234567.891, Pattern::Value, "1234567.891"},
        FormatCase{12345678901234.56, Pattern::Frequency, "12345678901234.60"},
        FormatCase{123456789012345.6, Pattern::Frequency, "123456789012346.00"},
        // Past the fifteenth significant digit the integer digits are zeros.
        FormatCase{12345678901234567890.0, Pattern::Value, "12345678901234600000.000"},
        FormatCase{1.5915494309189535e19, Pattern::Report, "   15915494309189500000.0"},
        FormatCase{-1e20, Pattern::Frequency, "-100000000000000000000.00"}),
    format_case_name);

TEST(FormatNumber, LargestDoubleWritesAllIntegerDigits) {
    const std::string text = format_number(std::numeric_limits<double>::max(), Pattern::Value);
    ASSERT_EQ(text.size(), 309U + 4U);
    EXPECT_EQ(text.substr(0, 15), "179769313486232");
    EXPECT_EQ(text.substr(15, 294), std::string(294, '0'));
    EXPECT_EQ(text.substr(309), ".000");
}

TEST(FormatNumber, PatternTexts) {
    EXPECT_EQ(pattern_text(Pattern::Report), "   ###0.0");
    EXPECT_EQ(pattern_text(Pattern::Frequency), "####.00");
    EXPECT_EQ(pattern_text(Pattern::Value), "##0.000");
    EXPECT_EQ(pattern_text(Pattern::Blank), "     ");
}

} // namespace
} // namespace veltrane
