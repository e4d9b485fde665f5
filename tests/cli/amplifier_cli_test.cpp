// veltrane-calc --amplifier: what it says about where a two-port is stable, the match it offers
// and the options it refuses.

#include "cli_test_support.h"
#include "support/test_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrane::cli {
namespace {

using testing::calc;

// Potentially unstable at 1 and 3 GHz (K 0.589), a textbook FET at 2 GHz (K 1.195, stable) and
// a unilateral, stable device at 4 GHz.
constexpr std::string_view mixed_s2p = "# GHz S MA R 50\n"
                                       "1 0.9 -60 4 120 0.05 40 0.6 -30\n"
                                       "2 0.72 -116 2.60 76 0.03 57 0.73 -54\n"
                                       "3 0.9 -60 4 120 0.05 40 0.6 -30\n"
                                       "4 0.5 -60 2 0 0 0 0.5 30\n";

struct AmplifierCase {
    const char* name;
    std::vector<std::string> args; // "DIR" stands for the folder of the files
    int status;
    bool on_out;          // what is looked for is on standard output (else on standard error)
    std::string expected; // a part of it
};

const AmplifierCase amplifier_cases[] = {
    {"summary",
     {"--amplifier", "DIR/mixed.s2p"},
     exit_results,
     true,
     "Conditionally stable at 1 and 3 GHz (K < 1 or |Delta| >= 1 there: some terminations make "
     "it oscillate); unconditionally stable at 2 and 4 GHz.\n"
     "Where S12 = 0 the device is unilateral: K and MSG are unbounded and not shown.\n"},
    {"unilateral_row",
     {"--amplifier", "DIR/mixed.s2p"},
     exit_results,
     true,
     "         4         -      0.25         2         2      8.52   MAG  yes (unilateral)\n"},
    // The impedances as numpy works them out from the reflections: 50 (1 + G) / (1 - G).
    {"match_at_band_centre",
     {"--amplifier", "DIR/mixed.s2p"},
     exit_results,
     true,
     "Simultaneous conjugate match at 2 GHz (the sample nearest 2.5 GHz): Gamma_S 0.8718 at "
     "123.4 deg (Z_S 4.413 + j26.76 ohm), Gamma_L 0.8763 at 61.0 deg (Z_L 12.63 + j83.43 ohm), MAG "
     "16.71 dB\n"},
    {"band",
     {"--amplifier", "DIR/mixed.s2p", "--band", "1.5:4"},
     exit_results,
     true,
     "In the band 1.5 to 4 GHz: conditionally stable at 3 GHz"},
    {"match_at_given_band_centre",
     {"--amplifier", "DIR/mixed.s2p", "--band", "1.5:4"},
     exit_results,
     true,
     "No simultaneous conjugate match at 3 GHz (the sample nearest 2.75 GHz)"},
    {"band_stable",
     {"--amplifier", "DIR/mixed.s2p", "--band=2:2.5"},
     exit_results,
     true,
     "In the band 2 to 2.5 GHz: unconditionally stable at 2 GHz.\n"},
    {"no_match_where_unstable",
     {"--amplifier", "DIR/mixed.s2p", "--at", "3.1"},
     exit_results,
     true,
     "No simultaneous conjugate match at 3 GHz (the sample nearest 3.1 GHz): the device is not "
     "unconditionally stable there (MSG 19.03 dB)"},
    {"at_outside",
     {"--amplifier", "DIR/mixed.s2p", "--at", "5"},
     exit_message,
     false,
     "--at 5 GHz lies outside DIR/mixed.s2p's 1 to 4 GHz\n"},
    {"band_without_samples",
     {"--amplifier", "DIR/mixed.s2p", "--band", "4.5:6"},
     exit_message,
     false,
     "No sample of DIR/mixed.s2p (1 to 4 GHz) lies in the band 4.5 to 6 GHz\n"},
    {"one_port",
     {"--amplifier", "DIR/load.s1p"},
     exit_message,
     false,
     "DIR/load.s1p has 1 port: the amplifier's figures need a two-port (.s2p)\n"},
    {"missing_file", {"--amplifier", "DIR/none.s2p"}, exit_message, false, "Cannot read"},
    {"with_touchstone",
     {"--amplifier", "DIR/mixed.s2p", "--touchstone", "DIR/load.s1p"},
     exit_usage,
     false,
     "--amplifier cannot be combined with --touchstone\n"},
    {"with_report",
     {"--report", "r.prt", "--amplifier", "DIR/mixed.s2p"},
     exit_usage,
     false,
     "--amplifier cannot be combined with --report\n"},
    {"band_reversed",
     {"--amplifier", "DIR/mixed.s2p", "--band", "2:1"},
     exit_usage,
     false,
     "--band: FL must be above 0 and FH above FL\n"},
    {"at_not_a_number",
     {"--amplifier", "DIR/mixed.s2p", "--at", "2GHz"},
     exit_usage,
     false,
     "--at: \"2GHz\" is not a frequency above 0 GHz\n"},
    {"at_alone", {"--at", "2"}, exit_usage, false, "--at requires --amplifier\n"},
    // Both ports matched: the stable terminations of the networks keep even the conditionally
    // stable samples from oscillating (the cascade's figures are checked against numpy in
    // amplifier_figures.py).
    {"match_both_ports",
     {"--amplifier", "DIR/mixed.s2p", "--band", "1:4", "--match", "2"},
     exit_results,
     true,
     "With both networks (2 parts at the input, 2 at the output), 1 to 4 GHz: transducer gain "
     "6.15 to 16.79 dB over 4 samples; stable with these terminations at all 4 samples of the "
     "file.\n"},
    {"match_needs_band",
     {"--amplifier", "DIR/mixed.s2p", "--match", "2"},
     exit_usage,
     false,
     "--amplifier with --match needs --band FL:FH\n"},
    {"band_still_needs_match", {"--band", "1:2"}, exit_usage, false, "--band requires --match\n"},
};

class AmplifierCliTest : public ::testing::TestWithParam<AmplifierCase> {};

std::string with_dir(std::string text, const std::string& dir) {
    for (std::size_t at = text.find("DIR"); at != std::string::npos; at = text.find("DIR", at)) {
        text.replace(at, 3, dir);
        at += dir.size();
    }
    return text;
}

TEST_P(AmplifierCliTest, Says) {
    const AmplifierCase& c = GetParam();
    testing::TempDir dir;
    testing::write_bytes(dir / "mixed.s2p", mixed_s2p);
    testing::write_bytes(dir / "load.s1p", "# GHz S RI R 50\n1 0.5 0\n");
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(with_dir(arg, dir.path().string()));
    }
    const auto run = calc(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE((c.on_out ? run.out : run.err).find(with_dir(c.expected, dir.path().string())),
              std::string::npos)
        << run.out << run.err;
    EXPECT_FALSE(std::filesystem::exists("r.prt"));
}

INSTANTIATE_TEST_SUITE_P(Amplifier, AmplifierCliTest, ::testing::ValuesIn(amplifier_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST(AmplifierCli, Json) {
    testing::TempDir dir;
    testing::write_bytes(dir / "mixed.s2p", mixed_s2p);
    const std::string file = (dir / "mixed.s2p").string();
    const auto run = calc({"--amplifier", file, "--json", "--band", "3:4"});
    ASSERT_EQ(run.status, exit_results) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    const auto& a = json.at("amplifier");
    EXPECT_EQ(a.at("source"), file);
    EXPECT_EQ(a.at("unconditionally_stable"), false);
    EXPECT_EQ(a.at("conditional_ghz"), nlohmann::json::parse("[[3, 3]]"));
    ASSERT_EQ(a.at("stability").size(), 4U);
    const auto& unilateral = a.at("stability").at(3);
    EXPECT_TRUE(unilateral.at("k").is_null());
    EXPECT_EQ(unilateral.at("note"), "unilateral");
    EXPECT_EQ(unilateral.at("gain_kind"), "MAG");
    EXPECT_NEAR(unilateral.at("input_circle").at("radius").get<double>(), 0.0, 1e-15);
    const auto& unstable = a.at("stability").at(0);
    EXPECT_EQ(unstable.at("stable"), false);
    EXPECT_EQ(unstable.at("gain_kind"), "MSG");
    EXPECT_NEAR(unstable.at("k").get<double>(), 0.58869, 1e-5);
    // The band's centre, 3.5 GHz, is as near 3 as 4 GHz: the lower sample, unstable, so no match.
    EXPECT_TRUE(a.at("match").is_null());

    const auto matched = calc({"--amplifier", file, "--json", "--at", "4"});
    const auto m = nlohmann::json::parse(matched.out).at("amplifier").at("match");
    EXPECT_EQ(m.at("ghz"), 4.0);
    EXPECT_NEAR(m.at("gamma_s_re").get<double>(), 0.25, 1e-12);  // S11* = 0.5 at +60 deg
    EXPECT_NEAR(m.at("gamma_l_im").get<double>(), -0.25, 1e-12); // S22* = 0.5 at -30 deg
    EXPECT_NEAR(m.at("mag_db").get<double>(), 8.5194, 1e-4);

    // A run of two samples is written with its first and last.
    testing::write_bytes(dir / "pair.s2p", "# GHz S MA R 50\n"
                                           "1 0.9 -60 4 120 0.05 40 0.6 -30\n"
                                           "2 0.9 -60 4 120 0.05 40 0.6 -30\n"
                                           "3 0.72 -116 2.60 76 0.03 57 0.73 -54\n");
    const auto pair = calc({"--amplifier", (dir / "pair.s2p").string(), "--json"});
    EXPECT_EQ(nlohmann::json::parse(pair.out).at("amplifier").at("conditional_ghz"),
              nlohmann::json::parse("[[1, 2]]"));

    const auto refused = calc({"--amplifier", file, "--json", "--at", "9"});
    EXPECT_EQ(refused.status, exit_message);
    const auto message = nlohmann::json::parse(refused.out);
    EXPECT_TRUE(message.at("amplifier").is_null());
    EXPECT_EQ(message.at("message"), "--at 9 GHz lies outside " + file + "'s 1 to 4 GHz");
}

} // namespace
} // namespace veltrane::cli
