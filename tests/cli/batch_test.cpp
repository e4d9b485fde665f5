// veltrane-calc --batch: one JSON line per file in the order given (a folder's Touchstone files
// by name), each the single run's object with the file's name first, a failure as a message
// line that leaves the others alone.

#include "cli/calc_request.h"
#include "cli_test_support.h"
#include "parallel/pool.h"

#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane::cli {
namespace {

using Args = std::vector<std::string>;

// The whole command line, as veltrane-calc's main gives it.
testing::CalcRun calc_line(const Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    testing::CalcRun run;
    run.status = run_calc(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// Four samples of a 50-ohm file: the calculation's points at 1 and 2 GHz.
constexpr std::string_view good = "# GHz S RI R 50\n1 0.2 0.1\n1.5 0.15 -0.1\n2 0.1 -0.3\n"
                                  "2.5 0.05 -0.2\n";

class Batch : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ / "in");
        testing::write_bytes(dir_ / "in" / "b.s1p", good);
        testing::write_bytes(dir_ / "in" / "a.S1P", good);
        testing::write_bytes(dir_ / "in" / "c.s1p", "garbage\n");
        testing::write_bytes(dir_ / "in" / "notes.txt", "not a network\n");
    }
    void TearDown() override { parallel::set_threads(0); }
    std::string path(const std::string& name) const { return (dir_ / "in" / name).string(); }
    testing::TempDir dir_;
};

TEST_F(Batch, OneLinePerFileInOrder) {
    const Args model = {"--rl",           "100",        "--f1",           "1",
                        "--f2",           "2",          "--f1-crossover", "inductive",
                        "--f2-crossover", "capacitive", "--topology",     "parallel-series"};
    struct Case {
        const char* name;
        Args inputs;                    // after --batch; "@" stands for the folder
        std::vector<std::string> files; // the lines' files, in order
        std::vector<bool> results;      // which lines hold results
        int status;
    };
    const Case cases[] = {
        {"FilesAsGiven",
         {"b.s1p", "c.s1p", "missing.s1p", "a.S1P"},
         {"b.s1p", "c.s1p", "missing.s1p", "a.S1P"},
         {true, false, false, true},
         exit_message},
        {"FolderByName", {"@"}, {"a.S1P", "b.s1p", "c.s1p"}, {true, true, false}, exit_message},
        {"AllResults", {"a.S1P", "b.s1p"}, {"a.S1P", "b.s1p"}, {true, true}, exit_results},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string first_out;
        for (const char* threads : {"1", "4"}) {
            Args args = {"--batch"};
            for (const std::string& input : c.inputs) {
                args.push_back(input == "@" ? (dir_ / "in").string() : path(input));
            }
            args.insert(args.end(), model.begin(), model.end());
            args.insert(args.end(), {"--threads", threads});
            const testing::CalcRun run = calc_line(args);
            EXPECT_EQ(run.status, c.status) << run.err;
            std::istringstream lines(run.out);
            std::string line;
            std::size_t k = 0;
            for (; std::getline(lines, line); ++k) {
                ASSERT_LT(k, c.files.size()) << line;
                const auto object = nlohmann::ordered_json::parse(line);
                EXPECT_EQ(object.begin().key(), "file");
                EXPECT_EQ(object["file"], path(c.files[k]));
                EXPECT_EQ(object["message"].is_null(), c.results[k]) << line;
                if (c.results[k]) {
                    // The single run's object, the file's name put in front.
                    const testing::CalcRun single = testing::calc(
                        {"--touchstone", path(c.files[k]), "--json", "--no-report", "--rl", "100",
                         "--f1", "1", "--f2", "2", "--f1-crossover", "inductive", "--f2-crossover",
                         "capacitive", "--topology", "parallel-series"});
                    auto expected = nlohmann::ordered_json::object();
                    expected["file"] = path(c.files[k]);
                    expected.update(nlohmann::ordered_json::parse(single.out));
                    EXPECT_EQ(object, expected);
                } else {
                    EXPECT_TRUE(object["message"].is_string());
                    EXPECT_NE(object["message"].get<std::string>().find(c.files[k]),
                              std::string::npos);
                }
            }
            EXPECT_EQ(k, c.files.size());
            if (first_out.empty()) {
                first_out = run.out;
            } else {
                EXPECT_EQ(run.out, first_out);
            }
        }
    }
}

// Each file's outputs go into the folder under the file's own name, the same bytes a single run
// writes; two files of one name are told apart in the order given.
TEST_F(Batch, WritesEachFilesOutputsIntoTheFolder) {
    std::filesystem::create_directory(dir_ / "more");
    testing::write_bytes(dir_ / "more" / "b.s1p", good);
    const std::filesystem::path out = dir_ / "out" / "deeper";
    const Args model = {"--rl",           "100",        "--f1",           "1",
                        "--f2",           "2",          "--f1-crossover", "inductive",
                        "--f2-crossover", "capacitive", "--topology",     "parallel-series"};
    Args args = {"--batch",      path("b.s1p"),       (dir_ / "more" / "b.s1p").string(),
                 "--s1p",        "ignored/model.s1p", "--report=r.prt",
                 "--output-dir", out.string()};
    args.insert(args.end(), model.begin(), model.end());
    const testing::CalcRun run = calc_line(args);
    ASSERT_EQ(run.status, exit_results) << run.err;
    Args single = {"--touchstone", path("b.s1p"),
                   "--s1p",        (dir_ / "single.s1p").string(),
                   "--report",     (dir_ / "single.prt").string()};
    single.insert(single.end(), model.begin(), model.end());
    ASSERT_EQ(testing::calc(single).status, exit_results);
    std::istringstream lines(run.out);
    std::string line;
    for (const char* stem : {"b-", "b-2-"}) {
        SCOPED_TRACE(stem);
        ASSERT_TRUE(std::getline(lines, line));
        const auto object = nlohmann::ordered_json::parse(line);
        const std::string model_file = (out / (std::string{stem} + "model.s1p")).string();
        EXPECT_EQ(object["exports"]["written"], nlohmann::ordered_json::array({model_file}));
        EXPECT_EQ(testing::read_bytes(model_file), testing::read_bytes(dir_ / "single.s1p"));
        EXPECT_EQ(testing::read_bytes(out / (std::string{stem} + "r.prt")),
                  testing::read_bytes(dir_ / "single.prt"));
    }
    EXPECT_NE(run.err.find("\rBatch: 2 of 2 files"), std::string::npos) << run.err;
}

// A long run's progress line, once cleared, leaves nothing on a terminal whatever it reached.
TEST(Progress, ClearedLineLeavesNothing) {
    for (const char* label : {"Yield", "Best fit"}) {
        for (const int percent : {0, 7, 42, 100}) {
            SCOPED_TRACE(std::string{label} + " " + std::to_string(percent));
            std::string screen; // what one terminal line shows: a carriage return starts over
            std::size_t at = 0;
            for (const char c : progress_line(label, percent) + progress_cleared(label)) {
                if (c == '\r') {
                    at = 0;
                    continue;
                }
                screen.resize(std::max(screen.size(), at + 1), ' ');
                screen[at++] = c;
            }
            EXPECT_EQ(screen.find_first_not_of(' '), std::string::npos) << screen;
            EXPECT_NE(progress_line(label, percent).find(std::to_string(percent) + " %"),
                      std::string::npos);
        }
    }
}

TEST_F(Batch, RefusesWhatWouldWriteOneFileForMany) {
    for (const Args& extra : {Args{"--report", "x.prt"}, Args{"--touchstone", "y.s1p"},
                              Args{"--s1p=z.s1p"}, Args{"--match", "2", "--match-s2p", "m.s2p"},
                              Args{"--output-dir", "o", "--plot", "p/"}, Args{}}) {
        Args args = {"--batch"};
        if (!extra.empty()) {
            args.push_back(path("a.S1P"));
        }
        args.insert(args.end(), extra.begin(), extra.end());
        SCOPED_TRACE(args.back());
        const testing::CalcRun run = calc_line(args);
        EXPECT_EQ(run.status, exit_usage);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find("--"), std::string::npos);
    }
}

} // namespace
} // namespace veltrane::cli
