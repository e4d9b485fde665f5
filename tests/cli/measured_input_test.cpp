// veltrane-calc with --touchstone: the points taken from the file, the calculation they feed,
// and what a bad file or command line gives.

#include "cli/calc_cli.h"
#include "cli_test_support.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace veltrane::cli {
namespace {

using Args = std::vector<std::string>;

using testing::calc;
using testing::CalcRun;

std::string shortest(double value) {
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// 1 GHz: 73.0769... + j15.3846... ohm; 2 GHz and 2.5 GHz as well, in 50 ohm.
constexpr std::string_view measured = "! test data\n# MHz S RI R 50\n1000 0.2 0.1\n"
                                      "2000 0.1 -0.3\n2500 0.05 -0.2\n";

class MeasuredCli : public ::testing::Test {
  protected:
    void SetUp() override { testing::write_bytes(file_, measured); }

    testing::TempDir dir_;
    std::string file_ = (dir_ / "dut.s1p").string();
    std::string report_ = (dir_ / "run.prt").string();
    Args choices_ = {"--rl",           "100",        "--f1-crossover", "inductive",
                     "--f2-crossover", "capacitive", "--topology",     "parallel-series"};
};

struct RefusedCase {
    const char* name;
    Args args; // after --touchstone FILE, or in place of it when it starts with "!"
    int status;
    std::string err; // the start of standard error; FILE stands for the file's path
};

TEST_F(MeasuredCli, RefusedRunsSayWhyAndWriteNoReport) {
    const RefusedCase cases[] = {
        {"R1WithFile", {"--r1", "3"}, exit_usage, "veltrane-calc: --r1 excludes --touchstone"},
        {"PortWithoutFile", {"!", "--port", "2"}, exit_usage, "veltrane-calc: --port requires"},
        {"PortNotANumber",
         {"--port", "one"},
         exit_usage,
         "veltrane-calc: Could not convert: --port = one"},
        {"PortOutside", {"--port", "2"}, exit_message, "FILE has no port 2: it has 1 port\n"},
        {"F2AboveData",
         {"--f2", "3"},
         exit_message,
         "F2 = 3 GHz lies outside the data (1 to 2.5 GHz)\n"},
        {"MissingFile",
         {"!", "--touchstone", "no/such.s1p"},
         exit_message,
         "Cannot read no/such.s1p: no such file or directory\n"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        Args args = {"--report", report_};
        if (c.args.empty() || c.args.front() != "!") {
            args.insert(args.end(), {"--touchstone", file_});
            args.insert(args.end(), c.args.begin(), c.args.end());
        } else {
            args.insert(args.end(), c.args.begin() + 1, c.args.end());
        }
        args.insert(args.end(), choices_.begin(), choices_.end());
        const CalcRun run = calc(args);
        EXPECT_EQ(run.status, c.status);
        std::string expected = c.err;
        if (const auto at = expected.find("FILE"); at != std::string::npos) {
            expected.replace(at, 4, file_);
        }
        EXPECT_EQ(run.err.substr(0, expected.size()), expected) << run.err;
        EXPECT_FALSE(std::filesystem::exists(report_));
        EXPECT_EQ(run.out.find("Ls "), std::string::npos) << run.out;
    }
}

TEST_F(MeasuredCli, PointsFeedTheCalculationAsTypedTexts) {
    Args args = {"--touchstone", file_, "--f2", "1.5", "--no-report", "--json"};
    args.insert(args.end(), choices_.begin(), choices_.end());
    const CalcRun run = calc(args);
    ASSERT_EQ(run.status, exit_results) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    ASSERT_EQ(json["points"].size(), 2U);

    // 1 GHz is a sample: (1 + 0.2 + j0.1) / (1 - 0.2 - j0.1) * 50 = 73.0769... + j15.3846...
    // 1.5 GHz lies halfway: S = 0.15 - j0.1.
    const std::complex<double> s1(0.2, 0.1);
    const std::complex<double> s2(0.15, -0.1);
    const std::complex<double> z1 = 50.0 * (1.0 + s1) / (1.0 - s1);
    const std::complex<double> z2 = 50.0 * (1.0 + s2) / (1.0 - s2);
    const struct {
        double f_ghz;
        std::complex<double> z;
        bool interpolated;
    } expected[] = {{1.0, z1, false}, {1.5, z2, true}};
    Args typed = {"--f2", "1.5", "--no-report", "--json"};
    for (std::size_t k = 0; k < 2; ++k) {
        const auto& point = json["points"][k];
        EXPECT_EQ(point["f_ghz"].get<double>(), expected[k].f_ghz);
        EXPECT_PRED_FORMAT3(testing::near_relative, point["r"].get<double>(), expected[k].z.real(),
                            1e-14);
        EXPECT_PRED_FORMAT3(testing::near_relative, point["x"].get<double>(), expected[k].z.imag(),
                            1e-14);
        EXPECT_EQ(point["interpolated"].get<bool>(), expected[k].interpolated);
        const std::string n = std::to_string(k + 1);
        typed.insert(typed.end(), {"--r" + n, shortest(point["r"].get<double>()), "--x" + n,
                                   shortest(point["x"].get<double>())});
    }
    typed.insert(typed.end(), choices_.begin(), choices_.end());
    const auto typed_json = nlohmann::json::parse(calc(typed).out);
    EXPECT_EQ(json["fields"], typed_json["fields"]);
    EXPECT_FALSE(typed_json.contains("points"));

    // The text output names the two points before the result lines.
    args.erase(args.begin() + 5); // --json
    const CalcRun text = calc(args);
    EXPECT_EQ(text.out.substr(0, text.out.find("Ls ")),
              "F1 = 1 GHz: 73.0769 + j15.3846 ohm, measured\n"
              "F2 = 1.5 GHz: 66.041 - j13.6519 ohm, interpolated\n");
}

TEST_F(MeasuredCli, JsonKeepsThePointsWhenTheCalculationStops) {
    const CalcRun run = calc({"--touchstone", file_, "--f2", "2.5", "--no-report", "--json"});
    EXPECT_EQ(run.status, exit_message);
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["message"], "Please F1 crossover");
    ASSERT_EQ(json["points"].size(), 2U);
    EXPECT_EQ(json["points"][1]["f_ghz"].get<double>(), 2.5);

    const CalcRun outside = calc({"--touchstone", file_, "--f2", "2.6", "--no-report", "--json"});
    const auto partial = nlohmann::json::parse(outside.out);
    EXPECT_EQ(partial["message"], "F2 = 2.6 GHz lies outside the data (1 to 2.5 GHz)");
    EXPECT_EQ(partial["points"].size(), 1U);
    EXPECT_EQ(partial["report"], nullptr);
    EXPECT_EQ(partial["fields"]["Ls_txt"], "     ");
}

// Hostile files on the command line: each row makes the file (its bytes, or something else at
// its path) and gives the exit status, the start of standard error (FILE stands for the path)
// and a line the output must hold.
struct HostileCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    Args args; // after --touchstone FILE, before the choices
    int status;
    std::string err;
    std::string out_line; // empty: no results
};

std::function<void(const std::filesystem::path&)> bytes(std::string text) {
    return [text = std::move(text)](const std::filesystem::path& path) {
        testing::write_bytes(path, text);
    };
}

TEST_F(MeasuredCli, HostileFilesGetATrueMessage) {
    const Args points = {"--f1", "1", "--f2", "2"};
    const HostileCase cases[] = {
        {"LineLongerThanTheLimit", bytes(std::string((std::size_t{1} << 20) + 1, '\0')), points,
         exit_message, "FILE line 1: longer than 1048576 bytes\n", ""},
        {"OptionLineAfterData", bytes("1 0.5 0\n1.5 0.5 0\n# MHz S RI R 25\n2000 0.2 0.1\n"),
         points, exit_message,
         "FILE line 3: the option line comes after data; it must come before them\n", ""},
        {"CrLineEnds", bytes("! VNA\r# GHz S RI R 50\r1 0.2 0.1\r2 0.1 -0.3\r"), points,
         exit_results, "", "F1 = 1 GHz: 73.0769 + j15.3846 ohm, measured"},
        // R (1 + S) / (1 - S) of S = 1e308 is -R, a resistance the calculation refuses.
        {"HugeReflection", bytes("# GHz S RI R 50\n1 1e308 0\n2 0.1 -0.3\n"), points, exit_message,
         "R1 must be positive\n", "F1 = 1 GHz: -50 + j0 ohm, measured"},
        {"NormalisedZTooLarge", bytes("# GHz Z RI R 50\n1 1 0\n2 1e308 0\n"), points, exit_message,
         "FILE line 3: value out of range\n", ""},
        {"BelowTheSmallestDouble", bytes("# GHz S RI R 50\n1 1e-400 -1e-400\n2 0.1 -0.3\n"), points,
         exit_results, "", "F1 = 1 GHz: 50 + j0 ohm, measured"},
        {"EmptyPort",
         bytes(std::string{measured}),
         {"--port", ""},
         exit_usage,
         "veltrane-calc: --port: expected a port number, found nothing\n",
         ""},
#ifndef _WIN32
        // A named pipe nobody writes into reads as empty instead of waiting for a writer.
        {"PipeWithoutWriter",
         [](const std::filesystem::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
         points, exit_message, "FILE line 1: no data\n", ""},
        {"Folder",
         [](const std::filesystem::path& path) { std::filesystem::create_directory(path); }, points,
         exit_message, "Cannot read FILE: is a directory\n", ""},
#endif
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path path = dir_ / (std::string{c.name} + ".s1p");
        c.make(path);
        Args args = {"--touchstone", path.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), choices_.begin(), choices_.end());
        args.push_back("--no-report");
        const CalcRun run = calc(args);
        EXPECT_EQ(run.status, c.status);
        std::string expected = c.err;
        if (const auto at = expected.find("FILE"); at != std::string::npos) {
            expected.replace(at, 4, path.string());
        }
        EXPECT_EQ(run.err.substr(0, expected.size()), expected) << run.err;
        if (c.out_line.empty()) {
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_NE(run.out.find(c.out_line + "\n"), std::string::npos) << run.out;
        }
    }
}

} // namespace
} // namespace veltrane::cli
