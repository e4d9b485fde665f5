// The model's exports: sweep, standard values, Touchstone text, SPICE in ngspice, the picture in
// xmllint and rsvg-convert.
#include "model/solve.h"
#include "rf/e_series.h"
#include "rf/model_files.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/picture.h"
#include "rf/response.h"
#include "rf/svg.h"
#include "rf/sweep.h"
#include "rf/touchstone.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane::rf {
namespace {

using veltrane::testing::near_relative;
using veltrane::testing::read_bytes;
using veltrane::testing::TempDir;
using veltrane::testing::write_bytes;

// Inputs of a calculation: F in MHz as the calculation holds them.
constexpr Inputs inputs(double f1, double r1, double x1, double f2, double r2, double x2,
                        double rl) {
    return {f1, f2, r1, x1, r2, x2, rl};
}

struct ModelCase {
    const char* name;
    Inputs in;
    Choice choice;
};

constexpr Crossover ind = Crossover::Inductive;
constexpr Crossover cap = Crossover::Capacitive;
constexpr Topology ps = Topology::ParallelSeries;
constexpr Topology sp = Topology::SeriesParallel;

// Both topologies, several crossover choices, positive and negative elements.
const ModelCase models[] = {
    {"worked example", inputs(1000, 1.0, 0.0, 2000, 1.1, 0.0, 2.0), {ind, cap, ps}},
    {"50 ohm parallel/series", inputs(1000, 30, 20, 2000, 45, -15, 60), {ind, cap, ps}},
    {"negative parallel/series", inputs(1000, 30, 20, 2000, 45, -15, 60), {cap, ind, ps}},
    {"series/parallel", inputs(1000, 30, 20, 2000, 45, -15, 20), {cap, ind, sp}},
    {"negative series/parallel", inputs(1000, 30, 20, 2000, 45, -15, 20), {ind, cap, sp}},
    {"series/parallel F2 below F1", inputs(2400, 12, -7, 900, 8, 5, 5), {ind, cap, sp}},
};

Result solved(const ModelCase& c) {
    auto result = solve(c.in, c.choice);
    if (const auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << c.name << ": " << *message;
        return {};
    }
    return std::get<Result>(result);
}

TEST(Sweep, ReadsGoodTextsAndRefusesBadOnes) {
    struct Row {
        const char* text;
        bool ok;
        std::vector<double> f; // the frequencies of a good sweep
        const char* reason;    // a refusal's message starts so
    };
    const Row rows[] = {
        {"0.5:2:4", true, {0.5, 1.0, 1.5, 2.0}, ""},
        {"0:1:3", true, {0, 0.5, 1}, ""},
        {"1:100:3:log", true, {1, 10, 100}, ""},
        {"2:1:10", false, {}, "STOP must be above START"},
        {"1:1:10", false, {}, "STOP must be above START"},
        {"1:2:1", false, {}, "POINTS must be from 2 to "},
        {"1:2:10000000", true, {}, ""}, // the most points: read only
        {"1:2:10000001", false, {}, "POINTS must be from 2 to "},
        {"0:2:10:log", false, {}, "a log sweep needs frequencies above 0"},
        {"-1:2:10", false, {}, "frequencies must not be negative"},
        {"1:2:10:lin", false, {}, "\"lin\" is not \"log\""},
        {"1:2", false, {}, "\"1:2\": expected START"},
        {"1:2:3:log:x", false, {}, "\"1:2:3:log:x\": expected START"},
        {"one:2:3", false, {}, "START \"one\" is not a number"},
        {"1:2:3.5", false, {}, "POINTS \"3.5\" is not a whole number"},
        {"1:inf:3", false, {}, "STOP \"inf\" is not a number"},
        {"nan:2:3", false, {}, "START \"nan\" is not a number"},
        {" 1:2:3", false, {}, "START \" 1\" is not a number"},
        // Points that would repeat a frequency.
        {"1:1.0000000000000002:100", false, {}, "the points lie too close together"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto sweep = parse_sweep(row.text);
        ASSERT_EQ(std::holds_alternative<Sweep>(sweep), row.ok);
        if (!row.ok) {
            const std::string& message = std::get<std::string>(sweep);
            EXPECT_EQ(message.rfind(row.reason, 0), 0U) << message;
            continue;
        }
        if (row.f.empty()) {
            EXPECT_EQ(std::get<Sweep>(sweep).points, max_sweep_points);
            continue;
        }
        const std::vector<double> f = sweep_frequencies(std::get<Sweep>(sweep));
        ASSERT_EQ(f.size(), row.f.size());
        for (std::size_t i = 0; i < f.size(); ++i) {
            EXPECT_PRED_FORMAT3(near_relative, f[i], row.f[i], 1e-15);
            if (i > 0) {
                EXPECT_LT(f[i - 1], f[i]);
            }
        }
    }
}

TEST(Sweep, DefaultSpansHalfTheLowestToTwiceTheHighest) {
    const Result s = solved(models[0]); // FL = F1 = 1000 MHz, FH = 2067.97 MHz above F2
    const Sweep sweep = default_sweep(s);
    EXPECT_EQ(sweep.start_ghz, 0.5);
    EXPECT_EQ(sweep.stop_ghz, s.FH / 1000 * 2);
    EXPECT_EQ(sweep.points, 401);
    EXPECT_FALSE(sweep.log);
}

// The published decades: the rounding rule of 10^(i/n) except the values the standard fixed
// otherwise, and the nesting of the series.
TEST(ESeries, DecadesAreThePublishedValues) {
    struct Row {
        ESeries series;
        int n;
        int digits;
        std::vector<std::pair<int, int>> exceptions; // index, published value
    };
    const Row rows[] = {
        {ESeries::E6, 6, 2, {{3, 330}, {4, 470}}},
        {ESeries::E12, 12, 2, {{5, 270}, {6, 330}, {7, 390}, {8, 470}, {11, 820}}},
        {ESeries::E24,
         24,
         2,
         {{10, 270}, {11, 300}, {12, 330}, {13, 360}, {14, 390}, {15, 430}, {16, 470}, {22, 820}}},
        {ESeries::E48, 48, 3, {}},
        {ESeries::E96, 96, 3, {}},
        {ESeries::E192, 192, 3, {{185, 920}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(e_series_name(row.series)));
        const auto decade = e_series_decade(row.series);
        ASSERT_EQ(decade.size(), static_cast<std::size_t>(row.n));
        for (int i = 0; i < row.n; ++i) {
            const double scale = row.digits == 2 ? 10 : 100;
            int expected = static_cast<int>(std::lround(std::pow(10.0, double(i) / row.n) * scale));
            expected *= row.digits == 2 ? 10 : 1;
            for (const auto& [index, value] : row.exceptions) {
                if (index == i) {
                    expected = value;
                }
            }
            EXPECT_EQ(decade[static_cast<std::size_t>(i)], expected) << "index " << i;
        }
        EXPECT_EQ(e_series_from_name(e_series_name(row.series)), row.series);
    }
}

TEST(ESeries, NearestByRatioAcrossDecadeEdges) {
    struct Row {
        double value;
        ESeries series;
        double expected;
    };
    const Row rows[] = {
        {9.1, ESeries::E12, 10},          // 10 / 9.1 < 9.1 / 8.2
        {9.1, ESeries::E24, 9.1},         // a value of the series stays
        {9.6, ESeries::E24, 10},          //
        {0.95, ESeries::E24, 0.91},       // below the decade edge
        {0.95, ESeries::E12, 1.0},        //
        {0.15862309, ESeries::E24, 0.16}, //
        {79.710656, ESeries::E12, 82},    //
        {-79.710656, ESeries::E24, -82},  // sign kept
        {4.5e-12, ESeries::E24, 4.7e-12}, // 4.7 / 4.5 < 4.5 / 4.3
        {2.85, ESeries::E24, 3.0},        // an irregular E24 value
        {9.195, ESeries::E192, 9.2},      // the irregular E192 value
        {1.05, ESeries::E6, 1.0},         //
        {1234, ESeries::E96, 1240},       //
        {0.0, ESeries::E24, 0.0},         //
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(nearest_standard_value(row.value, row.series), row.expected);
    }
}

// Where a branch's reactance or susceptance is infinite (0 Hz, frequencies where it overflows,
// an element of 0) the reflection is the limit, never NaN.
TEST(Response, PolesGiveTheLimit) {
    const Result s = solved(models[0]);
    LumpedModel ps_model = LumpedModel::from(s, ps);
    LumpedModel sp_model = ps_model;
    sp_model.topology = sp;
    LumpedModel no_lp = ps_model;
    no_lp.lp_nh = 0;
    struct Row {
        const char* name;
        const LumpedModel& model;
        double f_ghz;
        Complex expected;
        double tolerance;
    };
    const Row rows[] = {
        {"parallel/series at 0", ps_model, 0, {1, 0}, 0},
        {"parallel/series near 0", ps_model, 1e-300, {1, 0}, 1e-9},
        {"parallel/series reactance overflows", ps_model, 1e-310, {1, 0}, 0},
        {"parallel/series far above", ps_model, 1e300, {1, 0}, 1e-9},
        {"series/parallel at 0", sp_model, 0, {-1, 0}, 0},
        {"series/parallel near 0", sp_model, 1e-300, {-1, 0}, 1e-9},
        {"series/parallel susceptance overflows", sp_model, 1e-310, {-1, 0}, 0},
        {"series/parallel far above", sp_model, 1e300, {-1, 0}, 1e-9},
        {"Lp of 0 shorts RL: a pure reactance", no_lp, 1,
         reflection({0, series_reactance(no_lp, 1)}, 50), 1e-15},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Complex g = model_reflection(row.model, row.f_ghz, 50);
        EXPECT_LE(std::abs(g - row.expected), row.tolerance) << g;
    }
    EXPECT_EQ(rereferred({1, 0}, 75, 50), Complex(1, 0));
    EXPECT_PRED_FORMAT3(near_relative, rereferred({0, 0}, 75, 50).real(), 0.2, 1e-15);
}

// The file read back: "# GHz S RI R 50", then every sweep frequency with the reflection whose
// impedance is the model's within 1e-12.
TEST(Touchstone, ReadsBackAsTheModel) {
    for (const ModelCase& c : models) {
        SCOPED_TRACE(c.name);
        const Result s = solved(c);
        const LumpedModel model = LumpedModel::from(s, c.choice.topology);
        const std::vector<double> f = sweep_frequencies({0, 5, 51, false});
        const std::string text = touchstone_text({model, std::nullopt, std::nullopt}, f, 50);
        ASSERT_EQ(text.find("nan"), std::string::npos);
        ASSERT_EQ(text.find("inf"), std::string::npos);

        EXPECT_NE(text.find("\n# GHz S RI R 50\n"), std::string::npos);
        const auto network = read_touchstone(text, "model.s1p");
        ASSERT_TRUE(std::holds_alternative<Network>(network)) << std::get<std::string>(network);
        const auto data = port_data(std::get<Network>(network), 1);
        ASSERT_TRUE(std::holds_alternative<PortData>(data)) << std::get<std::string>(data);
        const PortData& read = std::get<PortData>(data);
        ASSERT_EQ(read.f_ghz, f);
        EXPECT_EQ(read.reference_ohm, 50);
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (f[i] == 0) {
                // The pole at 0 Hz: open series pair or shorted shunt pair.
                EXPECT_EQ(read.s[i], Complex(c.choice.topology == ps ? 1.0 : -1.0, 0.0));
                continue;
            }
            const Complex z = impedance_from_reflection(read.s[i], 50);
            const Complex expected = impedance(model, f[i]);
            EXPECT_PRED_FORMAT3(near_relative, std::abs(z - expected), 0.0,
                                1e-12 * std::abs(expected))
                << "at " << f[i] << " GHz";
        }
    }
}

// The header names the topology and every element, with the calculated values beside standard
// ones.
TEST(Touchstone, HeaderNamesTopologyAndElements) {
    const Result s = solved(models[0]);
    const LumpedModel exact = LumpedModel::from(s, ps);
    LumpedModel standard = exact;
    standard.ls_nh = 0.16;
    const std::string text = touchstone_text({standard, ESeries::E24, exact}, {1.0}, 50);
    for (const std::string_view expected :
         {"! Topology: Parallel/Series", "! Ls = 0.16 nH (calculated 0.15862309", "! Cs = 79.71",
          "! Lp = 0.1643", "! Cp = 74.51", "! RL = 2 ohm", "E24"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

// The SPICE text: values in henry and farad as the decimal the other files show (0.16 nH is the
// double nearest 1.6e-10, not 0.16 times 1e-9), and an example sweep that never starts at 0 Hz.
TEST(Spice, SiValuesAndExampleSweep) {
    const Result s = solved(models[0]);
    LumpedModel standard = LumpedModel::from(s, ps);
    standard.ls_nh = 0.16;
    standard.cp_pf = 1.1;
    struct Row {
        const char* name;
        Sweep sweep;
        std::vector<std::string> expected;
        std::vector<std::string> absent;
    };
    const Row rows[] = {
        {"Elements",
         {0.5, 3.0, 6, false},
         {"Ls port n1 1.5999999999999999e-10\n", "Cp n2 ground 1.1000000000000000e-12\n"},
         {}},
        {"FromZero",
         {0.0, 3.0, 4, false},
         {"*   .ac lin 4 7.5000000000000000e+08 3.0000000000000000e+09\n"},
         {".ac lin 4 0 "}},
        {"Log",
         {0.5, 3.0, 6, true},
         {"*   .ac dec 100 5.0000000000000000e+08 3.0000000000000000e+09\n"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text =
            spice_text({standard, std::nullopt, std::nullopt}, s, models[0].choice, row.sweep);
        for (const std::string& expected : row.expected) {
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        }
        for (const std::string& absent : row.absent) {
            EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\n" << text;
        }
    }
}

// The tools that prove the files (ngspice, xmllint, rsvg-convert) run on the build machine; a
// Windows build run under an emulator cannot start them.
#ifndef _WIN32
// Runs a shell command; a missing tool fails the test rather than skipping it.
int run(const std::string& command) {
    return std::system(command.c_str());
}

// The subcircuit in ngspice: a 1 A AC source into the port gives the impedance as the port
// voltage, which must be the measured point at F1 and at F2.
TEST(Spice, NgspiceSeesBothPoints) {
    for (const ModelCase& c : models) {
        SCOPED_TRACE(c.name);
        const Result s = solved(c);
        TempDir dir;
        const LumpedModel model = LumpedModel::from(s, c.choice.topology);
        write_bytes(dir / "model.cir",
                    spice_text({model, std::nullopt, std::nullopt}, s, c.choice, default_sweep(s)));
        std::string bench = "* bench\n.include model.cir\nX1 in 0 veltrane_model\nI1 0 in AC 1\n"
                            ".control\nset numdgt=16\n";
        for (int k : {1, 2}) {
            const std::string hz = full_precision((k == 1 ? s.F1 : s.F2) * 1e6);
            bench += "ac lin 1 " + hz + " " + hz + "\nwrdata f" + std::to_string(k) +
                     ".txt vr(in) vi(in)\n";
        }
        bench += "quit\n.endc\n.end\n";
        write_bytes(dir / "bench.cir", bench);
        const int status =
            run("cd '" + dir.path().string() + "' && ngspice -b bench.cir > log.txt 2>&1");
        ASSERT_EQ(status, 0) << "ngspice failed or is missing (scripts/deps.sh installs it):\n"
                             << read_bytes(dir / "log.txt");
        for (int k : {1, 2}) {
            std::istringstream out(read_bytes(dir / ("f" + std::to_string(k) + ".txt")));
            double f1 = 0, vr = 0, f2 = 0, vi = 0;
            ASSERT_TRUE(out >> f1 >> vr >> f2 >> vi) << read_bytes(dir / "log.txt");
            const Complex point = k == 1 ? Complex(s.R1, s.X1) : Complex(s.R2, s.X2);
            EXPECT_PRED_FORMAT3(near_relative, std::abs(Complex(vr, vi) - point), 0.0,
                                1e-6 * std::abs(point))
                << "F" << k << ": " << vr << " + j" << vi;
        }
    }
}

// The example of use in the file's comment, run as it stands in ngspice's batch mode: no
// warning (every node has a DC path), exit status 0, the whole sweep printed.
TEST(Spice, ExampleOfUseRunsCleanly) {
    for (const ModelCase& c : models) {
        SCOPED_TRACE(c.name);
        const Result s = solved(c);
        TempDir dir;
        const LumpedModel model = LumpedModel::from(s, c.choice.topology);
        const std::string text =
            spice_text({model, std::nullopt, std::nullopt}, s, c.choice, default_sweep(s));
        write_bytes(dir / "model.cir", text);
        std::string deck = "* example\n.include model.cir\n";
        std::istringstream lines(text.substr(text.find("* Example of use")));
        std::string line;
        while (std::getline(lines, line) && line.rfind("*   ", 0) != 0) {
        }
        do {
            deck += line.substr(4) + "\n";
        } while (std::getline(lines, line) && line.rfind("*   ", 0) == 0);
        ASSERT_NE(deck.find(".options rshunt="), std::string::npos) << deck;
        write_bytes(dir / "deck.cir", deck + ".end\n");
        const int status =
            run("cd '" + dir.path().string() + "' && ngspice -b deck.cir > log.txt 2>&1");
        const std::string log = read_bytes(dir / "log.txt");
        EXPECT_EQ(status, 0) << log;
        EXPECT_EQ(log.find("arning"), std::string::npos) << log;
        EXPECT_EQ(log.find("singular"), std::string::npos) << log;
        EXPECT_NE(log.find("\n400\t"), std::string::npos) << log; // 401 rows from 0
    }
}

// The picture of a model with data, standard values and a sweep from 0 Hz (and, zoomed, with a
// pinned curve and a searched range): valid SVG that rsvg-convert renders, no number that is
// not finite.
TEST(Picture, ValidSvgThatRenders) {
    for (const bool log : {false, true}) {
        SCOPED_TRACE(log ? "log sweep" : "linear sweep from 0");
        const Result s = solved(models[1]);
        PlotInput input;
        input.model = LumpedModel::from(s, ps);
        LumpedModel standard = input.model;
        standard.cs_pf = 8.2;
        input.standard = standard;
        input.standard_name = "E12";
        input.calculation = &s;
        input.f_ghz = sweep_frequencies(log ? Sweep{0.1, 10, 301, true} : Sweep{0, 5, 301, false});
        input.log_frequency = log;
        PortData data;
        data.source = "bad\xff\xed\xa0\x80\xe0\x80\x80<&>.s2p"; // broken and surrogate UTF-8
        data.reference_ohm = 75;
        data.f_ghz = {0.8, 1.0, 1.2};
        data.s = {{0.1, 0.2}, {1.0, 0.0}, {-0.3, 0.4}};
        input.data = &data;
        if (log) {
            // A pinned curve, the searched range and both charts zoomed: clips within clips.
            input.extra.push_back({"pinned <model>",
                                   "Pinned: & more",
                                   {1.0, 2.0},
                                   {{0.1, 0.1}, {0.2, -0.1}},
                                   CurveRole::Pinned,
                                   Dash::Dashed});
            input.search_range = {0.5, 3.0};
            input.zoom = {
                {0.2, -0.1}, 6, std::array<double, 2>{0.8, 2.0}, std::array<double, 2>{1.0, 9.0}};
        }
        const Picture picture = model_picture(input);
        const std::string svg = svg_text(picture);
        EXPECT_EQ(svg.find("nan"), std::string::npos);
        EXPECT_EQ(svg.find("inf"), std::string::npos);

        TempDir dir;
        write_bytes(dir / "model.svg", svg);
        const std::string in = "'" + (dir / "model.svg").string() + "'";
        EXPECT_EQ(run("xmllint --noout " + in), 0) << "xmllint refused it or is missing";
        EXPECT_EQ(run("rsvg-convert " + in + " -o '" + (dir / "model.png").string() + "'"), 0)
            << "rsvg-convert refused it or is missing";
        EXPECT_TRUE(read_bytes(dir / "model.png").starts_with("\x89PNG"));
    }
}
#endif

} // namespace
} // namespace veltrane::rf
