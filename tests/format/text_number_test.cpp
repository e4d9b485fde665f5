#include "format/text_number.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace veltrane {
namespace {

struct TextCase {
    std::string text;
    double expected;
};

class TextToNumberTest : public ::testing::TestWithParam<TextCase> {};

std::string text_case_name(const ::testing::TestParamInfo<TextCase>& info) {
    return testing::readable_name(info.param.text);
}

TEST_P(TextToNumberTest, ReadsLeadingNumber) {
    const TextCase& c = GetParam();
    const auto value = text_to_number(c.text);
    ASSERT_TRUE(value.has_value()) << '"' << c.text << '"';
    EXPECT_EQ(*value, c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, TextToNumberTest,
    ::testing::Values(TextCase{"1.0", 1.0}, TextCase{"2.5GHz", 2.5}, TextCase{"1,5", 1.0},
                      TextCase{"", 0.0}, TextCase{"abc", 0.0}, TextCase{"GHz 2", 0.0},
                      TextCase{"-12.75", -12.75}, TextCase{"+3", 3.0}, TextCase{".5", 0.5},
                      TextCase{"-.25", -0.25}, TextCase{"7.", 7.0}, TextCase{".", 0.0},
                      TextCase{"-", 0.0}, TextCase{"+-1", 0.0}, TextCase{"--1", 0.0},
                      TextCase{"1.2.3", 1.2}, TextCase{"0.1", 0.1}, TextCase{"1e3", 1000.0},
                      TextCase{"1E3", 1000.0}, TextCase{"2.5e-3", 0.0025},
                      TextCase{"2.5E+2x", 250.0}, TextCase{"1e", 1.0}, TextCase{"1e+", 1.0},
                      TextCase{"1ex5", 1.0}, TextCase{"1e5.5", 1e5}, TextCase{"e5", 0.0},
                      TextCase{"1d3", 1.0}, TextCase{"00012", 12.0},
                      TextCase{"123456789012345678901234567890", 1.2345678901234568e29},
                      TextCase{"0.1e-320", 1e-321}),
    text_case_name);

INSTANTIATE_TEST_SUITE_P(IgnoredCharacters, TextToNumberTest,
                         ::testing::Values(TextCase{" 1 0", 10.0}, TextCase{"\t-\t2 . 5\n", -2.5},
                                           TextCase{"1 e 3", 1000.0}, TextCase{"  ", 0.0},
                                           TextCase{"\r1", 0.0}, TextCase{"1\r0", 1.0},
                                           TextCase{"& H 1F", 31.0}),
                         text_case_name);

INSTANTIATE_TEST_SUITE_P(Radix, TextToNumberTest,
                         ::testing::Values(TextCase{"&H1F", 31.0}, TextCase{"&hff", 255.0},
                                           TextCase{"&HfFz9", 255.0}, TextCase{"&O17", 15.0},
                                           TextCase{"&o777", 511.0}, TextCase{"&O78", 7.0},
                                           TextCase{"&H", 0.0}, TextCase{"&O", 0.0},
                                           TextCase{"&X12", 0.0}, TextCase{"&", 0.0},
                                           TextCase{"-&H10", 0.0},
                                           TextCase{"&H1FFFFFFFFFFFFF", 9007199254740991.0},
                                           TextCase{"&O1777777777777777777", 36028797018963968.0}),
                         text_case_name);

// Below the smallest double: zero, with its sign.
INSTANTIATE_TEST_SUITE_P(Underflow, TextToNumberTest,
                         ::testing::Values(TextCase{"1e-400", 0.0}, TextCase{"-1e-400", -0.0},
                                           TextCase{"0." + std::string(400, '0') + "1", 0.0},
                                           TextCase{"0e999999999999", 0.0}),
                         text_case_name);

TEST(TextToNumber, NegativeUnderflowKeepsSign) {
    EXPECT_TRUE(std::signbit(*text_to_number("-1e-400")));
}

TEST(TextToNumber, BeyondDoubleRangeIsRefused) {
    for (const std::string& text : std::vector<std::string>{
             "1e400", "-1e400", "1" + std::string(400, '0'), "1e99999999999999999999", "0.001e312",
             "&H1" + std::string(256, '0'), "&O1" + std::string(342, '0')}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(text_to_number(text).has_value());
    }
}

TEST(TextToNumber, LargestDoublesStillRead) {
    EXPECT_EQ(*text_to_number("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(*text_to_number("&H1" + std::string(255, '0')), std::ldexp(1.0, 1020));
}

} // namespace
} // namespace veltrane
