#include "output/report.h"

#include "model/state.h"
#include "output/calculate.h"
#include "output/display.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::read_bytes;
using testing::window;

const std::string overview_report = "               "
                                    "  Veltrane\r\n"
                                    "\r\n"
                                    "        Topology: Shunt; Series perturbation\r\n"
                                    "        Q1 =   1.0\r\n"
                                    "        Q2 =   0.9\r\n"
                                    "        Qbp=   1.3\r\n"
                                    "\r\n"
                                    "        Lower Freq.=   1000.0 MHz\r\n"
                                    "        Upper Freq.=   2068.0 MHz\r\n"
                                    "        Mean  Freq.=   1438.0 MHz\r\n"
                                    "\r\n"
                                    "        R-Load =   2.0 Ohms\r\n"
                                    "\r\n"
                                    "        Lp =   0.2 nH\r\n"
                                    "        Cp =   74.5 pF\r\n"
                                    "        Ls =   0.2 nH\r\n"
                                    "        Cs =   79.7 pF\r\n"
                                    "        ---------------------------------------\r\n";

MemoryFieldSet overview_window() {
    return window({{Field::RL, "2.0"}}, {Option::F1Ind, Option::F2Cap, Option::ParSer});
}

// Each test works in a fresh directory of its own, which is the current directory meanwhile.
class ReportFile : public ::testing::Test {
  protected:
    void SetUp() override { fs::current_path(dir_.path()); }
    void TearDown() override { fs::current_path(previous_); }
    fs::path previous_ = fs::current_path();
    testing::TempDir dir_;
};

TEST_F(ReportFile, OverviewExampleBytes) {
    MemoryFieldSet fields = overview_window();
    FileReport report{fs::path(report_file_name)};
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    EXPECT_EQ(read_bytes("Model.prt"), overview_report);
    // Only the report is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST_F(ReportFile, ReplacesAnEarlierReportCompletely) {
    {
        std::ofstream old("Model.prt", std::ios::binary);
        old << std::string(5000, 'x');
    }
    MemoryFieldSet fields = overview_window();
    FileReport report{fs::path(report_file_name)};
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    EXPECT_EQ(read_bytes("Model.prt"), overview_report);
}

TEST_F(ReportFile, MessageLeavesTheReportAsItWas) {
    const std::string earlier = "an earlier report\r\n";
    {
        std::ofstream old("Model.prt", std::ios::binary);
        old << earlier;
    }
    for (auto fields : {window({}, {}), window({}, {Option::F1Ind, Option::F2Cap, Option::ParSer}),
                        window({{Field::F1, "0"}, {Field::RL, "2"}},
                               {Option::F1Ind, Option::F2Cap, Option::ParSer})}) {
        FileReport report{fs::path(report_file_name)};
        EXPECT_EQ(calculate(fields, report), Outcome::Message);
        EXPECT_EQ(read_bytes("Model.prt"), earlier);
    }
}

TEST_F(ReportFile, MessageWritesNoReportWhereNoneWas) {
    MemoryFieldSet fields =
        window({}, {Option::F1Ind, Option::F2Cap, Option::SerPar, Option::ParSer});
    FileReport report{fs::path(report_file_name)};
    EXPECT_EQ(calculate(fields, report), Outcome::Message);
    EXPECT_FALSE(fs::exists("Model.prt"));
}

TEST_F(ReportFile, ReadOnlyReportIsLeftAloneAndNamed) {
    const std::string earlier = "keep me\r\n";
    {
        std::ofstream old("Model.prt", std::ios::binary);
        old << earlier;
    }
    fs::permissions("Model.prt",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    MemoryFieldSet fields = overview_window();
    FileReport report{fs::path(report_file_name)};
    EXPECT_EQ(calculate(fields, report), Outcome::ReportFailed);
    EXPECT_EQ(fields.text(Field::Message), "Cannot write Model.prt: permission denied");
    EXPECT_TRUE(fields.is_message_visible());
    EXPECT_EQ(fields.text(Field::F0), "1438.04");
    EXPECT_EQ(read_bytes("Model.prt"), earlier);
    EXPECT_FALSE(fs::exists("Model.prt.tmp"));
}

// The reason is the one of the step that failed: opening beside the target, or replacing it.
TEST_F(ReportFile, FailedWriteSaysWhy) {
    struct Case {
        const char* path;
        void (*prepare)();
        const char* message;
    };
#ifdef _WIN32
    // Paths are shown with the system's own separator; Windows has no "not a directory".
    const Case cases[] = {
        {"Model.prt", [] { fs::create_directory("Model.prt"); },
         "Cannot write Model.prt: is a directory"},
        {"missing/Model.prt", [] {}, "Cannot write missing\\Model.prt: no such file or directory"},
        {"plain/Model.prt", [] { testing::write_bytes("plain", "x"); },
         "Cannot write plain\\Model.prt: no such file or directory"},
    };
#else
    const Case cases[] = {
        {"Model.prt", [] { fs::create_directory("Model.prt"); },
         "Cannot write Model.prt: is a directory"},
        {"missing/Model.prt", [] {}, "Cannot write missing/Model.prt: no such file or directory"},
        {"plain/Model.prt", [] { testing::write_bytes("plain", "x"); },
         "Cannot write plain/Model.prt: not a directory"},
    };
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const testing::TempDir dir;
        fs::current_path(dir.path());
        c.prepare();
        const auto entries = [&] {
            return std::distance(fs::recursive_directory_iterator(dir.path()),
                                 fs::recursive_directory_iterator());
        };
        const auto before = entries();
        FileReport report{fs::path(c.path)};
        EXPECT_EQ(report.write("x\r\n"), c.message);
        EXPECT_EQ(entries(), before) << "nothing left behind, nothing removed";
        fs::current_path(dir_.path());
    }
}

TEST(ReportText, SeriesParallelBlockAndSignedValues) {
    State s;
    s.ser_par = {2.46, 2.3456};
    s.par_ser = {7, 8};
    s.Qbp = 0.5;
    s.FL = 0.04;
    s.FH = 999.96;
    s.F0 = 12345.67;
    s.RL = 99.99999999;
    s.Lp = -3.5;
    s.Cp = 12345.67;
    s.Ls = -0.04;
    s.Cs = 1.5915494309189535e19;
    const std::string expected = "                 Veltrane\r\n"
                                 "\r\n"
                                 "        Topology: Series; Shunt perturbation\r\n"
                                 "        Q1 =   2.5\r\n"
                                 "        Q2 =   2.3\r\n"
                                 "        Qbp=   0.5\r\n"
                                 "\r\n"
                                 "        Lower Freq.=   0.0 MHz\r\n"
                                 "        Upper Freq.=   1000.0 MHz\r\n"
                                 "        Mean  Freq.=   12345.7 MHz\r\n"
                                 "\r\n"
                                 "        R-Load =   100.0 Ohms\r\n"
                                 "\r\n"
                                 "        Lp =-   3.5 nH\r\n"
                                 "        Cp =   12345.7 pF\r\n"
                                 "        Ls =   0.0 nH\r\n"
                                 "        Cs =   15915494309189500000.0 pF\r\n"
                                 "        ---------------------------------------\r\n";
    EXPECT_EQ(report_text(result_of(s, Topology::SeriesParallel), Topology::SeriesParallel),
              expected);
}

TEST(ReportText, EighteenPrintableLines) {
    MemoryFieldSet fields = overview_window();
    MemoryReport report;
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    const std::string& bytes = report.bytes();
    std::size_t lines = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            ASSERT_EQ(bytes.at(i + 1), '\n');
            ++lines;
            ++i;
        } else {
            ASSERT_TRUE(bytes[i] >= ' ' && bytes[i] <= '~') << "byte " << i;
        }
    }
    EXPECT_EQ(lines, 18U);
    EXPECT_EQ(bytes.find("Series; Shunt"), std::string::npos);
}

TEST(Display, ClearedStateAndFieldPatterns) {
    MemoryFieldSet fields = window({}, {Option::ParSer});
    clear_results(fields);
    for (Field field : result_fields) {
        EXPECT_EQ(fields.text(field), "     ");
    }
    State s;
    s.FL = 0.5;
    s.FH = 12345.678;
    s.F0 = 2.675;
    s.Qbp = 2.3456;
    s.par_ser = {1.0625, -0.0004};
    s.ser_par = {9, 9};
    s.Ls = 12345.678;
    s.Cs = -3.5;
    s.Lp = -3.5;
    s.Cp = 0;
    display_results(result_of(s, Topology::ParallelSeries), fields);
    const std::pair<Field, const char*> expected[] = {
        {Field::FL, ".50"},       {Field::FH, "12345.68"}, {Field::F0, "2.68"},
        {Field::Q0, "2.346"},     {Field::Q1, "1.063"},    {Field::Q2, "0.000"},
        {Field::Ls, "12345.678"}, {Field::Cs, "-3.500"},   {Field::Lp, "-3.500"},
        {Field::Cp, "0.000"}};
    for (const auto& [field, text] : expected) {
        EXPECT_EQ(fields.text(field), text) << field_name(field);
    }
}

} // namespace
} // namespace veltrane
