#include "cli/calc_cli.h"
#include "cli_test_support.h"

#include "format/text_number.h"
#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::cli {
namespace {

using Args = std::vector<std::string>;
using veltrane::testing::near_relative;
using veltrane::testing::TempDir;

using veltrane::testing::calc;
using veltrane::testing::CalcRun;

std::vector<std::string> keys(const nlohmann::ordered_json& object) {
    std::vector<std::string> names;
    for (const auto& item : object.items()) {
        names.push_back(item.key());
    }
    return names;
}

const Args example = {"--rl",       "2.0",        "--f1-crossover",  "inductive",  "--f2-crossover",
                      "capacitive", "--topology", "parallel-series", "--no-report"};

Args with(Args args, const Args& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// An antenna-like model swept from 1 to 3 GHz in 0.1 GHz steps.
const rf::LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
rf::PortData antenna_data() {
    std::vector<double> f;
    for (int i = 0; i <= 20; ++i) {
        f.push_back(1.0 + 0.1 * i);
    }
    return rf::sweep(antenna, f, 50.0);
}

TEST(ModelOptions, CombinationsThatCannotBeUsed) {
    const Args cases[] = {
        {"--all-choices", "--topology", "parallel-series"},
        {"--all-choices", "--s1p", "m.s1p"},
        {"--all-choices", "--report", "m.prt"},
        {"--best-fit", "--f1", "1.5"},
        {"--best-fit", "--f2-crossover", "inductive"},
        {"--best-fit", "--all-choices"},
        {"--fmin", "1"},
        {"--allow-negative"},
        {"--rl", "auto"},
        {"--z0", "0"},
        {"--z0", "50ohm"},
        {"--best-fit", "--fmin=-1"},
        {"--best-fit", "--fmin", "3", "--fmax", "2"},
        {"--best-fit", "--rl", "62"}, // no data
        {"--refine", "--rl", "62"},   // no data
        {"--refine", "--all-choices"},
        {"--fmax", "2", "--refine", "--allow-negative"},
    };
    for (const Args& args : cases) {
        std::string line;
        for (const std::string& arg : args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        const CalcRun run = calc(args);
        EXPECT_EQ(run.status, exit_usage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Run with --help"), std::string::npos) << run.err;
    }
}

// The check lines follow the result lines when asked for; the first two are the model's
// impedance at the points, which the example's points are (1 + j0 and 1.1 + j0 ohm).
TEST(ModelCheckLines, FollowTheResults) {
    struct Case {
        const char* name;
        Args args;
        std::vector<std::string> expected; // in this order after the result lines
        bool warning;
    };
    const Case cases[] = {
        {"Check", with(example, {"--check"}), {"Model at F1  1 + j", "Model at F2  1.1 "}, false},
        {"Z0", with(example, {"--z0", "75"}), {"Largest distance from the points  "}, false},
        {"NegativeElements",
         {"--rl", "2", "--f1-crossover", "capacitive", "--f2-crossover", "inductive", "--topology",
          "parallel-series", "--no-report", "--check"},
         {"Note: Ls, Cs, Lp and Cp are negative: no passive part has these values"},
         false},
        {"IllConditioned",
         with(example, {"--f2", "1.0000000000000002", "--check"}),
         {"Warning: the model does not meet its own points"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CalcRun run = calc(c.args);
        ASSERT_EQ(run.status, exit_results) << run.err;
        const std::size_t results_end = run.out.find("F0 ");
        ASSERT_NE(results_end, std::string::npos);
        std::size_t at = results_end;
        for (const std::string& line : c.expected) {
            at = run.out.find("\n" + line, at);
            EXPECT_NE(at, std::string::npos) << line << "\n" << run.out;
        }
        EXPECT_EQ(run.out.find("Warning") != std::string::npos, c.warning) << run.out;
        EXPECT_EQ(run.out.find("Fit"), std::string::npos); // no data, no fit
    }
}

TEST(ModelCheckLines, JsonOnlyWhenAskedFor) {
    const auto plain = nlohmann::ordered_json::parse(calc(with(example, {"--json"})).out);
    EXPECT_EQ(keys(plain), (std::vector<std::string>{"message", "fields", "report"}));
    const auto checked =
        nlohmann::ordered_json::parse(calc(with(example, {"--json", "--z0", "75"})).out);
    EXPECT_EQ(keys(checked), (std::vector<std::string>{"message", "fields", "report", "check"}));
    EXPECT_EQ(checked["check"]["z2"][0], 1.1);
    EXPECT_LT(checked["check"]["max_error_ohm"].get<double>(), 1e-14);
    EXPECT_TRUE(checked["check"]["reliable"].get<bool>());
}

// Each row is what the window shows for that choice.
TEST(AllChoices, RowsAreTheSingleCalculations) {
    TempDir dir;
    const Args inputs = {"--r1", "100", "--x1", "50", "--r2", "80", "--x2", "-40", "--rl", "50"};
    const CalcRun run = calc(with(inputs, {"--all-choices", "--json"}));
    ASSERT_EQ(run.status, exit_results) << run.err;
    const auto object = nlohmann::ordered_json::parse(run.out);
    ASSERT_EQ(object["choices"].size(), rf::all_choices.size());
    for (std::size_t i = 0; i < rf::all_choices.size(); ++i) {
        const Choice& choice = rf::all_choices[i];
        const auto& row = object["choices"][i];
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(row["f1_crossover"], rf::crossover_word(choice.f1));
        EXPECT_EQ(row["f2_crossover"], rf::crossover_word(choice.f2));
        EXPECT_EQ(row["topology"], rf::topology_word(choice.topology));
        const CalcRun single = calc(with(
            inputs, {"--f1-crossover", std::string{rf::crossover_word(choice.f1)}, "--f2-crossover",
                     std::string{rf::crossover_word(choice.f2)}, "--topology",
                     std::string{rf::topology_word(choice.topology)}, "--json", "--no-report"}));
        const auto expected = nlohmann::ordered_json::parse(single.out);
        EXPECT_EQ(row["message"], expected["message"]);
        if (row["message"].is_null()) {
            for (const auto& [name, text] : row["fields"].items()) {
                EXPECT_EQ(text, expected["fields"][name]) << name;
            }
        }
    }
    // 100 (1 + 0.25) = 125 and 80 (1 + 0.25) = 100: Series/Parallel up to the smaller.
    EXPECT_EQ(object["rl_range"]["parallel-series"]["min"], 100.0);
    EXPECT_EQ(object["rl_range"]["series-parallel"]["max"], 100.0);
    const CalcRun text = calc(with(inputs, {"--all-choices"}));
    EXPECT_NE(text.out.find("RL range: parallel-series RL >= 100 ohm; series-parallel 0 < RL <= "
                            "100 ohm\n"),
              std::string::npos)
        << text.out;
}

// The search recovers the model that made the data, then runs it as the calculation.
TEST(BestFit, RecoversTheModelAndCalculatesIt) {
    TempDir dir;
    const std::string report = (dir / "fit.prt").string();
    struct Case {
        const char* name;
        Args args;
        double relative; // elements and RL
        std::vector<std::string> last_keys;
    };
    // With RL searched the best pair is F1 = 1 GHz and F2 = 3 GHz, and the band (to 5.99 GHz)
    // reaches above the data, which earns a warning.
    const Case cases[] = {
        {"RlGiven", {"--best-fit", "--rl", "62", "--json", "--report", report}, 1e-9, {"fit"}},
        {"RlSearched",
         {"--best-fit", "--rl", "auto", "--json", "--report", report},
         1e-4,
         {"fit", "warnings"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CalcRun run = calc(c.args, antenna_data());
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto object = nlohmann::ordered_json::parse(run.out);
        std::vector<std::string> expected_keys{"best_fit", "message", "fields",
                                               "report",   "points",  "check"};
        expected_keys.insert(expected_keys.end(), c.last_keys.begin(), c.last_keys.end());
        EXPECT_EQ(keys(object), expected_keys);
        // The points are the best pair's samples.
        EXPECT_EQ(object["points"][0]["f_ghz"], object["best_fit"][0]["f1_ghz"]);
        EXPECT_EQ(object["points"][1]["f_ghz"], object["best_fit"][0]["f2_ghz"]);
        EXPECT_EQ(object["points"][0]["interpolated"], false);
        ASSERT_EQ(object["best_fit"].size(), 5U);
        const auto& best = object["best_fit"][0];
        EXPECT_PRED_FORMAT3(near_relative, best["rl_ohm"].get<double>(), 62.0, c.relative);
        EXPECT_PRED_FORMAT3(near_relative, best["ls_nh"].get<double>(), 4.2, c.relative * 10);
        EXPECT_EQ(object["fields"]["Ls_txt"], "4.200");
        EXPECT_EQ(object["fields"]["Cp_txt"], "4.700");
        EXPECT_TRUE(object["check"]["reliable"].get<bool>());
        EXPECT_LT(object["fit"]["all"]["max"].get<double>(), c.relative * 10);
        EXPECT_EQ(object["fit"]["all"]["points"], 21);
        EXPECT_FALSE(veltrane::testing::read_bytes(dir / "fit.prt").empty());
    }
}

TEST(BestFit, TextFormAndMessages) {
    const CalcRun run = calc({"--best-fit", "--rl", "62", "--no-report"}, antenna_data());
    ASSERT_EQ(run.status, exit_results) << run.err;
    EXPECT_EQ(run.out.rfind("Best fit: 21 samples, 1 to 3 GHz, reflections referred to 50 ohm, "
                            "RL 62 ohm\n",
                            0),
              0U)
        << run.out;
    EXPECT_NE(run.out.find("\n1  "), std::string::npos);
    EXPECT_NE(run.out.find("\n5  "), std::string::npos);
    EXPECT_NE(run.out.find("\n\nF1 = 2 GHz: 14.3752 + j6.60075 ohm, measured\n"
                           "F2 = 2.8 GHz: 25.1401 - j8.22454 ohm, measured\nLs    4.200 nH\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  in FL..FH    largest "), std::string::npos) << run.out;

    const CalcRun narrow =
        calc({"--best-fit", "--rl", "62", "--fmin", "1.95", "--fmax", "2.05"}, antenna_data());
    EXPECT_EQ(narrow.status, exit_message);
    EXPECT_EQ(narrow.err, "Fewer than two samples lie in the range searched\n");
    // In JSON the message comes in the object every stopped calculation prints.
    const CalcRun narrow_json = calc(
        {"--best-fit", "--rl", "62", "--fmin", "1.95", "--fmax", "2.05", "--json"}, antenna_data());
    EXPECT_EQ(narrow_json.status, exit_message);
    const auto object = nlohmann::ordered_json::parse(narrow_json.out);
    EXPECT_EQ(keys(object), (std::vector<std::string>{"best_fit", "message", "fields", "report"}));
    EXPECT_EQ(object["message"], "Fewer than two samples lie in the range searched");
}

// One figure for a model: with a range, "fit" gains "range", exactly what the search judged, and
// the band counts only samples inside the range; warnings follow the fit, in text and JSON.
TEST(BestFit, RangeFigureAndWarnings) {
    rf::PortData rippled = antenna_data();
    for (std::size_t i = 0; i < rippled.s.size(); ++i) {
        rippled.s[i] += rf::Complex(0.02 * std::cos(9.0 * i), 0.02 * std::sin(7.0 * i));
    }
    struct Case {
        const char* name;
        Args args;
        bool range;
        const char* warning; // the start of the first warning, or none
    };
    const Case cases[] = {
        {"WholeFile", {"--best-fit", "--rl", "62"}, false, "the band FL..FH = 1900 to 3138.93 MHz"},
        {"Range", {"--best-fit", "--rl", "62", "--fmin", "1.5", "--fmax", "2.5"}, true, nullptr},
        {"RangeOpenAbove", {"--best-fit", "--rl", "62", "--fmin", "1.95"}, true, nullptr},
        {"BandAboveTheData",
         {"--best-fit", "--rl", "auto", "--fmax", "2.05"},
         true,
         "the band FL..FH = "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CalcRun run = calc(with(c.args, {"--json", "--no-report"}), rippled);
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto object = nlohmann::ordered_json::parse(run.out);
        const auto& fit = object["fit"];
        ASSERT_EQ(fit.contains("range"), c.range);
        if (c.range) {
            EXPECT_EQ(fit["range"]["max"], object["best_fit"][0]["max"]);
            EXPECT_LE(fit["band"]["points"].get<int>(), fit["range"]["points"].get<int>());
            EXPECT_LT(fit["range"]["points"].get<int>(), fit["all"]["points"].get<int>());
        } else {
            EXPECT_EQ(fit["all"]["max"], object["best_fit"][0]["max"]);
        }
        ASSERT_EQ(object.contains("warnings"), c.warning != nullptr) << object.dump();
        const CalcRun text = calc(with(c.args, {"--no-report"}), rippled);
        EXPECT_EQ(text.out.find("\n  in the range largest ") != std::string::npos, c.range);
        if (c.warning) {
            const std::string first = object["warnings"][0].get<std::string>();
            EXPECT_EQ(first.rfind(c.warning, 0), 0U) << first;
            EXPECT_NE(text.out.find("\nWarning: " + first + "\n"), std::string::npos) << text.out;
        }
    }
}

// --refine: the refined model is what the calculation and its fit describe, and it fits
// better than the model it started from (the best fit's, or the one calculated at F1 and F2).
TEST(Refine, RefinedModelIsCalculated) {
    rf::PortData rippled = antenna_data();
    for (std::size_t i = 0; i < rippled.s.size(); ++i) {
        rippled.s[i] += rf::Complex(0.02 * std::cos(9.0 * i), 0.02 * std::sin(7.0 * i));
    }
    const Args calculated = {"--f1",           "1.3",        "--f2",           "2.6",
                             "--rl",           "55",         "--f1-crossover", "inductive",
                             "--f2-crossover", "capacitive", "--topology",     "parallel-series"};
    struct Case {
        const char* name;
        Args args;         // without --refine: the start
        Args range_args;   // the range, with --refine only where the start cannot take it
        const char* range; // the fit the refined figure equals; the start's is at least as large
    };
    const Case cases[] = {
        {"BestFitWholeFile", {"--best-fit", "--rl", "50"}, {}, "all"},
        {"BestFitRange", {"--best-fit", "--rl", "auto", "--fmax", "2.5"}, {}, "range"},
        {"CalculatedWholeFile", calculated, {}, "all"},
        // Over the whole file the start is at least as far off as over the range.
        {"CalculatedRange", calculated, {"--fmin", "1.5"}, "range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CalcRun start = calc(with(c.args, {"--json", "--no-report"}), rippled);
        ASSERT_EQ(start.status, exit_results) << start.err;
        const double start_max =
            nlohmann::ordered_json::parse(
                start.out)["fit"][c.range_args.empty() ? c.range : "all"]["max"]
                .get<double>();
        const Args refined_args = with(with(c.args, c.range_args), {"--refine"});

        const CalcRun run = calc(with(refined_args, {"--json", "--no-report"}), rippled);
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto object = nlohmann::ordered_json::parse(run.out);
        ASSERT_TRUE(object.contains("refined"));
        const auto& refined = object["refined"];
        EXPECT_EQ(keys(refined),
                  (std::vector<std::string>{"topology", "ls_nh", "cs_pf", "lp_nh", "cp_pf",
                                            "rl_ohm", "max", "rms", "at_ghz"}));
        EXPECT_LT(refined["max"].get<double>(), start_max);
        // The calculation gives the refined elements back, and its fit is the refined figure.
        // The fields show three decimals.
        for (const auto& [field, key] :
             {std::pair{"Ls_txt", "ls_nh"}, std::pair{"Cs_txt", "cs_pf"},
              std::pair{"Lp_txt", "lp_nh"}, std::pair{"Cp_txt", "cp_pf"}}) {
            const std::optional<double> shown =
                text_to_number(object["fields"][field].get<std::string>());
            ASSERT_TRUE(shown) << field;
            EXPECT_NEAR(*shown, refined[key].get<double>(), 0.0006) << field;
        }
        EXPECT_PRED_FORMAT3(near_relative, object["fit"][c.range]["max"].get<double>(),
                            refined["max"].get<double>(), 1e-9);
        const CalcRun text = calc(with(refined_args, {"--no-report"}), rippled);
        EXPECT_NE(text.out.find("\nRefined (Ls, Cs, Lp, Cp and RL together): "), std::string::npos)
            << text.out;
    }
}

} // namespace
} // namespace veltrane::cli
