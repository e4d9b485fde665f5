#include "rf/interpolate.h"
#include "rf/model_impedance.h"
#include "rf/touchstone.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <complex>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {
namespace {

using testing::near_relative;

// Table rows print as their names.
template <typename Case>
requires requires(const Case& row) {
    row.name;
}
void PrintTo(const Case& row, std::ostream* os) {
    *os << row.name;
}

Network read_ok(const std::string& text, const std::string& name) {
    auto read = read_touchstone(text, name);
    if (const auto* message = std::get_if<std::string>(&read)) {
        ADD_FAILURE() << *message;
        return {};
    }
    return std::get<Network>(std::move(read));
}

void expect_complex(Complex actual, Complex expected) {
    EXPECT_NEAR(actual.real(), expected.real(), 1e-12) << actual << " vs " << expected;
    EXPECT_NEAR(actual.imag(), expected.imag(), 1e-12) << actual << " vs " << expected;
}

// ---------------------------------------------------------------------------------------------
// Files that must read, with the values they must give.

struct Entry {
    std::size_t sample;
    int row;
    int column;
    Complex value;
};

struct GoodFile {
    const char* name;
    std::string file_name;
    std::string text;
    std::vector<double> f_ghz;
    std::vector<double> reference_ohm;
    std::vector<Entry> entries;
    std::vector<std::string> comments;
};

const GoodFile good_files[] = {
    {"Version1RiMhzCrLfBomCommentsBlanks",
     "a.s1p",
     "\xEF\xBB\xBF! measured\r\n# MHz S RI R 50  \r\n\r\n100 0.5 -0.25 ! first\r\n  200\t0.25 "
     "0.5   \r\n",
     {0.1, 0.2},
     {50},
     {{0, 1, 1, {0.5, -0.25}}, {1, 1, 1, {0.25, 0.5}}},
     {"measured", "first"}},
    {"Version1SampleAtZeroHertz",
     "z.s1p",
     "# GHz S RI\n0 1 0\n1 0.5 0\n",
     {0, 1},
     {50},
     {{0, 1, 1, {1, 0}}, {1, 1, 1, {0.5, 0}}},
     {}},
    {"Version1DefaultsGhzMa",
     "b.s1p",
     "1 0.5 90\n2.5 0.25 -180\n",
     {1, 2.5},
     {50},
     {{0, 1, 1, {0, 0.5}}, {1, 1, 1, {-0.25, 0}}},
     {}},
    {"Version1DbHzOptionsAnyOrderAnyCase",
     "c.S1P",
     "# r 75 db hz s\n2450000000 -6.0205999132796 60\n",
     {2.45},
     {75},
     {{0, 1, 1, std::polar(0.5, 3.14159265358979323846 / 3)}},
     {}},
    {"Version1ZNormalised",
     "d.s1p",
     "# GHz Z RI R 50\n1 1 -2\n",
     {1},
     {50},
     {{0, 1, 1, {50, -100}}},
     {}},
    {"Version1YNormalised",
     "e.s1p",
     "# GHz Y RI R 25\n1 2 0.5\n",
     {1},
     {25},
     {{0, 1, 1, {0.08, 0.02}}},
     {}},
    {"Version1TwoPortWrappedWithNoise",
     "f.s2p",
     "# GHz S RI\n1 0.11 0.01 0.21 0.02\n  0.12 0.03 0.22 0.04\n2 0.3 0 0.4 0 0.5 0 0.6 0\n"
     "! noise\n1.5 1.2 0.3 40 0.5\n2.5 1.4 0.2 50 0.4\n",
     {1, 2},
     {50, 50},
     {{0, 1, 1, {0.11, 0.01}},
      {0, 2, 1, {0.21, 0.02}},
      {0, 1, 2, {0.12, 0.03}},
      {0, 2, 2, {0.22, 0.04}},
      {1, 2, 2, {0.6, 0}}},
     {"noise"}},
    {"Version1FourPortRows",
     "g.s4p",
     "# GHz S RI R 50\n1 .11 -.11 .12 -.12 .13 -.13 .14 -.14\n.21 -.21 .22 -.22 .23 -.23 .24 -.24\n"
     ".31 -.31 .32 -.32 .33 -.33 .34 -.34\n.41 -.41 .42 -.42 .43 -.43 .44 -.44\n",
     {1},
     {50, 50, 50, 50},
     {{0, 2, 3, {0.23, -0.23}}, {0, 4, 1, {0.41, -0.41}}, {0, 4, 4, {0.44, -0.44}}},
     {}},
    {"Version2TwoPort12_21ReferenceWrapped",
     "h.ts",
     "[Version] 2.0\n# GHz Z RI R 50\n[Number of Ports] 2\n[two-port data order] 12_21\n"
     "[Number of Frequencies] 1\n[Reference] 50\n 75\n[Network Data]\n1 1 2 3 4 5 6 7 8\n[End]\n",
     {1},
     {50, 75},
     {{0, 1, 2, {3, 4}}, {0, 2, 1, {5, 6}}, {0, 2, 2, {7, 8}}},
     {}},
    {"Version2TwoPort21_12NoiseSkipped",
     "i.s2p",
     "[VERSION] 2.0\n# MHz S MA\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
     "[Number of Frequencies] 2\n[Number of Noise Frequencies] 1\n[Network Data]\n"
     "100 0.5 0 0.1 0 0.2 0 0.6 0\n200 0.5 0 0.3 0 0.4 0 0.7 0\n[Noise Data]\n50 1 0.1 10 0.2\n"
     "[End]\n",
     {0.1, 0.2},
     {50, 50},
     {{0, 2, 1, {0.1, 0}}, {0, 1, 2, {0.2, 0}}, {1, 2, 2, {0.7, 0}}},
     {}},
    {"Version2ThreePortLowerWrapped",
     "j.ts",
     "[Version] 2.0\n# GHz S RI R 40\n[Number of Ports] 3\n[Number of Frequencies] 1\n"
     "[Matrix Format] Lower\n[Begin Information]\nanything [Here]\n[End Information]\n"
     "[Network Data]\n1 .11 0\n.21 0 .22 0\n.31 0\n.32 0 .33 0\n",
     {1},
     {40, 40, 40},
     {{0, 1, 3, {0.31, 0}}, {0, 3, 1, {0.31, 0}}, {0, 2, 3, {0.32, 0}}, {0, 3, 3, {0.33, 0}}},
     {}},
    {"Version1KiloHertz",
     "l.s1p",
     "# kHz S RI\n100 0.5 0\n",
     {1e-4},
     {50},
     {{0, 1, 1, {0.5, 0}}},
     {}},
    {"Version1NoiseFromTheLastFrequency",
     "m.s2p",
     "# GHz S RI\n1 0 0 0 0 0 0 0.5 0\n2 0 0 0 0 0 0 0.25 0\n! noise\n2 1 0 40 0.5\n",
     {1, 2},
     {50, 50},
     {{1, 2, 2, {0.25, 0}}},
     {"noise"}},
    {"Version2ThreePortUpper",
     "k.s3p",
     "[Version] 2.0\n# GHz S RI\n[Number of Ports] 3\n[Number of Frequencies] 1\n"
     "[Matrix Format] upper\n[Network Data]\n1 .11 0 .12 0 .13 0 .22 0 .23 0 .33 0\n[End]\n",
     {1},
     {50, 50, 50},
     {{0, 2, 1, {0.12, 0}}, {0, 3, 2, {0.23, 0}}, {0, 3, 3, {0.33, 0}}},
     {}},
};

class GoodFiles : public ::testing::TestWithParam<GoodFile> {};

TEST_P(GoodFiles, GiveTheirValues) {
    const GoodFile& c = GetParam();
    const Network network = read_ok(c.text, c.file_name);
    EXPECT_EQ(network.source, c.file_name);
    EXPECT_EQ(network.f_ghz, c.f_ghz);
    EXPECT_EQ(network.reference_ohm, c.reference_ohm);
    EXPECT_EQ(network.comments, c.comments);
    for (const Entry& entry : c.entries) {
        if (entry.sample < network.f_ghz.size()) {
            SCOPED_TRACE("N" + std::to_string(entry.row) + std::to_string(entry.column));
            expect_complex(network.at(entry.sample, entry.row, entry.column), entry.value);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Touchstone, GoodFiles, ::testing::ValuesIn(good_files),
                         [](const auto& info) { return std::string{info.param.name}; });

// ---------------------------------------------------------------------------------------------
// Files that are refused, with the line and the fault.

struct BadFileCase {
    const char* name;
    std::string file_name;
    std::string text;
    std::string message;
};

const std::string v2_head = "[Version] 2.0\n[Number of Ports] 1\n[Number of Frequencies] 2\n";

const BadFileCase bad_files[] = {
    {"ShortRecord", "antenna.s1p", "# GHz S RI\n1 0.1 0.2\n2 0.1\n3 0.1 0.2\n",
     "antenna.s1p line 3: expected 3 numbers, found 2"},
    {"ShortLastRecord", "a.s2p", "1 1 0 1 0 1 0 1 0\n2 1 0 1 0\n! end\n",
     "a.s2p line 2: expected 9 numbers, found 5"},
    {"LongLine", "a.s1p", "\n\n1 0.1 0.2 0.3\n", "a.s1p line 3: expected 3 numbers, found 4"},
    {"FallingFrequency", "a.s1p", "1 0 0\n2 0 0\r\n2 0 0\n", "a.s1p line 3: frequencies must rise"},
    {"OnlyComments", "a.s1p", "! nothing\n# GHz S RI\n\n", "a.s1p line 3: no data"},
    {"Empty", "a.s1p", "", "a.s1p line 1: no data"},
    {"NotANumber", "a.s1p", "1 0.5 abc\n", "a.s1p line 1: expected a number, found \"abc\""},
    {"Infinity", "a.s1p", "1 inf 0\n", "a.s1p line 1: expected a number, found \"inf\""},
    {"OutOfRange", "a.s1p", "1 1e400 0\n", "a.s1p line 1: number out of range: \"1e400\""},
    {"DbOutOfRange", "a.s1p", "# DB\n1 7000 0\n", "a.s1p line 2: value out of range"},
    {"GParameters", "a.s2p", "! x\n# GHz G RI\n",
     "a.s2p line 2: \"G\" parameters cannot be read (S, Y or Z)"},
    {"UnknownOption", "a.s1p", "# GHz S XY\n", "a.s1p line 1: unknown option \"XY\""},
    {"ZeroReference", "a.s1p", "# R 0\n",
     "a.s1p line 1: a reference resistance must be positive, not \"0\""},
    {"NoPortCount", "data.txt", "1 0 0\n",
     "data.txt line 1: the number of ports is not known: the name must end in .s1p, .s2p, ... "
     "(or the file start with [Version] 2.0)"},
    {"TsWithoutVersion", "a.ts", "# GHz\n", "a.ts line 1: a .ts file starts with [Version] 2.0"},
    {"KeywordInVersion1", "a.s1p", "# GHz\n[Number of Ports] 1\n",
     "a.s1p line 2: keywords need [Version] 2.0 on the first line"},
    {"UnknownKeyword", "a.ts", "[Version] 2.0\n[Colour] red\n",
     "a.ts line 2: unknown keyword \"[colour]\""},
    {"FrequencyCount", "a.ts", v2_head + "[Network Data]\n1 0 0\n[End]\n",
     "a.ts line 6: expected 2 frequencies ([Number of Frequencies]), found 1"},
    {"TooManyFrequencies", "a.ts", v2_head + "[Network Data]\n1 0 0\n2 0 0\n3 0 0\n",
     "a.ts line 7: more frequencies than [Number of Frequencies] (2)"},
    {"NoTwoPortOrder", "a.ts",
     "[Version] 2.0\n[Number of Ports] 2\n[Number of Frequencies] 1\n[Network Data]\n",
     "a.ts line 4: a two-port file needs [Two-Port Data Order]"},
    {"ShortReference", "a.ts",
     "[Version] 2.0\n[Number of Ports] 3\n[Reference] 50\n50\n[Network Data]\n",
     "a.ts line 3: expected 3 references, found 2"},
    {"DataBeforeNetworkData", "a.ts", v2_head + "1 0 0\n",
     "a.ts line 4: data before [Network Data]"},
    {"KeywordTwice", "a.ts",
     "[Version] 2.0\n[Number of Ports] 2\n[Reference] 50 75\n[Number of Ports] 3\n",
     "a.ts line 4: a second \"[number of ports]\""},
    {"PortsDisagreeWithName", "a.s2p", "[Version] 2.0\n[Number of Ports] 3\n",
     "a.s2p line 2: [Number of Ports] 3 does not match the file name"},
    {"MixedMode", "a.ts", "[Version] 2.0\n[Number of Ports] 4\n[Mixed-Mode Order] D2,3 D1,4\n",
     "a.ts line 3: mixed-mode data cannot be read"},
    {"NegativeFrequency", "b.s1p", "# GHz S RI\n-1 0 0\n1 0 0\n",
     "b.s1p line 2: a frequency must not be negative"},
    {"NoPortsInTheName", "c.s0p", "1 0 0\n",
     "c.s0p line 1: the number of ports is not known: the name must end in .s1p, .s2p, ... "
     "(or the file start with [Version] 2.0)"},
    {"NinetyNinePortsRead", "d.s99p", "# GHz\n", "d.s99p line 1: no data"},
    {"NinetyNinePortsByKeyword", "g.ts", "[Version] 2.0\n[Number of Ports] 99\n",
     "g.ts line 2: no [Network Data]"},
    {"HundredPortsByKeyword", "g.ts", "[Version] 2.0\n[Number of Ports] 100\n",
     "g.ts line 2: [Number of Ports] must be 1 to 99"},
    {"NoFrequencies", "e.ts",
     "[Version] 2.0\n[Number of Ports] 1\n[Number of Frequencies] 0\n[Network Data]\n[End]\n",
     "e.ts line 3: [Number of Frequencies] must be at least 1"},
    {"FileEndsInTheReferences", "f.ts", "[Version] 2.0\n[Number of Ports] 3\n[Reference] 50\n75\n",
     "f.ts line 3: expected 3 references, found 2"},
    {"UnknownVersion", "a.ts", "[Version] 3.0\n",
     "a.ts line 1: cannot read version \"3.0\" (1.x or 2.0)"},
};

class BadFiles : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadFiles, AreRefusedWithLineAndFault) {
    const BadFileCase& c = GetParam();
    const auto read = read_touchstone(c.text, c.file_name);
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read), c.message);
}

INSTANTIATE_TEST_SUITE_P(Touchstone, BadFiles, ::testing::ValuesIn(bad_files),
                         [](const auto& info) { return std::string{info.param.name}; });

// ---------------------------------------------------------------------------------------------
// The reflection at one port, with Y and Z converted through the per-port references.

struct PortCase {
    const char* name;
    std::string file_name;
    std::string text;
    int port;
    double reference_ohm;
    Complex s;
};

const PortCase port_cases[] = {
    // 50 - j100 ohm into 50 ohm: (-j100) / (100 - j100) = (1 - j) / 2.
    {"OnePortZ", "a.s1p", "# Z RI\n1 1 -2\n", 1, 50, {0.5, -0.5}},
    // Y = (0.08 + j0.02) S, R = 25: (1 - 2 - j0.5) / (1 + 2 + j0.5) = (-1 - j0.5) / (3 + j0.5).
    {"OnePortY", "a.s1p", "# Y RI R 25\n1 2 0.5\n", 1, 25, Complex(-1, -0.5) / Complex(3, 0.5)},
    {"TwoPortSPort2", "a.s2p", "# RI\n1 0.1 0 0.2 0 0.3 0 0.4 -0.1\n", 2, 50, {0.4, -0.1}},
    // Z = [[100, 20], [30, 60]], port 2 at 75 ohm, port 1 terminated in 50 ohm:
    // Zin = 60 - 20 * 30 / 150 = 56; S22 = (56 - 75) / (56 + 75) = -19 / 131.
    {"TwoPortZPort2",
     "a.ts",
     "[Version] 2.0\n# Z RI\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
     "[Number of Frequencies] 1\n[Reference] 50 75\n[Network Data]\n1 100 0 20 0 30 0 60 0\n",
     2,
     75,
     {-19.0 / 131.0, 0}},
    // Y = [[0.02, -0.01], [-0.01, 0.03]] S into 50 ohm: Yin = 0.02 - 0.0001 / 0.05 = 0.018;
    // S11 = (1 - 0.9) / (1 + 0.9).
    {"TwoPortYPort1", "a.s2p", "# Y RI\n1 1 0 -0.5 0 -0.5 0 1.5 0\n", 1, 50, {0.1 / 1.9, 0}},
    // Normalised y = [[-1, 1], [1, 0]]: 1 + y11 = 0, so the elimination must swap rows; port 1
    // terminated in 1 shorts port 2 through the infinite admittance seen there: S22 = -1.
    {"TwoPortYPort2NeedsARowSwap", "a.s2p", "# Y RI\n1 -1 0 1 0 1 0 0 0\n", 2, 50, {-1, 0}},
};

class PortReflection : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortReflection, MatchesHandValue) {
    const PortCase& c = GetParam();
    const auto data = port_data(read_ok(c.text, c.file_name), c.port);
    ASSERT_TRUE(std::holds_alternative<PortData>(data)) << std::get<std::string>(data);
    const PortData& port = std::get<PortData>(data);
    EXPECT_EQ(port.source, c.file_name);
    EXPECT_EQ(port.port, c.port);
    EXPECT_EQ(port.reference_ohm, c.reference_ohm);
    ASSERT_EQ(port.s.size(), 1U);
    expect_complex(port.s[0], c.s);
}

INSTANTIATE_TEST_SUITE_P(Touchstone, PortReflection, ::testing::ValuesIn(port_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST(PortReflection, RefusesMissingPortAndSingularData) {
    const Network two_port = read_ok("# RI\n1 0 0 0 0 0 0 0 0\n", "a.s2p");
    for (const int port : {0, 3}) {
        const auto data = port_data(two_port, port);
        ASSERT_TRUE(std::holds_alternative<std::string>(data));
        EXPECT_EQ(std::get<std::string>(data),
                  "a.s2p has no port " + std::to_string(port) + ": it has 2 ports");
    }
    // Z = -50 ohm on a 50 ohm reference: Z + R is singular.
    const auto open = port_data(read_ok("# Z RI\n0.5 0 0\n2.5 -1 0\n", "b.s1p"), 1);
    ASSERT_TRUE(std::holds_alternative<std::string>(open));
    EXPECT_EQ(std::get<std::string>(open), "b.s1p: port 1 has no reflection at 2.5 GHz");
}

// ---------------------------------------------------------------------------------------------
// A known model swept into a file, read back and looked up at and between its samples.

std::string shortest(double value) {
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

TEST(TouchstoneRoundTrip, SweptModelReadsBackAndInterpolates) {
    const LumpedModel model{Topology::SeriesParallel, 3.1, 1.7, 2.2, 0.9, 42.0};
    std::string file = "! swept model\n# MHz S RI R 50\n";
    std::vector<double> f_ghz;
    for (int k = 0; k <= 200; ++k) {
        const double f_mhz = 1500 + 10 * k;
        f_ghz.push_back(f_mhz / 1000);
        const Complex s = reflection(impedance(model, f_ghz.back()), 50.0);
        file += shortest(f_mhz) + " " + shortest(s.real()) + " " + shortest(s.imag()) + "\n";
    }
    const auto data = port_data(read_ok(file, "model.s1p"), 1);
    ASSERT_TRUE(std::holds_alternative<PortData>(data));
    const PortData& port = std::get<PortData>(data);
    ASSERT_EQ(port.f_ghz.size(), f_ghz.size());

    struct Lookup {
        double f_ghz;
        bool interpolated;
        double relative; // how close to the model's impedance
    };
    const Lookup lookups[] = {
        {1.5, false, 1e-12}, {2.45, false, 1e-12}, {2.45 * (1 + 5e-10), false, 1e-6},
        {3.5, false, 1e-12}, {2.455, true, 1e-3},  {1.5001, true, 1e-3},
    };
    for (const Lookup& lookup : lookups) {
        SCOPED_TRACE(shortest(lookup.f_ghz));
        const auto found = impedance_at(port, lookup.f_ghz, "F1");
        ASSERT_TRUE(std::holds_alternative<ImpedancePoint>(found));
        const ImpedancePoint& at = std::get<ImpedancePoint>(found);
        EXPECT_EQ(at.interpolated, lookup.interpolated);
        const Complex z = at.z_ohm;
        const Complex expected = impedance(model, lookup.f_ghz);
        EXPECT_PRED_FORMAT3(near_relative, z.real(), expected.real(), lookup.relative);
        EXPECT_PRED_FORMAT3(near_relative, z.imag(), expected.imag(), lookup.relative);
    }
    // Halfway between two samples is the mean of their reflections, part by part.
    const auto half = std::get<Reflection>(reflection_at(port, 2.005, "F1"));
    expect_complex(half.s, (port.s[50] + port.s[51]) / 2.0);

    for (const double outside : {1.4999, 3.6, 0.0}) {
        const auto found = impedance_at(port, outside, "F2");
        ASSERT_TRUE(std::holds_alternative<std::string>(found));
        EXPECT_EQ(std::get<std::string>(found),
                  "F2 = " + shortest(outside) + " GHz lies outside the data (1.5 to 3.5 GHz)");
    }
}

// A frequency that is a sample is taken as it is, 0 GHz too; between samples it is
// interpolated.
TEST(ImpedanceAt, SampleTakenExactly) {
    const PortData data{"dc.s1p", 1, 50.0, {0.0, 1.0, 2.0}, {{0.2, 0.0}, {0.0, 0.5}, {-0.2, 0.1}}};
    struct Row {
        double f_ghz;
        bool interpolated;
        Complex s;
    };
    const Row rows[] = {
        {0.0, false, {0.2, 0.0}},
        {1.0, false, {0.0, 0.5}},
        {2.0, false, {-0.2, 0.1}},
        {0.5, true, {0.1, 0.25}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(shortest(row.f_ghz));
        const auto found = impedance_at(data, row.f_ghz, "F1");
        ASSERT_TRUE(std::holds_alternative<ImpedancePoint>(found));
        EXPECT_EQ(std::get<ImpedancePoint>(found).interpolated, row.interpolated);
        expect_complex(std::get<Reflection>(reflection_at(data, row.f_ghz, "F1")).s, row.s);
    }
}

TEST(ImpedanceAt, RefusesAnOpenCircuit) {
    // S = 1 at 2 GHz; halfway to 3 GHz the reflection is 0.5 + 0.5j, a finite impedance.
    const PortData data{"open.s1p", 1, 50.0, {2.0, 3.0}, {{1.0, 0.0}, {0.0, 1.0}}};
    const auto open = impedance_at(data, 2.0, "F1");
    ASSERT_TRUE(std::holds_alternative<std::string>(open));
    EXPECT_EQ(std::get<std::string>(open), "F1 = 2 GHz: the data show an open circuit there");
    const auto near = impedance_at(data, 2.5, "F1");
    ASSERT_TRUE(std::holds_alternative<ImpedancePoint>(near));
    expect_complex(std::get<ImpedancePoint>(near).z_ohm, {50.0, 100.0});
}

} // namespace
} // namespace veltrane::rf
