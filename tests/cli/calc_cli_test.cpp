#include "cli/calc_cli.h"
#include "cli_test_support.h"

#include "io/path_text.h"
#include "model/field_set.h"
#include "output/calculate.h"
#include "output/report.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace veltrane::cli {
namespace {

namespace fs = std::filesystem;
using veltrane::testing::read_bytes;
using Args = std::vector<std::string>;

// The README's worked example: default texts with RL 2.0, F1 Inductive, F2 Capacitive,
// Parallel/Series.
const Args example = {"--rl",           "2.0",        "--f1-crossover", "inductive",
                      "--f2-crossover", "capacitive", "--topology",     "parallel-series"};

// The example's choices with the default texts (RL 1.0 is below R2).
const Args ind_cap_ps = {"--f1-crossover", "inductive",  "--f2-crossover",
                         "capacitive",     "--topology", "parallel-series"};

const std::string example_lines = "Ls    0.159 nH\n"
                                  "Cs   79.711 pF\n"
                                  "Lp    0.164 nH\n"
                                  "Cp   74.513 pF\n"
                                  "Q1    1.000\n"
                                  "Q2    0.905\n"
                                  "Q0    1.347\n"
                                  "FL  1000.00 MHz\n"
                                  "FH  2067.97 MHz\n"
                                  "F0  1438.04 MHz\n";

const std::vector<std::pair<std::string, std::string>> example_fields = {
    {"Ls_txt", "0.159"},   {"Cs_txt", "79.711"}, {"Lp_txt", "0.164"}, {"Cp_txt", "74.513"},
    {"Q1_txt", "1.000"},   {"Q2_txt", "0.905"},  {"Q0_txt", "1.347"}, {"FL_txt", "1000.00"},
    {"FH_txt", "2067.97"}, {"F0_txt", "1438.04"}};

// Table rows print as their names.
template <typename Case>
requires requires(const Case& row) {
    row.name;
}
void PrintTo(const Case& row, std::ostream* os) {
    *os << row.name;
}

Args with(Args args, const Args& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Makes a fresh empty directory the current directory for the life of the object.
class TempCurrentDir {
  public:
    TempCurrentDir() { fs::current_path(dir_.path()); }
    ~TempCurrentDir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    TempCurrentDir(const TempCurrentDir&) = delete;
    TempCurrentDir& operator=(const TempCurrentDir&) = delete;

    [[nodiscard]] std::vector<fs::path> files() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
            if (entry.is_regular_file()) {
                names.push_back(fs::relative(entry.path(), dir_.path()));
            }
        }
        return names;
    }

  private:
    fs::path previous_ = fs::current_path();
    veltrane::testing::TempDir dir_;
};

using testing::calc;
using testing::CalcRun;

std::vector<std::string> crlf_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start)); // an unterminated rest
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Every test runs in its own empty current directory, so the default report lands there.
class CalcCli : public ::testing::Test {
  protected:
    TempCurrentDir dir_;
};

// ---------------------------------------------------------------------------------------------
// Exit status for each kind of command line.

struct StatusCase {
    const char* name;
    Args args;
    int status;
};

class CalcStatus : public CalcCli, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(CalcStatus, ExitStatusAndStreams) {
    const StatusCase& c = GetParam();
    const CalcRun run = calc(c.args);
    EXPECT_EQ(run.status, c.status);
    switch (c.status) {
    case exit_results:
        EXPECT_FALSE(run.out.empty());
        EXPECT_EQ(run.err, "");
        break;
    case exit_message:
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
        break;
    case exit_usage:
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Usage: veltrane-calc [--f1 TEXT]"), std::string::npos) << run.err;
        break;
    default:
        FAIL() << "unexpected status in the table";
    }
}

const StatusCase status_cases[] = {
    {"Example", example, exit_results},
    {"ExampleNoReport", with(example, {"--no-report"}), exit_results},
    {"ExampleJson", with(example, {"--json", "--report", "r.prt"}), exit_results},
    {"SeriesParallel",
     {"--f1-crossover", "capacitive", "--f2-crossover", "inductive", "--topology",
      "series-parallel", "--rl", "0.5", "--no-report"},
     exit_results},
    {"NoOptions", {}, exit_message},
    {"NoTopology", {"--f1-crossover", "inductive", "--f2-crossover", "capacitive"}, exit_message},
    {"RlBelowR2",
     {"--f1-crossover", "inductive", "--f2-crossover", "capacitive", "--topology",
      "parallel-series"},
     exit_message},
    {"UnknownOption", {"--bogus"}, exit_usage},
    {"UnknownOptionWithJson", {"--json", "--bogus"}, exit_usage},
    {"ShortUnknown", {"-x"}, exit_usage},
    {"StrayPositional", {"1.0"}, exit_usage},
    {"StrayAfterDoubleDash", {"--", "--f1"}, exit_usage},
    {"BadCrossover", {"--f1-crossover", "Inductive"}, exit_usage},
    {"BadCrossoverF2", {"--f2-crossover=ind"}, exit_usage},
    {"BadTopology", {"--topology", "parallel"}, exit_usage},
    {"ReportAndNoReport", {"--report", "a.prt", "--no-report"}, exit_usage},
    {"NoReportAndReport", {"--no-report", "--report=a.prt"}, exit_usage},
    {"MissingValue", {"--x1"}, exit_usage},
    {"MissingChoice", {"--topology"}, exit_usage},
    {"FieldTwice", {"--f1", "1", "--f1", "2"}, exit_usage},
    {"JsonTwice", with(example, {"--json", "--json"}), exit_usage},
    {"NoReportTwice", with(example, {"--no-report", "--no-report"}), exit_usage},
    {"CheckTwice", with(example, {"--check", "--check"}), exit_usage},
    {"SweepTwice", with(example, {"--sweep", "1:2:3", "--sweep", "1:2:3"}), exit_usage},
    {"ReportTwice", with(example, {"--report", "a.prt", "--report=b.prt"}), exit_usage},
    {"ChoiceTwice", with(example, {"--topology", "parallel-series"}), exit_usage},
    {"FlagWithValue", {"--json=yes"}, exit_usage},
    {"FlagWithFalseValue", {"--no-report=false"}, exit_usage},
    {"WindowsStyleOption", {"/rl", "2.0"}, exit_usage},
    {"WindowsStyleAssigned", with(example, {"/x1:", "--no-report"}), exit_usage},
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcStatus, ::testing::ValuesIn(status_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST_F(CalcCli, HelpGoesToStandardOutput) {
    for (const Args& args : {Args{"--help"}, Args{"-h"}, with(example, {"--help"})}) {
        const CalcRun run = calc(args);
        EXPECT_EQ(run.status, exit_results);
        EXPECT_NE(run.out.find("Usage: veltrane-calc [--f1 TEXT]"), std::string::npos);
        EXPECT_NE(run.out.find("--topology parallel-series|series-parallel"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(dir_.files().empty()); // help calculates nothing
}

TEST_F(CalcCli, UsageErrorNamesTheFault) {
    EXPECT_NE(calc({"--bogus"}).err.find("--bogus"), std::string::npos);
    EXPECT_NE(calc({"--topology", "parallel"}).err.find("parallel"), std::string::npos);
    EXPECT_TRUE(dir_.files().empty());
}

// ---------------------------------------------------------------------------------------------
// Output forms on the README's example.

TEST_F(CalcCli, ExampleAsResultLines) {
    const CalcRun run = calc(with(example, {"--no-report"}));
    EXPECT_EQ(run.status, exit_results);
    EXPECT_EQ(run.out, example_lines);
    EXPECT_EQ(run.err, "");
}

TEST_F(CalcCli, ExampleAsJson) {
    const CalcRun run = calc(with(example, {"--json"}));
    ASSERT_EQ(run.status, exit_results);
    EXPECT_EQ(run.err, "");
    const auto object = nlohmann::ordered_json::parse(run.out);

    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"message", "fields", "report"}));
    EXPECT_TRUE(object["message"].is_null());
    EXPECT_EQ(object["report"], "Model.prt");

    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& item : object["fields"].items()) {
        fields.emplace_back(item.key(), item.value().get<std::string>());
    }
    EXPECT_EQ(fields, example_fields);
}

TEST_F(CalcCli, JsonReportKeyFollowsTheReportOptions) {
    EXPECT_TRUE(nlohmann::json::parse(calc(with(example, {"--json", "--no-report"})).out)["report"]
                    .is_null());
    EXPECT_EQ(
        nlohmann::json::parse(calc(with(example, {"--json", "--report", "out.prt"})).out)["report"],
        "out.prt");
}

// A result text wider than the example's moves the whole column: the texts stay right-aligned
// and the widest is two blanks from its name.
TEST_F(CalcCli, ResultColumnFitsTheWidestText) {
    const CalcRun run = calc(with(example, {"--f1", "10", "--f2", "20", "--no-report"}));
    ASSERT_EQ(run.status, exit_results) << run.err;
    std::istringstream lines{run.out};
    std::string line;
    std::vector<std::size_t> text_ends;
    std::size_t fewest_blanks = std::string::npos;
    while (std::getline(lines, line)) {
        const std::size_t text = line.find_first_not_of(' ', 2);
        ASSERT_NE(text, std::string::npos) << line;
        fewest_blanks = std::min(fewest_blanks, text - 2);
        const std::size_t unit = line.find(' ', text);
        text_ends.push_back(unit == std::string::npos ? line.size() : unit);
    }
    ASSERT_EQ(text_ends.size(), 10U);
    EXPECT_EQ(std::count(text_ends.begin(), text_ends.end(), text_ends.front()), 10) << run.out;
    EXPECT_EQ(fewest_blanks, 2U) << run.out;
    EXPECT_GT(text_ends.front(), 11U) << run.out; // wider than the example's column
}

// ---------------------------------------------------------------------------------------------
// Messages.

struct MessageCase {
    const char* name;
    Args args;
    const char* message;
};

class CalcMessage : public CalcCli, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(CalcMessage, TextForm) {
    const MessageCase& c = GetParam();
    const CalcRun run = calc(c.args);
    EXPECT_EQ(run.status, exit_message);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string{c.message} + "\n");
    EXPECT_TRUE(dir_.files().empty()); // no report after a message
}

TEST_P(CalcMessage, JsonForm) {
    const MessageCase& c = GetParam();
    const CalcRun run = calc(with(c.args, {"--json"}));
    EXPECT_EQ(run.status, exit_message);
    EXPECT_EQ(run.err, "");
    const auto object = nlohmann::ordered_json::parse(run.out);
    EXPECT_EQ(object["message"], c.message);
    EXPECT_TRUE(object["report"].is_null());
    ASSERT_EQ(object["fields"].size(), 10U);
    for (const auto& item : object["fields"].items()) {
        EXPECT_EQ(item.value(), "     ") << item.key();
    }
    EXPECT_TRUE(dir_.files().empty());
}

const MessageCase message_cases[] = {
    {"NoChoices", {}, "Please F1 crossover"},
    {"NoF1Crossover",
     {"--f2-crossover", "capacitive", "--topology", "parallel-series"},
     "Please F1 crossover"},
    {"NoF2Crossover", {"--f1-crossover", "capacitive"}, "Please F2 crossover"},
    {"NoTopology",
     {"--f1-crossover", "inductive", "--f2-crossover", "inductive"},
     "Please select topology"},
    {"RlBelowLargerResistance",
     {"--f1-crossover", "inductive", "--f2-crossover", "capacitive", "--topology",
      "parallel-series"},
     "RL must be >   1.1"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcMessage, ::testing::ValuesIn(message_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// ---------------------------------------------------------------------------------------------
// The report file.

void expect_report(const fs::path& path) {
    const std::string bytes = read_bytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    EXPECT_TRUE(bytes.ends_with("\r\n"));
    const auto lines = crlf_lines(bytes);
    EXPECT_EQ(lines.size(), 18U);
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
    }
    EXPECT_NE(bytes.find("Topology: Shunt; Series perturbation"), std::string::npos);
}

TEST_F(CalcCli, DefaultReportIsModelPrtInCurrentDirectory) {
    ASSERT_EQ(calc(example).status, exit_results);
    EXPECT_EQ(dir_.files(), std::vector<fs::path>{"Model.prt"});
    expect_report("Model.prt");
}

TEST_F(CalcCli, ReportOptionWritesThatFileOnly) {
    fs::create_directory("out");
    const CalcRun run = calc(with(example, {"--report", "out/model one.prt"}));
    ASSERT_EQ(run.status, exit_results);
    EXPECT_EQ(run.out, example_lines);
    EXPECT_EQ(dir_.files(), std::vector<fs::path>{"out/model one.prt"});
    expect_report("out/model one.prt");

    // The same calculation gives the same bytes whichever file it goes to.
    ASSERT_EQ(calc(example).status, exit_results);
    EXPECT_EQ(read_bytes("Model.prt"), read_bytes("out/model one.prt"));
}

TEST_F(CalcCli, NoReportWritesNothing) {
    ASSERT_EQ(calc(with(example, {"--no-report"})).status, exit_results);
    ASSERT_EQ(calc(with(example, {"--no-report", "--json"})).status, exit_results);
    EXPECT_TRUE(dir_.files().empty());
}

TEST_F(CalcCli, MessageLeavesEarlierReportAsItWas) {
    {
        std::ofstream old{"Model.prt", std::ios::binary};
        old << "earlier report\r\n";
    }
    ASSERT_EQ(calc(ind_cap_ps).status, exit_message);                      // RL below R2
    ASSERT_EQ(calc({"--f1-crossover", "inductive"}).status, exit_message); // no F2 crossover
    EXPECT_EQ(read_bytes("Model.prt"), "earlier report\r\n");
}

TEST_F(CalcCli, UnwritableReportShowsResultsAndMessage) {
    const CalcRun run = calc(with(example, {"--report", "missing/dir/r.prt"}));
    EXPECT_EQ(run.status, exit_message);
    EXPECT_EQ(run.out, example_lines);
    EXPECT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;

    const CalcRun json = calc(with(example, {"--report", "missing/dir/r.prt", "--json"}));
    EXPECT_EQ(json.status, exit_message);
    EXPECT_EQ(json.err, "");
    const auto object = nlohmann::json::parse(json.out);
    EXPECT_TRUE(object["message"].is_string());
    EXPECT_EQ(object["message"].get<std::string>() + "\n", run.err);
    EXPECT_TRUE(object["report"].is_null());
    EXPECT_EQ(object["fields"]["F0_txt"], "1438.04");
    EXPECT_TRUE(dir_.files().empty());
}

// ---------------------------------------------------------------------------------------------
// Report files as users name them and keep them. The name is UTF-8 on every system; the message
// shows the system's own separators.

#ifdef _WIN32
#define SEP "\\"
#else
#define SEP "/"
#endif

// What is done to the old report before the calculation; undone when the result is dropped.
using Prepare = std::function<std::shared_ptr<void>(const fs::path&)>;

std::shared_ptr<void> make_read_only(const fs::path& report) {
    fs::permissions(report, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    return {nullptr, [report](void*) {
                std::error_code ignored;
                fs::permissions(report, fs::perms::owner_all, ignored);
            }};
}

#ifdef _WIN32
// Another program holds the old report open, letting others read it but not write or delete it.
std::shared_ptr<void> hold_open(const fs::path& report) {
    HANDLE file = CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    return {file, [](HANDLE held) {
                if (held != INVALID_HANDLE_VALUE) {
                    CloseHandle(held);
                }
            }};
}

constexpr DWORD hidden_archive = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;

std::shared_ptr<void> hide(const fs::path& report) {
    EXPECT_TRUE(SetFileAttributesW(report.c_str(), hidden_archive)) << GetLastError();
    return nullptr;
}
#endif

struct ReportFileCase {
    const char* name;
    const char* report;         // the --report word, UTF-8
    const char* old_bytes;      // the file before the calculation, if any
    Prepare prepare;            // done to the old file
    const char* message;        // nullptr when the report is written
    unsigned long attributes{}; // Windows: attributes the new file must have
    bool device = false;        // a device: written into, no file in the folder
};

class CalcReportFile : public CalcCli, public ::testing::WithParamInterface<ReportFileCase> {};

TEST_P(CalcReportFile, WrittenWholeOrOldKept) {
    const ReportFileCase& c = GetParam();
    const fs::path report = path_from_utf8(c.report);
    if (c.old_bytes != nullptr) {
        veltrane::testing::write_bytes(report, c.old_bytes);
    }
    std::shared_ptr<void> undo = c.prepare ? c.prepare(report) : nullptr;
    const CalcRun run = calc(with(example, {"--report", c.report}));
    if (c.message == nullptr) {
        EXPECT_EQ(run.status, exit_results) << run.err;
        if (!c.device) {
            expect_report(report);
        }
    } else {
        EXPECT_EQ(run.status, exit_message);
        EXPECT_EQ(run.err, std::string{c.message} + "\n");
        EXPECT_EQ(veltrane::testing::read_bytes(report), c.old_bytes != nullptr ? c.old_bytes : "");
    }
#ifdef _WIN32
    if (c.attributes != 0) {
        EXPECT_EQ(GetFileAttributesW(report.c_str()) & c.attributes, c.attributes);
    }
#endif
    undo.reset();
    // Nothing beside the report: no temporary file left over.
    const bool exists = !c.device && (c.message == nullptr || c.old_bytes != nullptr);
    EXPECT_EQ(dir_.files(), exists ? std::vector<fs::path>{report} : std::vector<fs::path>{});
}

#ifdef _WIN32
// As long as a name in a folder may be, less a little: the temporary file beside it must fit too.
const std::string long_name = std::string(240, 'L') + ".prt";
#endif

const ReportFileCase report_file_cases[] = {
    {"Accented", "Modèl.prt", nullptr, {}, nullptr},
    {"Cyrillic", "Модель.prt", nullptr, {}, nullptr},
    {"EuroReplaced", "€uro.prt", "old report\r\n", {}, nullptr},
    {"MissingFolder",
     "missing/Модель.prt",
     nullptr,
     {},
     "Cannot write missing" SEP "Модель.prt: no such file or directory"},
    {"ReadOnly", "Modèl.prt", "old report\r\n", make_read_only,
     "Cannot write Modèl.prt: permission denied"},
#ifdef _WIN32
    {"HeldOpenByAnotherProgram", "Model.prt", "old report\r\n", hold_open,
     "Cannot write Model.prt: the file is in use by another program"},
    {"HiddenKept", "Modèl.prt", "old report\r\n", hide, nullptr, hidden_archive},
    {"LongName", long_name.c_str(), nullptr, {}, nullptr},
    {"NulDevice", "NUL", nullptr, {}, nullptr, 0, true},
#endif
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcReportFile, ::testing::ValuesIn(report_file_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// ---------------------------------------------------------------------------------------------
// Field texts go to the window unparsed; choices select buttons.

struct TextCase {
    const char* name;
    Args args;
    std::vector<std::pair<Field, std::string>> texts; // fields that must hold these texts
};

class CalcTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(CalcTexts, ReachTheFieldUnchanged) {
    const TextCase& c = GetParam();
    std::ostringstream out;
    std::ostringstream err;
    auto parsed = parse_calc_args(c.args, out, err);
    ASSERT_TRUE(std::holds_alternative<CalcRequest>(parsed)) << err.str();
    const MemoryFieldSet& fields = std::get<CalcRequest>(parsed).fields;
    for (const Field field : input_fields) {
        std::string expected{default_text(field)};
        for (const auto& [named, text] : c.texts) {
            if (named == field) {
                expected = text;
            }
        }
        EXPECT_EQ(fields.text(field), expected) << field_name(field);
    }
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");
}

const TextCase text_cases[] = {
    {"Defaults", {}, {}},
    {"Unit", {"--f1", "2.5GHz"}, {{Field::F1, "2.5GHz"}}},
    {"Empty", {"--x1", ""}, {{Field::X1, ""}}},
    {"EmptyAssigned", {"--x1=", "--rl", "3"}, {{Field::X1, ""}, {Field::RL, "3"}}},
    {"EmptyThenOption", {"--r2", "", "--x2", "4"}, {{Field::R2, ""}, {Field::X2, "4"}}},
    {"Blanks", {"--r1", " 1 0"}, {{Field::R1, " 1 0"}}},
    {"BlanksAssigned", {"--r1= 1 0 "}, {{Field::R1, " 1 0 "}}},
    {"Negative", {"--x1", "-5"}, {{Field::X1, "-5"}}},
    {"NegativeAssigned", {"--x1=-5"}, {{Field::X1, "-5"}}},
    {"DashLetters", {"--x2", "-abc"}, {{Field::X2, "-abc"}}},
    {"LooksLikeOption",
     {"--f2", "--rl", "--rl", "--f2"},
     {{Field::F2, "--rl"}, {Field::RL, "--f2"}}},
    {"DoubleDash", {"--rl", "--"}, {{Field::RL, "--"}}},
    {"Equals", {"--rl", "a=b", "--f1=x=y"}, {{Field::RL, "a=b"}, {Field::F1, "x=y"}}},
    {"Comma", {"--f2", "1,5"}, {{Field::F2, "1,5"}}},
    {"TabAndNewline", {"--r2", "\t1\n"}, {{Field::R2, "\t1\n"}}},
    {"Hex", {"--rl", "&H1F"}, {{Field::RL, "&H1F"}}},
    {"AllSeven",
     {"--f1", "a", "--r1", "b", "--x1", "c", "--f2", "d", "--r2", "e", "--x2", "f", "--rl", "g"},
     {{Field::F1, "a"},
      {Field::R1, "b"},
      {Field::X1, "c"},
      {Field::F2, "d"},
      {Field::R2, "e"},
      {Field::X2, "f"},
      {Field::RL, "g"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcTexts, ::testing::ValuesIn(text_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

struct ChoiceCase {
    const char* name;
    Args args;
    std::vector<Option> selected;
};

class CalcChoices : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(CalcChoices, SelectOneButtonOfEachNamedGroup) {
    const ChoiceCase& c = GetParam();
    std::ostringstream out;
    std::ostringstream err;
    auto parsed = parse_calc_args(c.args, out, err);
    ASSERT_TRUE(std::holds_alternative<CalcRequest>(parsed)) << err.str();
    const MemoryFieldSet& fields = std::get<CalcRequest>(parsed).fields;
    for (const Option option : {Option::F1Ind, Option::F1Cap, Option::F2Ind, Option::F2Cap,
                                Option::SerPar, Option::ParSer}) {
        const bool expected =
            std::find(c.selected.begin(), c.selected.end(), option) != c.selected.end();
        EXPECT_EQ(fields.is_selected(option), expected) << option_name(option);
    }
}

const ChoiceCase choice_cases[] = {
    {"None", {}, {}},
    {"F1Inductive", {"--f1-crossover", "inductive"}, {Option::F1Ind}},
    {"F1Capacitive", {"--f1-crossover=capacitive"}, {Option::F1Cap}},
    {"F2Inductive", {"--f2-crossover", "inductive"}, {Option::F2Ind}},
    {"F2Capacitive", {"--f2-crossover", "capacitive"}, {Option::F2Cap}},
    {"ParallelSeries", {"--topology", "parallel-series"}, {Option::ParSer}},
    {"SeriesParallel", {"--topology", "series-parallel"}, {Option::SerPar}},
    {"All",
     {"--topology", "series-parallel", "--f2-crossover", "inductive", "--f1-crossover",
      "capacitive"},
     {Option::SerPar, Option::F2Ind, Option::F1Cap}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcChoices, ::testing::ValuesIn(choice_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// The command line and the window give the same fields and message for the same texts and
// choices: the calculation reads the unparsed texts itself.
struct WindowCase {
    const char* name;
    Args args;
    std::vector<std::pair<Field, std::string>> texts;
    std::vector<Option> selected;
};

class CalcLikeWindow : public CalcCli, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(CalcLikeWindow, SameFieldsAndMessage) {
    const WindowCase& c = GetParam();
    MemoryFieldSet window;
    for (const auto& [field, text] : c.texts) {
        window.set_text(field, text);
    }
    for (const Option option : c.selected) {
        window.select(option);
    }
    NoReport no_report;
    const Outcome outcome = calculate(window, no_report);

    const CalcRun run = calc(with(c.args, {"--json", "--no-report"}));
    EXPECT_EQ(run.status, outcome == Outcome::Results ? exit_results : exit_message);
    const auto object = nlohmann::json::parse(run.out);
    for (const Field field : result_fields) {
        EXPECT_EQ(object["fields"][std::string{field_name(field)}], window.text(field))
            << field_name(field);
    }
    if (window.is_message_visible()) {
        EXPECT_EQ(object["message"], window.text(Field::Message));
    } else {
        EXPECT_TRUE(object["message"].is_null());
    }
}

const std::vector<Option> ind_cap_ps_buttons = {Option::F1Ind, Option::F2Cap, Option::ParSer};

const WindowCase window_cases[] = {
    {"UnitSuffix",
     with(ind_cap_ps, {"--rl", "2.0", "--f1", "1.5GHz"}),
     {{Field::RL, "2.0"}, {Field::F1, "1.5GHz"}},
     ind_cap_ps_buttons},
    {"EmptyReactance",
     with(ind_cap_ps, {"--rl", "2", "--x1", ""}),
     {{Field::RL, "2"}, {Field::X1, ""}},
     ind_cap_ps_buttons},
    {"NegativeReactance",
     with(ind_cap_ps, {"--rl", "2", "--x1", "-5"}),
     {{Field::RL, "2"}, {Field::X1, "-5"}},
     ind_cap_ps_buttons},
    {"NegativeAssigned",
     with(ind_cap_ps, {"--rl=2", "--x2=-0.3"}),
     {{Field::RL, "2"}, {Field::X2, "-0.3"}},
     ind_cap_ps_buttons},
    {"BlanksInNumber",
     with(ind_cap_ps, {"--rl", " 1 0"}),
     {{Field::RL, " 1 0"}},
     ind_cap_ps_buttons},
    {"SeriesParallel",
     {"--f1-crossover", "capacitive", "--f2-crossover", "inductive", "--topology",
      "series-parallel", "--rl", "0.5"},
     {{Field::RL, "0.5"}},
     {Option::F1Cap, Option::F2Ind, Option::SerPar}},
    {"EqualFrequencies",
     with(ind_cap_ps, {"--rl", "2", "--f2", "1.0"}),
     {{Field::RL, "2"}, {Field::F2, "1.0"}},
     ind_cap_ps_buttons},
};

INSTANTIATE_TEST_SUITE_P(Cases, CalcLikeWindow, ::testing::ValuesIn(window_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

} // namespace
} // namespace veltrane::cli
