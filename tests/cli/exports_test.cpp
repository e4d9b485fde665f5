// veltrane-calc's exports: usage errors of the new options, the files and the standard values of
// one run, and a file that cannot be written.
#include "cli/calc_cli.h"
#include "cli_test_support.h"
#include "rf/fit.h"
#include "rf/numbers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <complex>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane::cli {
namespace {

using veltrane::testing::near_relative;
using veltrane::testing::read_bytes;
using veltrane::testing::TempDir;
using Args = std::vector<std::string>;

testing::CalcRun calc(Args args) {
    const Args example = {"--rl",           "2.0",        "--f1-crossover", "inductive",
                          "--f2-crossover", "capacitive", "--topology",     "parallel-series"};
    args.insert(args.begin(), example.begin(), example.end());
    return testing::calc(args);
}

TEST(CalcExports, UsageErrorsNameTheOption) {
    struct Row {
        Args args;
        std::string says;
    };
    const Row rows[] = {
        {{"--no-report", "--sweep", "2:1:5"}, "--sweep: STOP must be above START"},
        {{"--no-report", "--sweep=1:2:3:log:x"}, "--sweep"},
        {{"--no-report", "--sweep", "0:1:5:log"}, "--sweep"},
        {{"--no-report", "--sweep", "1:2:0"}, "--sweep: POINTS"},
        {{"--no-report", "--e-series", "E7"}, "--e-series"},
        {{"--no-report", "--s1p", "a.out", "--spice", "a.out"}, "--spice: a.out"},
        {{"--no-report", "--s1p", "sub/../a.out", "--plot", "./a.out"}, "--plot"},
        {{"--plot", "Model.prt"}, "--plot: Model.prt is also the report's file"},
        {{"--report", "r.prt", "--spice", "r.prt"}, "--spice"},
        {{"--no-report", "--s1p="}, "--s1p: the file name is empty"},
        {{"--no-report", "--sweep", "data"}, "--sweep: data needs --touchstone"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        const testing::CalcRun run = calc(row.args);
        EXPECT_EQ(run.status, exit_usage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    }
}

// All outputs of one run, with standard values: the JSON compares both models, and each file
// describes the standard model with the calculated values beside it.
TEST(CalcExports, StandardValuesInJsonAndFiles) {
    TempDir dir;
    const std::string s1p = (dir / "m.s1p").string();
    const std::string spice = (dir / "m.cir").string();
    const std::string plot = (dir / "m.svg").string();
    const testing::CalcRun run =
        calc({"--report", (dir / "r.prt").string(), "--json", "--s1p", s1p, "--spice", spice,
              "--plot", plot, "--e-series", "E24", "--sweep", "0.5:3:6"});
    ASSERT_EQ(run.status, exit_results) << run.err;
    EXPECT_EQ(run.err, "");
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["exports"]["written"], nlohmann::json::array({s1p, spice, plot}));
    const auto& e = json["e_series"];
    EXPECT_EQ(e["series"], "E24");
    EXPECT_EQ(e["standard"]["Ls_nH"], 0.16);
    EXPECT_EQ(e["standard"]["Cs_pF"], 82.0);
    EXPECT_EQ(e["standard"]["Lp_nH"], 0.16);
    EXPECT_EQ(e["standard"]["Cp_pF"], 75.0);
    EXPECT_LT(e["calculated"]["gamma1"].get<double>(), 1e-12);
    EXPECT_GT(e["standard"]["gamma1"].get<double>(), 1e-3);
    // The band of Lp = 0.16 nH, Cp = 75 pF: resonance 1452.88 MHz above sqrt(F1 F2), so FL
    // stays F1 = 1000 MHz and FH = Fr^2 / F1.
    const double fr = std::sqrt(1e9) / (2 * std::acos(-1.0) * std::sqrt(0.16 * 75)); // MHz
    EXPECT_EQ(e["standard"]["FL_MHz"], 1000.0);
    EXPECT_PRED_FORMAT3(near_relative, e["standard"]["FH_MHz"].get<double>(), fr * fr / 1000,
                        1e-12);
    EXPECT_PRED_FORMAT3(near_relative, e["calculated"]["FH_MHz"].get<double>(), 2067.97, 1e-5);

    const std::string touchstone = read_bytes(s1p);
    EXPECT_NE(touchstone.find("! Ls = 0.16 nH (calculated 0.158623"), std::string::npos);
    EXPECT_NE(touchstone.find("# GHz S RI R 50\n0.5 "), std::string::npos);
    EXPECT_NE(touchstone.find("\n3 "), std::string::npos); // the sweep's last frequency
    EXPECT_NE(read_bytes(spice).find("Cs n1 n2 8.2000000000000001e-11\n"), std::string::npos);
    EXPECT_NE(read_bytes(plot).find("E24 values"), std::string::npos);
}

// The standard model against the points, in JSON and in the text table: |Gamma| is the
// power-wave reflection (Z - Zp) / (Z + conj(Zp)) of the model's Z against the point Zp, which
// only a point with a reactance tells apart from the plain one.
TEST(CalcExports, StandardModelAgainstThePoints) {
    struct Row {
        const char* name;
        Args args;
        rf::Complex p1, p2; // the points
    };
    const Args choice = {"--f1-crossover", "inductive",  "--f2-crossover",
                         "capacitive",     "--topology", "parallel-series",
                         "--no-report",    "--e-series", "E12"};
    const auto with_choice = [&](Args args) {
        args.insert(args.end(), choice.begin(), choice.end());
        return args;
    };
    const Row rows[] = {
        {"Resistive", with_choice({"--rl", "2.0"}), {1.0, 0.0}, {1.1, 0.0}},
        {"Reactive",
         with_choice({"--f1", "1", "--r1", "30", "--x1", "20", "--f2", "2", "--r2", "45", "--x2",
                      "-15", "--rl", "60"}),
         {30.0, 20.0},
         {45.0, -15.0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Args json_args = row.args;
        json_args.push_back("--json");
        const testing::CalcRun json = testing::calc(json_args);
        ASSERT_EQ(json.status, exit_results) << json.err;
        const auto e = nlohmann::json::parse(json.out)["e_series"];
        const testing::CalcRun text = testing::calc(row.args);
        ASSERT_EQ(text.status, exit_results) << text.err;
        for (const auto& [k, point] : {std::pair{1, row.p1}, std::pair{2, row.p2}}) {
            const std::string n = std::to_string(k);
            std::array<std::string, 2> gammas;
            for (std::size_t m = 0; m < 2; ++m) {
                const auto& model = e[m == 0 ? "calculated" : "standard"];
                const rf::Complex z{model["Z" + n + "_ohm"][0].get<double>(),
                                    model["Z" + n + "_ohm"][1].get<double>()};
                const double expected = std::abs((z - point) / (z + std::conj(point)));
                EXPECT_NEAR(model["gamma" + n].get<double>(), expected, 1e-12) << n;
                gammas[m] = rf::readable(expected, 3);
            }
            // "|Gamma| at F1", the calculated model's figure, then the standard one's.
            const std::string label = "\n|Gamma| at F" + n + " ";
            const std::size_t at = text.out.find(label);
            ASSERT_NE(at, std::string::npos) << text.out;
            const std::string line = text.out.substr(at + 1, text.out.find('\n', at + 1) - at - 1);
            const std::size_t first = line.find(" " + gammas[0]);
            ASSERT_NE(first, std::string::npos) << line;
            EXPECT_TRUE(line.ends_with(" " + gammas[1])) << line;
            EXPECT_LT(first + 1 + gammas[0].size(), line.size()) << line;
        }
        EXPECT_NE(text.out.find("\nE12 values "), std::string::npos) << text.out;
    }
}

// A file that cannot be written: its message, exit 1, the other files and the results still
// there; after a calculation message no file at all.
TEST(CalcExports, FailuresAndMessages) {
    TempDir dir;
    const std::string bad = (dir / "missing" / "m.s1p").string();
    const testing::CalcRun run =
        calc({"--no-report", "--s1p", bad, "--spice", (dir / "m.cir").string()});
    EXPECT_EQ(run.status, exit_message);
    EXPECT_NE(run.out.find("F0  1438.04 MHz"), std::string::npos);
    EXPECT_EQ(run.err.rfind("Cannot write " + bad + ": ", 0), 0u) << run.err;
    EXPECT_FALSE(read_bytes(dir / "m.cir").empty());

    const testing::CalcRun message = calc({"--no-report", "--r2", "5", "--json", "--e-series", "E6",
                                           "--spice", (dir / "n.cir").string()});
    EXPECT_EQ(message.status, exit_message);
    const auto json = nlohmann::json::parse(message.out);
    EXPECT_TRUE(json["e_series"].is_null());
    EXPECT_EQ(json["exports"]["written"], nlohmann::json::array());
    EXPECT_FALSE(std::filesystem::exists(dir / "n.cir"));
}

// With measured data: --sweep data writes the file's own frequencies, and the standard values
// are judged against the data over FL..FH and over the range, in text and JSON.
TEST(CalcExports, FollowTheData) {
    const rf::LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::vector<double> f_ghz;
    for (int i = 0; i <= 20; ++i) {
        f_ghz.push_back(1.0 + 0.1 * i);
    }
    const rf::PortData data = rf::sweep(antenna, f_ghz, 50.0);
    TempDir dir;
    const std::string measured = (dir / "measured.s1p").string();
    std::string bytes = "# GHz S RI R 50\n";
    for (std::size_t i = 0; i < f_ghz.size(); ++i) {
        bytes += rf::shortest(f_ghz[i]) + " " + rf::shortest(data.s[i].real()) + " " +
                 rf::shortest(data.s[i].imag()) + "\n";
    }
    veltrane::testing::write_bytes(measured, bytes);
    const std::string s1p = (dir / "m.s1p").string();
    const Args args = {"--touchstone", measured,  "--best-fit", "--rl",  "62", "--fmin",     "1.5",
                       "--no-report",  "--sweep", "data",       "--s1p", s1p,  "--e-series", "E6"};
    const testing::CalcRun json = testing::calc([&] {
        Args a = args;
        a.push_back("--json");
        return a;
    }());
    ASSERT_EQ(json.status, exit_results) << json.err;
    const auto object = nlohmann::ordered_json::parse(json.out);
    struct Row {
        const char* model;
        const char* fit;
        int points;
        bool exact; // the calculated model meets perfect data
    };
    const Row rows[] = {{"calculated", "fit_range", 16, true},
                        {"standard", "fit_range", 16, false},
                        {"standard", "fit_band", 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.fit);
        const auto& fit = object["e_series"][row.model][row.fit];
        if (row.points > 0) {
            EXPECT_EQ(fit["points"], row.points);
        }
        EXPECT_EQ(fit["max"].get<double>() < 1e-9, row.exact) << fit.dump();
    }
    const auto written = [&s1p] {
        std::istringstream lines(read_bytes(s1p));
        std::string line;
        std::vector<double> f;
        while (std::getline(lines, line)) {
            if (!line.empty() && line[0] != '!' && line[0] != '#') {
                f.push_back(std::stod(line.substr(0, line.find(' '))));
            }
        }
        return f;
    };
    EXPECT_EQ(written(), f_ghz);
    const testing::CalcRun text = testing::calc(args);
    EXPECT_NE(text.out.find("\nrange largest "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nFL..FH RMS "), std::string::npos) << text.out;
    // The fewest samples --sweep data takes: a file of two, written at its two frequencies.
    veltrane::testing::write_bytes(
        measured, "# GHz S RI R 50\n1 " + rf::shortest(data.s[0].real()) + " " +
                      rf::shortest(data.s[0].imag()) + "\n3 " + rf::shortest(data.s[20].real()) +
                      " " + rf::shortest(data.s[20].imag()) + "\n");
    ASSERT_EQ(testing::calc({"--touchstone", measured, "--best-fit", "--rl", "62", "--no-report",
                             "--sweep", "data", "--s1p", s1p})
                  .status,
              exit_results);
    EXPECT_EQ(written(), (std::vector<double>{1, 3}));
}

} // namespace
} // namespace veltrane::cli
