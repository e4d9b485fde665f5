// veltrane-calc --match: the files read back reproduce every reported figure, ngspice runs the
// exported subcircuit behind the model, the JSON object, and the errors.
#include "cli/calc_cli.h"
#include "cli_test_support.h"
#include "match/network.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/response.h"
#include "rf/touchstone.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane::cli {
namespace {

using veltrane::testing::read_bytes;
using veltrane::testing::TempDir;
using veltrane::testing::write_bytes;
using Args = std::vector<std::string>;
using Complex = std::complex<double>;

// 40 ohm in series with 120 nH from 250 to 450 MHz, every 2.5 MHz, referred to 50 ohm.
std::string load_file() {
    std::string text = "# GHz S RI R 50\n";
    for (int k = 0; k <= 80; ++k) {
        const double f = 0.25 + 0.0025 * k;
        const Complex z{40, 2 * std::numbers::pi * f * 120};
        const Complex s = (z - 50.0) / (z + 50.0);
        text +=
            rf::shortest(f) + " " + rf::shortest(s.real()) + " " + rf::shortest(s.imag()) + "\n";
    }
    return text;
}

// A measured source for --source-touchstone, 0.28 to 0.45 GHz: a two-port whose port 1 has no
// resistance below 0.35 GHz (25 ohm above) in series with 10 nH, and whose port 2 has 20 ohm in
// series with 4 pF.
std::string source_file() {
    std::string text = "# GHz S RI R 50\n";
    for (int k = 12; k <= 80; ++k) {
        const double f = 0.25 + 0.0025 * k;
        const double w = 2 * std::numbers::pi * f;
        const Complex z1{f < 0.35 ? 0.0 : 25.0, w * 10};
        const Complex z2{20, -1000 / (w * 4)};
        text += rf::shortest(f);
        for (const Complex z : {z1, Complex{1e9}, Complex{1e9}, z2}) {
            const Complex s = z == Complex{1e9} ? Complex{} : (z - 50.0) / (z + 50.0);
            text += " " + rf::shortest(s.real()) + " " + rf::shortest(s.imag());
        }
        text += "\n";
    }
    return text;
}

match::Ladder ladder_of(const nlohmann::json& network) {
    match::Ladder ladder;
    for (const auto& e : network["elements"]) {
        ladder.push_back(
            {e["position"] == "series" ? match::Position::Series : match::Position::Shunt,
             e["kind"] == "L" ? match::Kind::L : match::Kind::C, e["value"].get<double>()});
        EXPECT_EQ(e["unit"], e["kind"] == "L" ? "nH" : "pF");
    }
    return ladder;
}

// The exported two-port read back with the project's reader and cascaded with the load's data
// gives the reported worst |Gamma_in|; every network of the table, rebuilt from its printed
// values, gives its own.
TEST(CalcMatch, FilesReproduceTheFigures) {
    struct Row {
        const char* name;
        Args extra;
        const char* exported; // "networks" (the last), "standard" or "parts"
    };
    const Row rows[] = {
        {"lossless", {"--match", "3"}, "networks"},
        {"lossy",
         {"--match", "2", "--inductor-q", "30@0.35", "--capacitor-q", "150@1"},
         "networks"},
        {"standard", {"--match", "3", "--match-e-series", "E24", "--source", "45"}, "standard"},
        {"parasitics",
         {"--match", "2", "--inductor-srf", "0.6", "--capacitor-esl", "2", "--capacitor-esr",
          "0.5"},
         "networks"},
        {"parts", {"--match", "2", "--parts", VELTRANE_PARTS_DIR}, "parts"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        write_bytes(dir / "load.s1p", load_file());
        const std::string s2p = (dir / "net.s2p").string();
        const std::string s1p = (dir / "matched.s1p").string();
        const std::string svg = (dir / "match.svg").string();
        Args args = {"--touchstone",
                     (dir / "load.s1p").string(),
                     "--band",
                     "0.295:0.405",
                     "--json",
                     "--match-s2p",
                     s2p,
                     "--match-s1p",
                     s1p,
                     "--match-plot",
                     svg};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const testing::CalcRun run = testing::calc(args);
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto json = nlohmann::json::parse(run.out)["match"];
        const double source = json["source_ohm"];
        match::Losses losses;
        if (std::string(row.name) == "lossy") {
            losses = {match::PartQ{30, 0.35}, match::PartQ{150, 1}};
        }
        if (std::string(row.name) == "parasitics") {
            losses.inductor_srf_ghz = 0.6;
            losses.capacitor_esl_nh = 2;
            losses.capacitor_esr_ohm = 0.5;
        }

        const auto network = std::get<rf::Network>(rf::read_touchstone_file(s2p));
        ASSERT_EQ(network.ports, 2);
        const auto load = std::get<rf::PortData>(rf::port_data(
            std::get<rf::Network>(rf::read_touchstone_file((dir / "load.s1p").string())), 1));
        ASSERT_EQ(network.f_ghz, load.f_ghz);
        match::Load in_band;
        double worst = 0;
        for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
            if (load.f_ghz[i] < 0.295 || load.f_ghz[i] > 0.405) {
                continue;
            }
            const Complex gl = rf::rereferred(load.s[i], load.reference_ohm, source);
            const Complex s11 = network.at(i, 1, 1), s12 = network.at(i, 1, 2);
            const Complex s21 = network.at(i, 2, 1), s22 = network.at(i, 2, 2);
            worst = std::max(worst, std::abs(s11 + s12 * s21 * gl / (1.0 - s22 * gl)));
            in_band.f_ghz.push_back(load.f_ghz[i]);
            in_band.z_ohm.push_back(rf::impedance_from_reflection(load.s[i], load.reference_ohm));
        }
        ASSERT_EQ(in_band.f_ghz.size(), 45U);
        const std::string which = row.exported;
        const auto& exported = which == "networks" ? json["networks"].back() : json[which];
        EXPECT_NEAR(worst, exported["worst_gamma"].get<double>(), 1e-9);
        // The matched input as written: the same worst reflection over the band.
        const auto matched = std::get<rf::PortData>(
            rf::port_data(std::get<rf::Network>(rf::read_touchstone_file(s1p)), 1));
        ASSERT_EQ(matched.f_ghz, load.f_ghz);
        EXPECT_EQ(matched.reference_ohm, source);
        double worst_matched = 0;
        for (std::size_t i = 0; i < matched.f_ghz.size(); ++i) {
            if (matched.f_ghz[i] >= 0.295 && matched.f_ghz[i] <= 0.405) {
                worst_matched = std::max(worst_matched, std::abs(matched.s[i]));
            }
        }
        EXPECT_NEAR(worst_matched, exported["worst_gamma"].get<double>(), 1e-9);
        // The picture: SVG with both curves named, no number that is not finite.
        const std::string picture = read_bytes(svg);
        EXPECT_NE(picture.find("<svg"), std::string::npos);
        EXPECT_NE(picture.find("matched input"), std::string::npos);
        EXPECT_NE(picture.find("load alone"), std::string::npos);
        EXPECT_EQ(picture.find("nan"), std::string::npos);
        EXPECT_EQ(picture.find("inf"), std::string::npos);
        // The frequency axis: the band with a band's width either side, as far as the data go
        // (0.25 to 0.45 GHz), labelled from the first sample.
        EXPECT_NE(picture.find(">0.25</text>"), std::string::npos);
        for (const auto& reported : json["networks"]) {
            const match::Figures again =
                match::evaluate(ladder_of(reported), in_band, source, losses);
            EXPECT_NEAR(again.worst_gamma, reported["worst_gamma"].get<double>(), 1e-12);
            EXPECT_NEAR(again.gain_db, reported["gain_db"].get<double>(), 1e-12);
            EXPECT_EQ(again.at_ghz, reported["at_ghz"].get<double>());
        }
    }
}

// The whole object, key by key in the documented order.
TEST(CalcMatch, JsonObject) {
    TempDir dir;
    write_bytes(dir / "load.s1p", load_file());
    const testing::CalcRun run =
        testing::calc({"--touchstone", (dir / "load.s1p").string(), "--match", "2", "--band",
                       "0.295:0.405", "--json", "--yield", "3:50:6"});
    ASSERT_EQ(run.status, exit_results) << run.err;
    const auto object = nlohmann::ordered_json::parse(run.out);
    const auto& m = object["match"];
    std::vector<std::string> keys;
    for (const auto& [key, value] : m.items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"band_ghz", "source_ohm", "bound", "networks",
                                              "standard", "yield"}));
    EXPECT_EQ(m["band_ghz"], nlohmann::ordered_json::parse("[0.295, 0.405]"));
    // Data alone: the series R-L section fitted to it, and Fano's exp(-pi R / (L (w2 - w1))).
    const auto& section = m["bound"]["section"];
    EXPECT_EQ(section["kind"], "series-RL");
    EXPECT_NEAR(section["r_ohm"].get<double>(), 40, 1e-6);
    EXPECT_NEAR(section["l_nh"].get<double>(), 120, 1e-6);
    EXPECT_TRUE(section["c_pf"].is_null());
    EXPECT_LT(section["fit_max"].get<double>(), 1e-6);
    EXPECT_NEAR(m["bound"]["gamma"].get<double>(),
                std::exp(-std::numbers::pi * 40 / (120e-9 * 2 * std::numbers::pi * 0.11e9)), 1e-6);
    EXPECT_EQ(m["bound"]["beaten"], false);
    ASSERT_EQ(m["networks"].size(), 2U);
    keys.clear();
    for (const auto& [key, value] : m["networks"][1].items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"elements", "worst_gamma", "worst_rl_db", "gain_db",
                                              "at_ghz", "gap_db", "gap_gamma", "gap_rl_db"}));
    const auto& two = m["networks"][1];
    EXPECT_NEAR(two["gap_rl_db"].get<double>(),
                -20 * std::log10(m["bound"]["gamma"].get<double>()) +
                    20 * std::log10(two["worst_gamma"].get<double>()),
                1e-9);
    EXPECT_NEAR(two["gap_gamma"].get<double>(),
                two["worst_gamma"].get<double>() - m["bound"]["gamma"].get<double>(), 1e-12);
    EXPECT_EQ(m["yield"]["tolerance_percent"], 3);
    EXPECT_EQ(m["yield"]["runs"], 50);
    EXPECT_EQ(m["yield"]["target_rl_db"], 6);
    EXPECT_TRUE(m["standard"].is_null());
    // Without a target: the chosen network's worst return loss less 1 dB.
    const testing::CalcRun untargeted =
        testing::calc({"--touchstone", (dir / "load.s1p").string(), "--match", "2", "--band",
                       "0.295:0.405", "--json", "--yield", "3:50"});
    const auto u = nlohmann::json::parse(untargeted.out)["match"];
    EXPECT_NEAR(u["yield"]["target_rl_db"].get<double>(),
                u["networks"][1]["worst_rl_db"].get<double>() - 1, 1e-9);
    // A complex source: said, no bound, and the network's printed values give its figure.
    const testing::CalcRun complex =
        testing::calc({"--touchstone", (dir / "load.s1p").string(), "--match", "2", "--band",
                       "0.295:0.405", "--json", "--source", "30+j20"});
    const auto c = nlohmann::json::parse(complex.out)["match"];
    EXPECT_EQ(c["source"],
              nlohmann::json::parse(R"({"kind":"impedance","re_ohm":30,"im_ohm":20})"));
    EXPECT_TRUE(c["bound"].is_null());
    const match::Ladder ladder = ladder_of(c["networks"][1]);
    double worst = 0;
    for (int k = 18; k <= 62; ++k) {
        const double f = 0.25 + 0.0025 * k;
        const match::Abcd m2 = match::chain_matrix(ladder, f, {});
        const Complex z = match::input_impedance(m2, {40, 2 * std::numbers::pi * f * 120});
        worst = std::max(worst, std::abs((z - Complex{30, -20}) / (z + Complex{30, 20})));
    }
    EXPECT_NEAR(c["networks"][1]["worst_gamma"].get<double>(), worst, 1e-6);
}

// The text output: after the model's lines, the bound (model) or the estimate (data), the
// header and one row per size, values as the JSON gives them to six digits.
TEST(CalcMatch, TextTable) {
    struct Row {
        const char* name;
        Args args;
        std::vector<std::string> lines;
    };
    TempDir dir;
    write_bytes(dir / "load.s1p", load_file());
    const Row rows[] = {
        {"model",
         {"--f1",
          "1",
          "--r1",
          "30",
          "--x1",
          "20",
          "--f2",
          "2",
          "--r2",
          "45",
          "--x2",
          "-15",
          "--rl",
          "60",
          "--f1-crossover",
          "inductive",
          "--f2-crossover",
          "capacitive",
          "--topology",
          "parallel-series",
          "--no-report",
          "--match",
          "2"},
         {"F0  1546.71 MHz\n\nMatching network: source 50 ohm, band 1 to 2.3923 GHz, 201 samples "
          "of the model\nBode-Fano bound of the model: |Gamma| >= ",
          "\n N  worst |G|    RL dB   gain dB    at GHz   gap dB gap RL dB  ladder from the "
          "source\n 1  "}},
        {"data",
         {"--touchstone", (dir / "load.s1p").string(), "--match", "1", "--band", "0.295:0.405",
          "--source", "40"},
         {"\nMatching network: source 40 ohm, band 0.295 to 0.405 GHz, 45 samples of the data\n"
          "Bode-Fano bound of a series-RL section fitted to the data (R 40 ohm, L 120 nH; within "
          "|Gamma| ",
          "): |Gamma| >= 0.219", "\n 1  "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const testing::CalcRun run = testing::calc(row.args);
        ASSERT_EQ(run.status, exit_results) << run.err;
        EXPECT_EQ(run.err, "");
        for (const std::string& line : row.lines) {
            EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n---\n" << run.out;
        }
    }
}

// Every limit at its edge: the last value accepted (the network written) and the first refused
// (a usage error for the words, a message for what the data cannot give; nothing written).
TEST(CalcMatch, LimitsAndErrors) {
    struct Row {
        const char* name;
        Args args;
        int status;
        std::string says; // in the error, or in the results when accepted
    };
    const Row rows[] = {
        {"no_elements", {"--match", "0", "--band", "0.3:0.4"}, exit_usage, "--match"},
        {"too_many",
         {"--match", "9", "--band", "0.3:0.4"},
         exit_usage,
         "--match: \"9\" is not a number of elements from 1 to 8"},
        {"not_whole", {"--match", "2.5", "--band", "0.3:0.4"}, exit_usage, "1 to 8"},
        {"not_a_number", {"--match", "4x", "--band", "0.3:0.4"}, exit_usage, "--match"},
        {"source", {"--match", "2", "--band", "0.3:0.4", "--source", "0"}, exit_usage, "--source"},
        {"inductor_q",
         {"--match", "2", "--band", "0.3:0.4", "--inductor-q", "-5@1"},
         exit_usage,
         "--inductor-q"},
        {"inductor_q_at_0_hz",
         {"--match", "2", "--band", "0.3:0.4", "--inductor-q", "40@0"},
         exit_usage,
         "--inductor-q: Q and the frequency must be positive"},
        {"capacitor_q",
         {"--match", "2", "--band", "0.3:0.4", "--capacitor-q", "100"},
         exit_usage,
         "--capacitor-q"},
        {"band_order", {"--match", "2", "--band", "0.4:0.3"}, exit_usage, "--band"},
        {"band_empty",
         {"--match", "2", "--band", "0.3:0.3"},
         exit_usage,
         "--band: FL must be above 0 and FH above FL"},
        {"band_from_0_hz", {"--match", "2", "--band", "0:0.4"}, exit_usage, "FL must be above 0"},
        {"band_at_first_sample",
         {"--match", "1", "--band", "0.25:0.3"},
         exit_results,
         "band 0.25 to 0.3 GHz, 21 samples"},
        {"band_at_last_sample",
         {"--match", "1", "--band", "0.4:0.45"},
         exit_results,
         "band 0.4 to 0.45 GHz, 21 samples"},
        {"yield",
         {"--match", "2", "--band", "0.3:0.4", "--yield", "150:10"},
         exit_usage,
         "--yield"},
        {"yield_100",
         {"--match", "2", "--band", "0.3:0.4", "--yield", "100:10"},
         exit_usage,
         "TOL must lie between 0 and 100 %"},
        {"yield_99_9",
         {"--match", "1", "--band", "0.3:0.4", "--yield", "99.9:10"},
         exit_results,
         "parts within +-99.9 % (uniform), 10 runs"},
        {"yield_runs_over_the_most",
         {"--match", "1", "--band", "0.3:0.4", "--yield", "5:10000001"},
         exit_usage,
         "--yield"},
        {"yield_4_fields",
         {"--match", "2", "--band", "0.3:0.4", "--yield", "3:50:6:7"},
         exit_usage,
         "is not TOL:RUNS or TOL:RUNS:TARGET_DB"},
        {"needs_match", {"--band", "0.3:0.4"}, exit_usage, "--band"},
        {"needs_band", {"--match", "2"}, exit_usage, "--match needs --band FL:FH"},
        {"objective",
         {"--match", "2", "--band", "0.3:0.4", "--match-objective", "loss"},
         exit_usage,
         "--match-objective"},
        {"seed_without_yield",
         {"--match", "2", "--band", "0.3:0.4", "--seed", "5"},
         exit_usage,
         "--seed"},
        {"seed",
         {"--match", "2", "--band", "0.3:0.4", "--yield", "5:10", "--seed", "-1"},
         exit_usage,
         "--seed"},
        {"distribution",
         {"--match", "2", "--band", "0.3:0.4", "--yield", "5:10", "--yield-dist", "gauss"},
         exit_usage,
         "--yield-dist"},
        {"first",
         {"--match", "2", "--band", "0.3:0.4", "--first", "across"},
         exit_usage,
         "--first"},
        {"l_range",
         {"--match", "2", "--band", "0.3:0.4", "--l-range", "50:5"},
         exit_usage,
         "--l-range"},
        {"no_ladder",
         {"--match", "2", "--band", "0.3:0.4", "--lowpass", "--dc-block"},
         exit_message,
         "meets the constraints (DC block, low-pass)"},
        {"band_outside", {"--match", "2", "--band", "0.2:0.4"}, exit_message, "outside the data"},
        {"band_past_last_sample",
         {"--match", "2", "--band", "0.3:0.4500001"},
         exit_message,
         "outside the data"},
        {"few_samples", {"--match", "2", "--band", "0.3:0.304"}, exit_message, "at least 3"},
        {"source_impedance",
         {"--match", "1", "--band", "0.3:0.4", "--source", "30 - j20"},
         exit_results,
         "source 30-j20 ohm, band 0.3 to 0.4 GHz"},
        {"source_impedance_no_bound",
         {"--match", "1", "--band", "0.3:0.4", "--source", "30+j20"},
         exit_results,
         "Bode-Fano bound: none (the source is not a resistance)"},
        {"source_without_reactance",
         {"--match", "1", "--band", "0.3:0.4", "--source", "25+j0"},
         exit_results,
         "source 25 ohm"},
        {"source_not_impedance",
         {"--match", "1", "--band", "0.3:0.4", "--source", "30+k20"},
         exit_usage,
         "--source: \"30+k20\" is not a positive resistance or R+jX"},
        {"source_negative",
         {"--match", "1", "--band", "0.3:0.4", "--source", "-3+j2"},
         exit_usage,
         "--source"},
        {"source_file",
         {"--match", "1", "--band", "0.3:0.4", "--source-touchstone", "@/source.s2p",
          "--source-port", "2"},
         exit_results,
         "source.s2p port 2, band 0.3 to 0.4 GHz"},
        {"source_no_resistance",
         {"--match", "1", "--band", "0.3:0.4", "--source-touchstone", "@/source.s2p"},
         exit_message,
         "source.s2p port 1 has no positive resistance at"},
        {"source_file_narrow",
         {"--match", "1", "--band", "0.25:0.4", "--source-touchstone", "@/source.s2p",
          "--source-port", "2"},
         exit_message,
         "source.s2p port 2 (0.28 to 0.45 GHz) does not cover the band 0.25 to 0.4 GHz"},
        {"source_file_missing",
         {"--match", "1", "--band", "0.3:0.4", "--source-touchstone", "@/none.s1p"},
         exit_message,
         "none.s1p"},
        {"source_port_3",
         {"--match", "1", "--band", "0.3:0.4", "--source-touchstone", "@/source.s2p",
          "--source-port", "3"},
         exit_message,
         "port 3"},
        {"source_port_alone",
         {"--match", "1", "--band", "0.3:0.4", "--source-port", "2"},
         exit_usage,
         "--source-port needs --source-touchstone"},
        {"source_twice",
         {"--match", "1", "--band", "0.3:0.4", "--source", "50", "--source-touchstone",
          "@/source.s2p"},
         exit_usage,
         "cannot both be given"},
        {"inductor_srf",
         {"--match", "2", "--band", "0.3:0.4", "--inductor-srf", "0"},
         exit_usage,
         "--inductor-srf: \"0\" is not a frequency above 0 GHz"},
        {"capacitor_esl",
         {"--match", "2", "--band", "0.3:0.4", "--capacitor-esl", "-0.1"},
         exit_usage,
         "--capacitor-esl: \"-0.1\" is not an inductance of 0 nH or more"},
        {"capacitor_esr_beyond_use",
         {"--match", "2", "--band", "0.3:0.4", "--capacitor-esr", "1e4"},
         exit_message,
         "The capacitors' series resistance 10000 ohm is out of range (0 to 1000 ohm)"},
        {"parasitics",
         {"--match", "1", "--band", "0.3:0.4", "--inductor-srf", "0.6", "--capacitor-esl", "2"},
         exit_results,
         ", inductors self-resonant at 0.6 GHz, capacitors with 2 nH in series\n"},
        {"parts_missing",
         {"--match", "1", "--band", "0.3:0.4", "--parts", "no-such-folder"},
         exit_message,
         "parts.csv: no such file or it cannot be opened"},
        {"parts",
         {"--match", "2", "--band", "0.3:0.4", "--parts", VELTRANE_PARTS_DIR},
         exit_results,
         "\nparts "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        write_bytes(dir / "load.s1p", load_file());
        write_bytes(dir / "source.s2p", source_file());
        Args args = {"--touchstone", (dir / "load.s1p").string(), "--match-s2p",
                     (dir / "net.s2p").string()};
        if (std::string(row.name) == "needs_match") {
            args.resize(2);
        }
        for (const std::string& arg : row.args) {
            args.push_back(arg.starts_with("@") ? dir.path().string() + arg.substr(1) : arg);
        }
        const testing::CalcRun run = testing::calc(args);
        EXPECT_EQ(run.status, row.status);
        const bool accepted = row.status == exit_results;
        EXPECT_NE((accepted ? run.out : run.err).find(row.says), std::string::npos)
            << run.err << run.out;
        EXPECT_EQ(std::filesystem::exists(dir / "net.s2p"), accepted);
    }
    // The largest size and the most runs are accepted (running them takes long: read only).
    std::ostringstream out;
    std::ostringstream err;
    const auto parsed = parse_calc_args(
        {"--touchstone", "load.s1p", "--match", "8", "--band", "0.3:0.4", "--yield", "5:10000000"},
        out, err);
    ASSERT_TRUE(std::holds_alternative<CalcRequest>(parsed)) << err.str();
    EXPECT_EQ(std::get<CalcRequest>(parsed).match->elements, 8);
    EXPECT_EQ(std::get<CalcRequest>(parsed).match->yield->runs, 10'000'000);
}

// With a part library the yield varies the measured parts: its default target is their network's
// worst return loss less 1 dB, and parts varied by almost nothing give that return loss.
TEST(CalcMatch, YieldOfMeasuredParts) {
    TempDir dir;
    write_bytes(dir / "load.s1p", load_file());
    for (const char* tolerance : {"1e-6:20", "3:200"}) {
        SCOPED_TRACE(tolerance);
        const testing::CalcRun run =
            testing::calc({"--touchstone", (dir / "load.s1p").string(), "--match", "2", "--band",
                           "0.3:0.4", "--match-e-series", "E12", "--parts", VELTRANE_PARTS_DIR,
                           "--yield", tolerance, "--json"});
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto m = nlohmann::json::parse(run.out)["match"];
        const double parts_rl = m["parts"]["worst_rl_db"].get<double>();
        ASSERT_GT(std::fabs(parts_rl - m["standard"]["worst_rl_db"].get<double>()), 1e-3);
        EXPECT_NEAR(m["yield"]["target_rl_db"].get<double>(), parts_rl - 1, 1e-9);
        if (std::string{tolerance}.starts_with("1e-6")) {
            EXPECT_NEAR(m["yield"]["worst_rl_db"]["max"].get<double>(), parts_rl, 1e-4);
            EXPECT_NEAR(m["yield"]["worst_rl_db"]["min"].get<double>(), parts_rl, 1e-4);
        }
    }
}

#ifndef _WIN32
// Command lines a hostile user might type: an output on the measured file or on another output
// (spelled apart, or through a link), empty names, values the designer cannot give finite parts
// for. Each ends with its status and message, and every file of the folder is left as it was,
// none added.
TEST(CalcMatch, HostileCommandLines) {
    struct Row {
        const char* name;
        Args args; // "^" stands for the folder, "%" for it relative to the current one
        int status;
        std::string says;
    };
    const Args data = {"--touchstone", "^/in.s1p", "--match", "2", "--band", "0.3:0.4"};
    const auto with = [&data](Args more) {
        Args args = data;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const Row rows[] = {
        {"match_output_on_the_input", with({"--match-s1p", "^/in.s1p"}), exit_usage,
         "--match-s1p: ^/in.s1p is also --touchstone's file"},
        {"report_on_the_input",
         {"--touchstone", "^/in.s1p", "--best-fit", "--rl", "50", "--report", "^/in.s1p"},
         exit_usage,
         "--report: ^/in.s1p is also --touchstone's file"},
        {"output_on_the_input_through_a_link",
         {"--touchstone", "^/in.s1p", "--best-fit", "--rl", "50", "--report", "^/in.link"},
         exit_usage,
         "is also --touchstone's file"},
        {"input_through_a_hard_link", with({"--match-spice", "^/hard.s1p"}), exit_usage,
         "is also --touchstone's file"},
        {"two_match_outputs", with({"--match-s2p", "^/net.x", "--match-s1p", "^/net.x"}),
         exit_usage, "--match-s1p: ^/net.x is written by another output"},
        {"report_and_match_output_spelled_apart",
         with({"--report", "^/r.x", "--match-spice", "%/sub/../r.x"}), exit_usage,
         "--match-spice: %/sub/../r.x is written by another output"},
        {"outputs_through_a_linked_folder",
         {"--rl", "2.0", "--f1-crossover", "inductive", "--f2-crossover", "capacitive",
          "--topology", "parallel-series", "--report", "^/new.prt", "--spice", "^/alias/new.prt"},
         exit_usage,
         "--spice: ^/alias/new.prt is also the report's file"},
        {"output_on_a_link_to_another_output",
         with({"--report", "^/old.x", "--match-plot", "^/old.link"}), exit_usage,
         "--match-plot: ^/old.link is written by another output"},
        {"empty_match_file_name", with({"--match-s2p", ""}), exit_usage, "the file name is empty"},
        {"match_file_in_a_missing_folder", with({"--match-s2p", "^/missing/net.s2p"}), exit_message,
         "Cannot write ^/missing/net.s2p: "},
        {"band_of_tiny_frequencies",
         {"--touchstone", "^/in.s1p", "--match", "2", "--band", "1e-308:2e-308", "--match-spice",
          "^/net.cir"},
         exit_message,
         "The band 1e-308 to 2e-308 GHz is out of range"},
        {"vanishing_source", with({"--source", "5e-324", "--match-s2p", "^/net.s2p"}), exit_message,
         "The source resistance 5e-324 ohm is out of range"},
        {"huge_source", with({"--source", "1e308"}), exit_message, "1e+308 ohm is out of range"},
        {"huge_reference", with({"--z0", "1e300", "--match-s2p", "^/net.s2p"}), exit_message,
         "1e+300 ohm is out of range"},
        {"lossy_beyond_use", with({"--inductor-q", "1e-300@1", "--match-s2p", "^/net.s2p"}),
         exit_message, "--inductor-q: Q 1e-300 is out of range"},
        {"q_at_no_frequency", with({"--capacitor-q", "100@1e-300", "--match-s2p", "^/net.s2p"}),
         exit_message, "--capacitor-q: 1e-300 GHz is out of range"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        namespace fs = std::filesystem;
        const std::string at = dir.path().string();
        const std::string relative = fs::relative(dir.path(), fs::current_path()).string();
        const auto place = [&](std::string text) {
            for (const auto& [mark, folder] : {std::pair{'^', at}, std::pair{'%', relative}}) {
                for (std::size_t p = text.find(mark); p != std::string::npos;
                     p = text.find(mark, p + folder.size())) {
                    text.replace(p, 1, folder);
                }
            }
            return text;
        };
        write_bytes(dir / "in.s1p", load_file());
        write_bytes(dir / "old.x", "old\n");
        fs::create_directory(dir / "sub");
        fs::create_hard_link(dir / "in.s1p", dir / "hard.s1p");
        fs::create_symlink(dir / "in.s1p", dir / "in.link");
        fs::create_symlink(dir / "old.x", dir / "old.link");
        fs::create_directory_symlink(dir.path(), dir / "alias");
        std::map<std::string, std::string> before;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            before[entry.path().filename().string()] =
                entry.is_regular_file() ? read_bytes(entry.path()) : "";
        }
        Args args;
        for (const std::string& word : row.args) {
            args.push_back(place(word));
        }
        if (std::find(args.begin(), args.end(), "--report") == args.end() &&
            std::find(args.begin(), args.end(), "--no-report") == args.end()) {
            args.push_back("--no-report");
        }
        const testing::CalcRun run = testing::calc(args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.err.find(place(row.says)), std::string::npos) << run.err;
        std::map<std::string, std::string> after;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            after[entry.path().filename().string()] =
                entry.is_regular_file() ? read_bytes(entry.path()) : "";
        }
        EXPECT_EQ(after, before);
    }
}
#endif

#ifndef _WIN32
// The exported subcircuit behind the model's, in ngspice: the impedance at the source pin gives
// the reported worst |Gamma_in| at the band's samples: ideal parts and parts with parasitics (an
// inductor's parallel C, a capacitor's series L and R: exact in SPICE at every frequency) within
// 1e-6, measured parts (each an equivalent circuit fitted over the band) within 0.001.
TEST(CalcMatch, NgspiceReproducesTheMatch) {
    struct Row {
        Args extra;
        double within;
    };
    const Row rows[] = {
        {{}, 1e-6},
        {{"--inductor-srf", "2.5", "--capacitor-esl", "0.8", "--capacitor-esr", "0.4"}, 1e-6},
        {{"--parts", VELTRANE_PARTS_DIR}, 0.001},
    };
    for (const auto& [extra, within] : rows) {
        SCOPED_TRACE(extra.size());
        TempDir dir;
        Args args = {
            "--f1",           "1",          "--r1",           "30",
            "--x1",           "20",         "--f2",           "2",
            "--r2",           "45",         "--x2",           "-15",
            "--rl",           "60",         "--f1-crossover", "inductive",
            "--f2-crossover", "capacitive", "--topology",     "parallel-series",
            "--no-report",    "--json",     "--spice",        (dir / "model.cir").string(),
            "--match",        "3",          "--match-spice",  (dir / "match.cir").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const testing::CalcRun run = testing::calc(args);
        ASSERT_EQ(run.status, exit_results) << run.err;
        const auto m = nlohmann::json::parse(run.out)["match"];
        ASSERT_FALSE(m["bound"].is_null());
        const double fl = m["band_ghz"][0], fh = m["band_ghz"][1];
        const std::string bench = "* bench\n.include model.cir\n.include match.cir\n"
                                  "X1 in load 0 veltrane_match\nX2 load 0 veltrane_model\n"
                                  "I1 0 in AC 1\n.control\nset numdgt=16\nac lin 201 " +
                                  rf::full_precision(fl * 1e9) + " " +
                                  rf::full_precision(fh * 1e9) +
                                  "\nwrdata z.txt vr(in) vi(in)\nquit\n.endc\n.end\n";
        write_bytes(dir / "bench.cir", bench);
        const int status = std::system(
            ("cd '" + dir.path().string() + "' && ngspice -b bench.cir > log.txt 2>&1").c_str());
        ASSERT_EQ(status, 0) << "ngspice failed or is missing (scripts/deps.sh installs it):\n"
                             << read_bytes(dir / "log.txt");
        std::istringstream out(read_bytes(dir / "z.txt"));
        double f = 0, vr = 0, f2 = 0, vi = 0;
        double worst = 0;
        int samples = 0;
        while (out >> f >> vr >> f2 >> vi) {
            const Complex z{vr, vi};
            worst = std::max(worst, std::abs((z - 50.0) / (z + 50.0)));
            ++samples;
        }
        EXPECT_EQ(samples, 201) << read_bytes(dir / "log.txt");
        const auto& built = extra.size() == 2 ? m["parts"] : m["networks"][2];
        EXPECT_NEAR(worst, built["worst_gamma"].get<double>(), within);
        EXPECT_GE(m["networks"][2]["gap_db"].get<double>(), 0);
    }
}
#endif

} // namespace
} // namespace veltrane::cli
