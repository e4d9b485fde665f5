#include "output/calculate.h"

#include "model/checked.h"
#include "model/state.h"
#include "model/steps.h"
#include "output/report.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace veltrane {
namespace {

using testing::near_relative;
using testing::window;

constexpr double pi = std::numbers::pi;

const char* const blank = "     ";

void expect_cleared(const MemoryFieldSet& fields) {
    for (Field field : result_fields) {
        EXPECT_EQ(fields.text(field), blank) << field_name(field);
    }
}

// ---- The whole command, through the fields -------------------------------------------------

TEST(Calculate, OverviewExampleFillsTheTenFields) {
    MemoryFieldSet fields =
        window({{Field::RL, "2.0"}}, {Option::F1Ind, Option::F2Cap, Option::ParSer});
    MemoryReport report;
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    const std::pair<Field, const char*> expected[] = {
        {Field::Ls, "0.159"},   {Field::Cs, "79.711"},  {Field::Lp, "0.164"},
        {Field::Cp, "74.513"},  {Field::Q1, "1.000"},   {Field::Q2, "0.905"},
        {Field::Q0, "1.347"},   {Field::FL, "1000.00"}, {Field::FH, "2067.97"},
        {Field::F0, "1438.04"},
    };
    for (const auto& [field, text] : expected) {
        EXPECT_EQ(fields.text(field), text) << field_name(field);
    }
    EXPECT_FALSE(fields.is_message_visible());
    EXPECT_TRUE(report.written());
}

TEST(Calculate, SeriesParallelExampleFillsTheTenFields) {
    MemoryFieldSet fields = window({{Field::R1, "100"},
                                    {Field::X1, "50"},
                                    {Field::R2, "80"},
                                    {Field::X2, "-40"},
                                    {Field::RL, "50"}},
                                   {Option::F1Cap, Option::F2Ind, Option::SerPar});
    MemoryReport report;
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    const std::pair<Field, const char*> expected[] = {
        {Field::Ls, "8.554"},   {Field::Cs, "1.384"},   {Field::Lp, "5.605"},
        {Field::Cp, "2.324"},   {Field::Q1, "1.225"},   {Field::Q2, "1.000"},
        {Field::Q0, "1.572"},   {Field::FL, "1000.00"}, {Field::FH, "2139.39"},
        {Field::F0, "1462.66"},
    };
    for (const auto& [field, text] : expected) {
        EXPECT_EQ(fields.text(field), text) << field_name(field);
    }
}

struct MessageCase {
    const char* name;
    std::initializer_list<std::pair<Field, std::string>> texts;
    std::initializer_list<Option> options;
    const char* message;
};

class CalculateMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(CalculateMessage, ShowsMessageClearsFieldsWritesNoReport) {
    const MessageCase& c = GetParam();
    MemoryFieldSet fields = window(c.texts, c.options);
    // Results of an earlier calculation must not stay beside the message.
    for (Field field : result_fields) {
        fields.set_text(field, "old");
    }
    MemoryReport report;
    EXPECT_EQ(calculate(fields, report), Outcome::Message);
    EXPECT_TRUE(fields.is_message_visible());
    EXPECT_EQ(fields.text(Field::Message), c.message);
    expect_cleared(fields);
    EXPECT_FALSE(report.written());
}

constexpr auto F1Ind = Option::F1Ind;
constexpr auto F1Cap = Option::F1Cap;
constexpr auto F2Ind = Option::F2Ind;
constexpr auto F2Cap = Option::F2Cap;
constexpr auto ParSer = Option::ParSer;
constexpr auto SerPar = Option::SerPar;

const MessageCase message_cases[] = {
    // Missing choices, in the order they are examined.
    {"NothingChosen", {}, {}, "Please F1 crossover"},
    {"OnlyTopology", {}, {SerPar}, "Please F1 crossover"},
    {"NoF2Crossover", {}, {F1Cap, ParSer}, "Please F2 crossover"},
    {"NoTopology", {}, {F1Ind, F2Ind}, "Please select topology"},
    // Load resistance out of range.
    {"DefaultsParallelSeries", {}, {F1Ind, F2Cap, ParSer}, "RL must be >   1.1"},
    {"JustBelowRmax", {{Field::RL, "1.09"}}, {F1Ind, F2Cap, ParSer}, "RL must be >   1.1"},
    {"AboveParallelLimit",
     {{Field::R1, "100"},
      {Field::X1, "50"},
      {Field::R2, "80"},
      {Field::X2, "-40"},
      {Field::RL, "150"}},
     {F1Cap, F2Ind, SerPar},
     "RL must be <   100.0"},
    {"AboveLimitByNudge",
     {{Field::R1, "100"},
      {Field::X1, "50"},
      {Field::R2, "80"},
      {Field::X2, "-40"},
      {Field::RL, "100.00000001"}},
     {F1Cap, F2Ind, SerPar},
     "RL must be <   100.0"},
    // Unrealisable pair.
    {"SeriesPairOfOppositeSigns",
     {{Field::R1, "100"},
      {Field::X1, "50"},
      {Field::R2, "80"},
      {Field::X2, "-40"},
      {Field::RL, "50"}},
     {F1Ind, F2Ind, SerPar},
     "Please change topology"},
    // Arithmetic faults, each named where it would occur.
    {"F1Zero", {{Field::F1, "0"}, {Field::RL, "2"}}, {F1Ind, F2Cap, ParSer}, "F1 must not be 0"},
    {"EqualFrequencies",
     {{Field::F2, "1"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "F1 and F2 must differ"},
    {"OppositeFrequencies",
     {{Field::F2, "-1.0"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "F1 and F2 must have the same sign"},
    {"R1ZeroParallelSeries",
     {{Field::R1, "0"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "R1 must be positive"},
    {"R2NegativeParallelSeries",
     {{Field::R2, "-1"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "R2 must be positive"},
    {"RLTestSpeaksBeforeR1", {{Field::R1, "0"}}, {F1Ind, F2Cap, ParSer}, "RL must be >   1.1"},
    {"R1ZeroSeriesParallel", {{Field::R1, "0"}}, {F1Ind, F2Cap, SerPar}, "R1 must be positive"},
    {"R2ZeroSeriesParallel", {{Field::R2, ""}}, {F1Ind, F2Cap, SerPar}, "R2 must be positive"},
    {"R1NegativeSeriesParallel",
     {{Field::R1, "-100"},
      {Field::X1, "50"},
      {Field::R2, "80"},
      {Field::X2, "-40"},
      {Field::RL, "50"}},
     {F1Cap, F2Ind, SerPar},
     "R1 must be positive"},
    {"RLZeroSeriesParallel", {{Field::RL, "0"}}, {F1Ind, F2Cap, SerPar}, "RL must be positive"},
    {"RLNegativeSeriesParallel",
     {{Field::RL, "-5"}},
     {F1Ind, F2Cap, SerPar},
     "RL must be positive"},
    {"ParallelPairWithZeroCp",
     {{Field::R1, "1"}, {Field::R2, "2.5"}, {Field::RL, "5"}},
     {F1Cap, F2Cap, ParSer},
     "No resonance: please change inputs"},
    {"TextBeyondDoubleRange", {{Field::R1, "1e400"}}, {F1Ind, F2Cap, ParSer}, "R1 is too large"},
    {"ChoicesSpeakBeforeTooLarge", {{Field::RL, "-1e999"}}, {}, "Please F1 crossover"},
    {"TooLarge", {{Field::RL, "-1e999"}}, {F1Ind, F2Cap, SerPar}, "RL is too large"},
    {"FirstTooLargeNamed",
     {{Field::X2, "1e999"}, {Field::F1, "1e400"}},
     {F1Ind, F2Cap, SerPar},
     "F1 is too large"},
    {"FrequencyOverflowsInMHz", {{Field::F2, "1e306"}}, {F1Ind, F2Cap, ParSer}, "F2 is too large"},
    // The band meets opposite signs after the synthesis let them pass (F2 / F1 = -2).
    {"OppositeFrequenciesReachTheBand",
     {{Field::F2, "-2"}, {Field::RL, "2"}},
     {F1Ind, F2Ind, ParSer},
     "F1 and F2 must have the same sign"},
    // RL a rounding error above R1(1 + (X1/R1)^2): the nudge of 1e-8 is below its last digit.
    {"RLRoundingErrorAboveTheLimit",
     {{Field::R1, "13"},
      {Field::X1, "2e9"},
      {Field::R2, "13"},
      {Field::X2, "-3e9"},
      {Field::RL, "3.076923076923077e17"}},
     {F1Ind, F2Ind, SerPar},
     "Please change RL"},
    {"ElementOverflows",
     {{Field::X1, "1e305"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "Out of range: please change inputs"},
    {"ReactanceOverflows",
     {{Field::X1, "1e308"}, {Field::RL, "2"}},
     {F1Ind, F2Cap, ParSer},
     "Out of range: please change inputs"},
};

INSTANTIATE_TEST_SUITE_P(AllPaths, CalculateMessage, ::testing::ValuesIn(message_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Calculate, SuccessHidesTheEarlierMessageButKeepsItsText) {
    MemoryFieldSet fields = window({{Field::RL, "2.0"}}, {Option::F1Ind, Option::F2Cap});
    MemoryReport report;
    ASSERT_EQ(calculate(fields, report), Outcome::Message);
    fields.select(Option::ParSer);
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    EXPECT_FALSE(fields.is_message_visible());
    EXPECT_EQ(fields.text(Field::Message), "Please select topology");
}

TEST(Calculate, LeavesInputsAndOptionsAlone) {
    // RL equals R1: the solution moves it inside the calculation only.
    MemoryFieldSet fields =
        window({{Field::R2, "1.0"}}, {Option::F1Ind, Option::F2Cap, Option::ParSer});
    const MemoryFieldSet before = fields;
    MemoryReport report;
    ASSERT_EQ(calculate(fields, report), Outcome::Results);
    for (Field field : input_fields) {
        EXPECT_EQ(fields.text(field), before.text(field)) << field_name(field);
    }
    for (std::size_t i = 0; i < option_count; ++i) {
        const auto option = static_cast<Option>(i);
        EXPECT_EQ(fields.is_selected(option), before.is_selected(option)) << option_name(option);
    }
    EXPECT_NE(report.bytes().find("R-Load =   1.0 Ohms"), std::string::npos);
}

TEST(Calculate, SameInputsGiveSameTextsAndReport) {
    MemoryFieldSet fields = window({{Field::R1, "100"},
                                    {Field::X1, "50"},
                                    {Field::R2, "80"},
                                    {Field::X2, "-40"},
                                    {Field::RL, "50"}},
                                   {Option::F1Cap, Option::F2Ind, Option::SerPar});
    MemoryReport first;
    MemoryReport second;
    ASSERT_EQ(calculate(fields, first), Outcome::Results);
    const MemoryFieldSet after_first = fields;
    ASSERT_EQ(calculate(fields, second), Outcome::Results);
    for (Field field : result_fields) {
        EXPECT_EQ(fields.text(field), after_first.text(field));
    }
    EXPECT_EQ(first.bytes(), second.bytes());
}

TEST(Calculate, ReportFailureKeepsResultsAndSaysWhy) {
    MemoryFieldSet fields =
        window({{Field::RL, "2.0"}}, {Option::F1Ind, Option::F2Cap, Option::ParSer});
    FileReport report{"no-such-directory/Model.prt"};
    ASSERT_EQ(calculate(fields, report), Outcome::ReportFailed);
    EXPECT_EQ(fields.text(Field::F0), "1438.04");
    EXPECT_TRUE(fields.is_message_visible());
    // The path as the system writes it.
#ifdef _WIN32
    EXPECT_EQ(fields.text(Field::Message),
              "Cannot write no-such-directory\\Model.prt: no such file or directory");
#else
    EXPECT_EQ(fields.text(Field::Message),
              "Cannot write no-such-directory/Model.prt: no such file or directory");
#endif
}

// ---- The steps, on the calculation state ---------------------------------------------------

State state_with(double F1, double F2, double R1, double X1, double R2, double X2, double RL) {
    State s;
    s.pi = pi;
    s.F1 = F1;
    s.F2 = F2;
    s.R1 = R1;
    s.X1 = X1;
    s.R2 = R2;
    s.X2 = X2;
    s.RL = RL;
    return s;
}

TEST(ParallelSeries, WorkedExample) {
    const MemoryFieldSet fields = window({}, {F1Ind, F2Cap, ParSer});
    State s = state_with(1000, 2000, 1.0, 0.0, 1.1, 0.0, 2.0);
    EXPECT_FALSE(solve_parallel_series(s, choice_of(fields)));
    EXPECT_EQ(s.par_ser.q1, 1.0);
    EXPECT_EQ(s.Bp1, -0.5);
    EXPECT_EQ(s.Xs1, -1.0);
    EXPECT_PRED_FORMAT3(near_relative, s.par_ser.q2, 0.9045340337, 1e-9);
    EXPECT_PRED_FORMAT3(near_relative, s.Bp2, 0.4522670169, 1e-9);
    EXPECT_PRED_FORMAT3(near_relative, s.Xs2, 0.9949874371, 1e-9);
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_PRED_FORMAT3(near_relative, s.Ls, 0.1586231, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.Cs, 79.71066, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.Lp, 0.1643860, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.Cp, 74.51284, 1e-6);
    EXPECT_FALSE(compute_band(s, Resonator::Parallel));
    EXPECT_PRED_FORMAT3(near_relative, s.F0, 1438.044, 1e-6);
    EXPECT_EQ(s.FL, 1000.0);
    EXPECT_PRED_FORMAT3(near_relative, s.FH, 2067.970, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.Qbp, 1.346521, 1e-6);
}

TEST(ParallelSeries, NudgesRLOffMeasuredResistances) {
    const MemoryFieldSet fields = window({}, {F1Ind, F2Cap, ParSer});
    {
        SCOPED_TRACE("RL equal to the larger R2");
        State s = state_with(1000, 2000, 1.0, 0, 1.0 + 0.5, 0, 1.5);
        EXPECT_FALSE(solve_parallel_series(s, choice_of(fields)));
        EXPECT_EQ(s.RL, 1.5 + 1e-8);
        EXPECT_PRED_FORMAT3(near_relative, s.par_ser.q2, std::sqrt(1e-8 / 1.5), 1e-6);
    }
    {
        SCOPED_TRACE("R1 = R2 = RL: one nudge");
        State s = state_with(1000, 2000, 1.0, 0, 1.0, 0, 1.0);
        EXPECT_FALSE(solve_parallel_series(s, choice_of(fields)));
        EXPECT_EQ(s.RL, 1.0 + 1e-8);
        EXPECT_EQ(s.par_ser.q1, s.par_ser.q2);
        EXPECT_PRED_FORMAT3(near_relative, s.par_ser.q1, 1e-4, 1e-6);
    }
    {
        SCOPED_TRACE("second nudge lands on R1: Q1 = 0 and the guarded product");
        const double R2 = 1.0;
        const double R1 = R2 + 1e-8;
        // X1 small enough that X1 - 1e-17 differs from X1 - R1 * Q1 = X1.
        State s = state_with(1000, 2000, R1, 1e-3, R2, 0, R2);
        EXPECT_FALSE(solve_parallel_series(s, choice_of(fields)));
        EXPECT_EQ(s.RL, R1);
        EXPECT_EQ(s.par_ser.q1, 0.0);
        EXPECT_EQ(s.Bp1, 0.0);
        EXPECT_EQ(s.Xs1, 1e-3 - 1e-17);
        EXPECT_NE(s.Xs1, 1e-3);
    }
}

TEST(ParallelSeries, F1CrossoverFlipsOnlyItsOwnSigns) {
    State ind = state_with(1000, 2000, 10, 3, 20, -4, 50);
    State cap = ind;
    EXPECT_FALSE(solve_parallel_series(ind, choice_of(window({}, {F1Ind, F2Cap, ParSer}))));
    EXPECT_FALSE(solve_parallel_series(cap, choice_of(window({}, {F1Cap, F2Cap, ParSer}))));
    EXPECT_EQ(ind.par_ser.q1, cap.par_ser.q1);
    EXPECT_EQ(ind.Bp1, -cap.Bp1);
    EXPECT_EQ(ind.Xs1 - 3, -(cap.Xs1 - 3));
    EXPECT_EQ(ind.Bp2, cap.Bp2);
    EXPECT_EQ(ind.Xs2, cap.Xs2);
}

struct SeriesParallelCase {
    const char* name;
    double RL;
    Option f1, f2;
    double Ls, Cs, Lp, Cp, FL, FH, F0, Qbp;
};

class SeriesParallel : public ::testing::TestWithParam<SeriesParallelCase> {};

TEST_P(SeriesParallel, ExamplePoints) {
    const auto& c = GetParam();
    State s = state_with(1000, 2000, 100, 50, 80, -40, c.RL);
    EXPECT_FALSE(solve_series_parallel(s, choice_of(window({}, {c.f1, c.f2, SerPar}))));
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_FALSE(compute_band(s, Resonator::Series));
    const std::pair<double, double> pairs[] = {{s.Ls, c.Ls}, {s.Cs, c.Cs},  {s.Lp, c.Lp},
                                               {s.Cp, c.Cp}, {s.FL, c.FL},  {s.FH, c.FH},
                                               {s.F0, c.F0}, {s.Qbp, c.Qbp}};
    for (const auto& [actual, expected] : pairs) {
        if (std::isnan(expected)) {
            continue; // not quoted for this case
        }
        EXPECT_PRED_FORMAT3(near_relative, actual, expected, 2e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SeriesParallel,
    ::testing::Values(SeriesParallelCase{"CapInd", 50, F1Cap, F2Ind, 8.553901, 1.384161, 5.604584,
                                         2.323554, 1000, 2139.387691, 1462.664586, 1.57224},
                      SeriesParallelCase{"IndCap", 50, F1Ind, F2Cap, -8.553901, -1.384161,
                                         -14.385008, -0.838108, 1000, 2139.387691, 1462.664586,
                                         1.57224},
                      SeriesParallelCase{"RLOnLimit", 100, F1Cap, F2Ind, 2.652688, 2.387300, NAN,
                                         NAN, 1000, 3999.880005, 1999.970001, 0.333342}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeriesParallel, IntermediateValues) {
    State s = state_with(1000, 2000, 100, 50, 80, -40, 50);
    EXPECT_FALSE(solve_series_parallel(s, choice_of(window({}, {F1Cap, F2Ind, SerPar}))));
    EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q1, 1.224745, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q2, 1.0, 1e-12);
    EXPECT_PRED_FORMAT3(near_relative, s.Xs1, -61.237244, 1e-7);
    EXPECT_PRED_FORMAT3(near_relative, s.Xs2, 50, 1e-12);
    EXPECT_PRED_FORMAT3(near_relative, s.Bp1, -0.013798, 1e-4);
    EXPECT_PRED_FORMAT3(near_relative, s.Bp2, 0.015, 1e-12);
    EXPECT_EQ(s.RL, 50.0);
}

TEST(SeriesParallel, RLOnParallelResistanceIsMovedDown) {
    // R(1 + (X/R)^2) is 125 and 100 for the first row, 8 and 16 for the second.
    struct Case {
        const char* name;
        double R1, X1, R2, X2, RL;
        double q1, q2;
    };
    const Case cases[] = {
        {"on the limit of F2", 100, 50, 80, -40, 100, 0.5, 1e-5},
        {"on the limit of F1", 4, 4, 8, 8, 8, std::sqrt(1.25e-9), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        State s = state_with(1000, 2000, c.R1, c.X1, c.R2, c.X2, c.RL);
        EXPECT_FALSE(solve_series_parallel(s, choice_of(window({}, {F1Cap, F2Ind, SerPar}))));
        EXPECT_EQ(s.RL, c.RL - 1e-8);
        EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q1, c.q1, 1e-3);
        EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q2, c.q2, 1e-3);
    }
}

TEST(SeriesParallel, WindowDefaultsBothInductive) {
    State s = state_with(1000, 2000, 1.0, 0.0, 1.1, 0.0, 1.0);
    EXPECT_FALSE(solve_series_parallel(s, choice_of(window({}, {F1Ind, F2Ind, SerPar}))));
    EXPECT_EQ(s.RL, 1.0 - 1e-8);
    EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q1, 1e-4, 1e-3);
    EXPECT_PRED_FORMAT3(near_relative, s.ser_par.q2, 0.316228, 1e-6);
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_FALSE(compute_band(s, Resonator::Series));
    EXPECT_PRED_FORMAT3(near_relative, s.Ls, 0.033548, 2e-5);
    EXPECT_PRED_FORMAT3(near_relative, s.Cs, 755.415915, 1e-8);
    EXPECT_PRED_FORMAT3(near_relative, s.Lp, 0.83101, 1e-5);
    EXPECT_PRED_FORMAT3(near_relative, s.Cp, 30.497249, 1e-7);
    EXPECT_PRED_FORMAT3(near_relative, s.FL, 499.762792, 1e-8);
    EXPECT_EQ(s.FH, 2000.0);
    EXPECT_PRED_FORMAT3(near_relative, s.F0, 999.762764, 1e-8);
    EXPECT_PRED_FORMAT3(near_relative, s.Qbp, 0.210735, 1e-5);
}

// Reactance and susceptance of known elements by the branch formulas.
State branches_of(double Ls, double Cs, double Lp, double Cp, double F1, double F2) {
    auto X = [&](double f) { return 2 * pi * f * Ls / 1000 - 1e6 / (2 * pi * f * Cs); };
    auto B = [&](double f) { return 2 * pi * f * Cp / 1e6 - 1000 / (2 * pi * f * Lp); };
    State s = state_with(F1, F2, 0, 0, 0, 0, 0);
    s.Xs1 = X(F1);
    s.Xs2 = X(F2);
    s.Bp1 = B(F1);
    s.Bp2 = B(F2);
    return s;
}

TEST(ElementSynthesis, KnownElementsComeBackFromEitherOrder) {
    for (const auto& [F1, F2] : {std::pair{1000.0, 2000.0}, std::pair{2000.0, 1000.0}}) {
        SCOPED_TRACE(F1);
        State s = branches_of(10, 5, 3, 20, F1, F2);
        EXPECT_FALSE(synthesise_elements(s));
        EXPECT_PRED_FORMAT3(near_relative, s.Ls, 10, 1e-9);
        EXPECT_PRED_FORMAT3(near_relative, s.Cs, 5, 1e-9);
        EXPECT_PRED_FORMAT3(near_relative, s.Lp, 3, 1e-9);
        EXPECT_PRED_FORMAT3(near_relative, s.Cp, 20, 1e-9);
    }
}

TEST(ElementSynthesis, QuotedReactancesGiveRoundElements) {
    State s = state_with(1000, 2000, 0, 0, 0, 0, 0);
    s.Xs1 = 31.00086;
    s.Xs2 = 109.74821;
    s.Bp1 = 0.07261206;
    s.Bp2 = 0.22480159;
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_NEAR(s.Ls, 10.000, 5e-4);
    EXPECT_NEAR(s.Cs, 5.000, 5e-4);
    EXPECT_NEAR(s.Lp, 3.000, 5e-4);
    EXPECT_NEAR(s.Cp, 20.000, 5e-4);
}

TEST(ElementSynthesis, ZeroTermsInDenominatorsAreGuarded) {
    State s = state_with(1000, 2000, 0, 0, 0, 0, 0);
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_EQ(s.Ls, 0.0);
    EXPECT_EQ(s.Cp, 0.0);
    EXPECT_EQ(s.Cs, 1e6 / (1e-17 * 2 * pi * 1000));
    EXPECT_EQ(s.Lp, 1000 / (1e-17 * 2 * pi * 1000));
    EXPECT_PRED_FORMAT3(near_relative, s.Cs, 1.5915e19, 1e-4);
    EXPECT_PRED_FORMAT3(near_relative, s.Lp, 1.5915e16, 1e-4);
}

TEST(ElementSynthesis, FallingReactanceGivesNegativeSeriesPair) {
    State s = state_with(1000, 2000, 0, 0, 0, 0, 0);
    s.Xs1 = 50;
    s.Xs2 = 10;
    s.Bp1 = 0.01;
    s.Bp2 = 0.03;
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_PRED_FORMAT3(near_relative, s.Ls, -10 * 1000 / (2 * pi * 1000), 1e-12);
    EXPECT_PRED_FORMAT3(near_relative, s.Cs, 1e6 / (-60 * 2 * pi * 1000), 1e-12);
    EXPECT_NEAR(s.Ls, -1.592, 5e-4);
    EXPECT_NEAR(s.Cs, -2.653, 5e-4);
}

TEST(ElementSynthesis, OnlyExactZerosAreGuarded) {
    State s = state_with(1000, 2000, 0, 0, 0, 0, 0);
    // BL1 = (r*Bp2 - r^2*Bp1)/D with r = 2, D = 3.
    s.Bp2 = 1.5e-300;
    EXPECT_FALSE(synthesise_elements(s));
    EXPECT_PRED_FORMAT3(near_relative, s.Lp, 1000 / (1e-300 * 2 * pi * 1000), 1e-12);
}

struct BandCase {
    const char* name;
    Resonator pair;
    double L, C, F1, F2;
    double FL, FH, F0, Qbp;
};

class Band : public ::testing::TestWithParam<BandCase> {};

TEST_P(Band, ResonanceEdgesAndQ) {
    const auto& c = GetParam();
    State s = state_with(c.F1, c.F2, 0, 0, 0, 0, 50);
    (c.pair == Resonator::Parallel ? s.Lp : s.Ls) = c.L;
    (c.pair == Resonator::Parallel ? s.Cp : s.Cs) = c.C;
    EXPECT_FALSE(compute_band(s, c.pair));
    EXPECT_PRED_FORMAT3(near_relative, s.FL, c.FL, 1e-6);
    EXPECT_PRED_FORMAT3(near_relative, s.FH, c.FH, 1e-7);
    EXPECT_PRED_FORMAT3(near_relative, s.F0, c.F0, 1e-7);
    EXPECT_PRED_FORMAT3(near_relative, s.Qbp, c.Qbp, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Examples, Band,
                         ::testing::Values(BandCase{"SeriesBelowMean", Resonator::Series, 10, 5,
                                                    1000, 2000, 253.3030, 2000, 711.7625, 0.8944},
                                           BandCase{"ParallelBelowMean", Resonator::Parallel, 3, 20,
                                                    1000, 2000, 211.0858, 2000, 649.7473, 4.0825},
                                           BandCase{"SeriesAboveMean", Resonator::Series, 5, 2,
                                                    1000, 2000, 1000, 2533.0296, 1591.5494, 1.0},
                                           BandCase{"ParallelAboveMean", Resonator::Parallel, 5, 2,
                                                    1000, 2000, 1000, 2533.0296, 1591.5494, 1.0},
                                           BandCase{"FrequenciesNotReordered", Resonator::Series, 5,
                                                    2, 2000, 1000, 2000, 1266.5148, 1591.5494, 1.0},
                                           BandCase{"FrequenciesNotReorderedBelow",
                                                    Resonator::Series, 10, 5, 2000, 1000, 506.6059,
                                                    1000, 711.7625, 0.8944},
                                           BandCase{"BothNegative", Resonator::Series, -10, -5,
                                                    1000, 2000, 253.3030, 2000, 711.7625, 0.8944}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Band, OneNegativeElementIsRejected) {
    for (const auto pair : {Resonator::Parallel, Resonator::Series}) {
        State s = state_with(1000, 2000, 0, 0, 0, 0, 50);
        s.Lp = s.Ls = -3;
        s.Cp = s.Cs = 20;
        const StepOutcome stop = compute_band(s, pair);
        ASSERT_TRUE(stop) << "accepted";
        EXPECT_EQ(stop->message(), "Please change topology");
    }
}

} // namespace
} // namespace veltrane
