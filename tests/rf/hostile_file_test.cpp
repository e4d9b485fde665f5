// Measured files made to hurt: past the reader's limits, odd line ends, misplaced option lines,
// numbers at the edges of double precision; and the conversions between S and Z at those edges.

#include "rf/interpolate.h"
#include "rf/model_impedance.h"
#include "rf/touchstone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <string>
#include <variant>

namespace veltrane::rf {
namespace {

// A file and what reading it must give: the message, or the reflection of the last sample at
// port 1 (within 1e-12) and the number of samples.
struct HostileFile {
    const char* name;
    std::string file_name;
    std::function<std::string()> bytes;
    ReadLimits limits;
    std::string message; // empty: the file reads
    std::size_t samples = 0;
    Complex last_s{};
};

void PrintTo(const HostileFile& row, std::ostream* os) {
    *os << row.name;
}

std::string repeated(std::size_t count, std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes += text;
    }
    return bytes;
}

constexpr double huge = 1.7e308;
constexpr std::size_t piece = std::size_t{1} << 16; // the reader's piece of a file
const ReadLimits small{16, 64};

const HostileFile hostile_files[] = {
    {"LineAtTheLimit", "a.s1p", [] { return "1 0.5 0         \n"; }, small, "", 1, {0.5, 0}},
    {"LineOverTheLimit", "a.s1p", [] { return "1 0.5 0\n2 0.5 0          \n"; }, small,
     "a.s1p line 2: longer than 16 bytes"},
    {"LineOverTheLimitWithoutEnd", "a.s1p", [] { return "1 0.5 0\n2 0.5 0          "; }, small,
     "a.s1p line 2: longer than 16 bytes"},
    {"LineEndsDoNotCount", "a.s1p", [] { return "1 0.5 0         \r\n"; }, small, "", 1, {0.5, 0}},
    {"NulBytesWithoutLineEnd", "a.s1p", [] { return std::string(1000, '\0'); }, small,
     "a.s1p line 1: longer than 16 bytes"},
    {"FileAtTheLimit", "a.s1p", [] { return repeated(8, "!234567\n"); }, small,
     "a.s1p line 8: no data"},
    {"FileOverTheLimit", "a.s1p", [] { return "1 0 0\n" + repeated(8, "!234567\n"); }, small,
     "a.s1p line 9: the file is larger than 64 bytes"},
    {"NothingReadAfterEnd",
     "a.ts",
     [] {
         return "[Version] 2.0\n# RI\n[Number of Ports] 1\n[Number of Frequencies] 1\n"
                "[Network Data]\n1 0.5 0\n[End]\n" +
                std::string(5000, 'x');
     },
     {1024, 1 << 20},
     "",
     1,
     {0.5, 0}},
    // A line longer than a piece of the file is put together from the pieces.
    {"LineAcrossPieces",
     "a.s1p",
     [] { return "!" + std::string(piece + 10, 'x') + "\n1 0.25 0\n"; },
     {piece + 11, 1 << 20},
     "",
     1,
     {0.25, 0}},
    {"LineAcrossPiecesOverTheLimit",
     "a.s1p",
     [] { return "!" + std::string(piece + 10, 'x') + "\n1 0.25 0.5\n"; },
     {piece + 10, 1 << 20},
     "a.s1p line 1: longer than 65546 bytes"},
    {"CrOnly",
     "a.s1p",
     [] { return "! VNA\r# GHz S RI R 50\r1 0.2 0.1\r2 0.1 -0.3\r"; },
     {},
     "",
     2,
     {0.1, -0.3}},
    {"CrOnlyLineCount",
     "a.s1p",
     [] { return "! VNA\r\r1 0.2 0.1\r2 0.1\r"; },
     {},
     "a.s1p line 4: expected 3 numbers, found 2"},
    {"MixedLineEnds",
     "a.s1p",
     [] { return "\xEF\xBB\xBF# RI\r1 0.2 0.1\n\r\n2 0.1 x\r\n"; },
     {},
     "a.s1p line 4: expected a number, found \"x\""},
    // A CR at the end of one piece and its LF at the start of the next make one line end.
    {"CrLfAcrossPieces",
     "a.s1p",
     [] { return "!" + std::string(piece - 2, 'x') + "\r\n1 0.2 0.1\n2 0.1\n"; },
     {},
     "a.s1p line 3: expected 3 numbers, found 2"},
    {"OptionLineAfterData",
     "a.s1p",
     [] { return "1 0.5 0\n1.5 0.5 0\n# MHz S RI R 25\n2000 0.2 0.1\n"; },
     {},
     "a.s1p line 3: the option line comes after data; it must come before them"},
    {"OptionLineInsideARecord",
     "a.s2p",
     [] { return "1 0 0 0 0\n# RI\n0 0 0 0\n"; },
     {},
     "a.s2p line 2: the option line comes after data; it must come before them"},
    {"SecondOptionLine",
     "a.s1p",
     [] { return "# GHz S RI\n# MHz\n1 0 0\n"; },
     {},
     "a.s1p line 2: a second option line (the first is line 1)"},
    {"OptionLineAfterDataInVersion2",
     "a.ts",
     [] {
         return "[Version] 2.0\n[Number of Ports] 1\n[Number of Frequencies] 2\n"
                "[Network Data]\n1 0.5 0\n# MHz RI\n2 0.5 0\n";
     },
     {},
     "a.ts line 6: the option line comes after data; it must come before them"},
    {"HashInInformationIsText",
     "a.ts",
     [] {
         return "[Version] 2.0\n# GHz S RI\n[Number of Ports] 1\n[Number of Frequencies] 1\n"
                "[Begin Information]\n# not an option line\n[End Information]\n"
                "[Network Data]\n1 0.5 0.25\n";
     },
     {},
     "",
     1,
     {0.5, 0.25}},
    {"BelowTheSmallestDouble",
     "a.s1p",
     [] { return "# RI\n1 1e-400 -1e-400\n2 0.001e-99999999999999999999999 123456e-330\n"; },
     {},
     "",
     2,
     {0, 0}},
    {"SmallestDoubleKept", "a.s1p", [] { return "# RI\n1 1e-320 0\n"; }, {}, "", 1, {1e-320, 0}},
    {"AboveTheLargestDouble",
     "a.s1p",
     [] { return "# RI\n1 1000e306 0\n"; },
     {},
     "a.s1p line 2: number out of range: \"1000e306\""},
    {"LargeWithSmallMantissa",
     "a.s1p",
     [] { return "# RI\n1 0.001e310 0\n"; },
     {},
     "",
     1,
     {1e307, 0}},
    // Normalised Z beyond double precision once multiplied out by R.
    {"NormalisedZTooLarge",
     "a.s1p",
     [] { return "# GHz Z RI R 50\n1 1 0\n2 1e308 0\n"; },
     {},
     "a.s1p line 3: value out of range"},
    // Z and Y so large that working out the reflection the usual way overflows.
    {"HugeZTwoPort",
     "a.ts",
     [] {
         return "[Version] 2.0\n# Z RI\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
                "[Number of Frequencies] 1\n[Network Data]\n1 1.7e308 0 -1.7e308 0 1.7e308 0 "
                "1.7e308 0\n";
     },
     {},
     "",
     1,
     {1, 0}},
    {"HugeYTwoPort",
     "a.ts",
     [] {
         return "[Version] 2.0\n# Y RI\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
                "[Number of Frequencies] 1\n[Network Data]\n1 1.7e308 0 -1.7e308 0 1.7e308 0 "
                "1.7e308 0\n";
     },
     {},
     "",
     1,
     {-1, 0}},
    {"HugeZOnePort",
     "a.ts",
     [] {
         return "[Version] 2.0\n# Z RI\n[Number of Ports] 1\n[Number of Frequencies] 1\n"
                "[Network Data]\n1 1.7e308 -1.7e308\n";
     },
     {},
     "",
     1,
     {1, 0}},
};

class HostileFiles : public ::testing::TestWithParam<HostileFile> {};

TEST_P(HostileFiles, AreReadOrRefusedWithTheirLine) {
    const HostileFile& row = GetParam();
    const auto read = read_touchstone(row.bytes(), row.file_name, row.limits);
    if (!row.message.empty()) {
        ASSERT_TRUE(std::holds_alternative<std::string>(read));
        EXPECT_EQ(std::get<std::string>(read), row.message);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<Network>(read)) << std::get<std::string>(read);
    const auto data = port_data(std::get<Network>(read), 1);
    ASSERT_TRUE(std::holds_alternative<PortData>(data)) << std::get<std::string>(data);
    const PortData& port = std::get<PortData>(data);
    ASSERT_EQ(port.s.size(), row.samples);
    EXPECT_NEAR(port.s.back().real(), row.last_s.real(), 1e-12 * std::abs(row.last_s) + 1e-300);
    EXPECT_NEAR(port.s.back().imag(), row.last_s.imag(), 1e-12 * std::abs(row.last_s) + 1e-300);
    for (const Complex s : port.s) {
        EXPECT_TRUE(std::isfinite(s.real()) && std::isfinite(s.imag())) << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Touchstone, HostileFiles, ::testing::ValuesIn(hostile_files),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST(HostileFiles, SamplesKnowTheirLines) {
    const auto read = read_touchstone("! a\n# RI\n1 0.5 0\n\n2 0.5\n 0\n", "a.s1p");
    ASSERT_TRUE(std::holds_alternative<Network>(read));
    EXPECT_EQ(std::get<Network>(read).lines, (std::vector<std::size_t>{3, 5}));
}

// ---------------------------------------------------------------------------------------------
// S to Z and Z to S at the edges of double precision: finite wherever the true value is,
// compared with the value worked out by hand.

struct EdgeConversion {
    const char* name;
    Complex s;
    double reference_ohm;
    Complex z; // the impedance; infinite: none
};

void PrintTo(const EdgeConversion& row, std::ostream* os) {
    *os << row.name;
}

constexpr double inf = std::numeric_limits<double>::infinity();

const EdgeConversion edge_conversions[] = {
    // (1 + s) / (1 - s) tends to -1 as |s| grows.
    {"HugeRealReflection", {1e308, 0}, 50, {-50, 0}},
    {"HugeNegativeReflection", {-huge, 0}, 50, {-50, 0}},
    {"HugeComplexReflection", {huge, huge}, 75, {-75, 0}},
    // (1 + s) / (1 - s) with s = j y: (1 - y^2 + 2 j y) / (1 + y^2), about -1 + 2j/y.
    {"HugeImaginaryReflection", {0, 1e300}, 50, {-50, 1e-298}},
    {"NearlyOpen", {1 - 0x1p-52, 0}, 50, {50 * (2 - 0x1p-52) / 0x1p-52, 0}},
    {"LargeReferenceNearlyOpen", {1 - 0x1p-52, 0}, 1e300, {inf, 0}},
    {"Open", {1, 0}, 50, {inf, 0}},
    {"Ordinary", {0.2, 0.1}, 50, {50.0 * Complex(1.2, 0.1) / Complex(0.8, -0.1)}},
};

class EdgeConversions : public ::testing::TestWithParam<EdgeConversion> {};

TEST_P(EdgeConversions, AreFiniteWhereverTheTrueValueIs) {
    const EdgeConversion& row = GetParam();
    const Complex z = impedance_from_reflection(row.s, row.reference_ohm);
    if (std::isinf(row.z.real())) {
        EXPECT_FALSE(std::isfinite(z.real()) && std::isfinite(z.imag())) << z;
        return;
    }
    const double tolerance = 1e-12 * std::abs(row.z);
    EXPECT_NEAR(z.real(), row.z.real(), tolerance) << z;
    EXPECT_NEAR(z.imag(), row.z.imag(), tolerance) << z;
}

INSTANTIATE_TEST_SUITE_P(Rf, EdgeConversions, ::testing::ValuesIn(edge_conversions),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST(EdgeConversions, ReflectionOfHugeImpedances) {
    const struct {
        Complex z;
        Complex s;
    } rows[] = {
        {{huge, huge}, {1, 0}},
        {{-huge, huge}, {1, 0}},
        {{huge, 0}, {1, 0}},
        {{0, -huge}, {1, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.z));
        const Complex s = reflection(row.z, 50);
        EXPECT_NEAR(s.real(), row.s.real(), 1e-12);
        EXPECT_NEAR(s.imag(), row.s.imag(), 1e-12);
    }
}

} // namespace
} // namespace veltrane::rf
