#include "rf/best_fit.h"
#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_check.h"
#include "rf/response.h"

#include "model/solve.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {
namespace {

using veltrane::testing::near_relative;

constexpr auto inputs = inputs_from_ghz;

std::vector<double> grid_ghz(double lo, double hi, int n) {
    std::vector<double> f;
    for (int i = 0; i < n; ++i) {
        f.push_back(lo + (hi - lo) * i / (n - 1));
    }
    return f;
}

// ---------------------------------------------------------------------------------------------
// The model evaluated at its own two points.

struct CheckCase {
    const char* name;
    Inputs inputs;
    Choice choice;
    bool unreliable;
};

const CheckCase check_cases[] = {
    {"WorkedExample",
     inputs(1, 1, 0, 2, 1.1, 0, 2),
     {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries},
     false},
    {"SeriesParallel",
     inputs(1, 100, 50, 2, 80, -40, 50),
     {Crossover::Capacitive, Crossover::Inductive, Topology::SeriesParallel},
     false},
    {"HighQ",
     inputs(2.4, 12.5, -31.75, 2.5, 48.25, 17.125, 600),
     {Crossover::Capacitive, Crossover::Inductive, Topology::ParallelSeries},
     false},
    {"NearlyEqualFrequencies",
     inputs(1, 1, 0, 1.0000000000000002, 1.1, 0, 2),
     {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries},
     true},
};

class ModelCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ModelCheckTest, MeetsThePointsOrSaysItCannot) {
    const CheckCase& c = GetParam();
    const auto solved = solve(c.inputs, c.choice);
    ASSERT_TRUE(std::holds_alternative<Result>(solved)) << std::get<std::string>(solved);
    const Result& state = std::get<Result>(solved);
    const ModelCheck check = check_model(state, c.choice.topology);
    EXPECT_EQ(check.unreliable, c.unreliable) << check.max_error_ohm;
    EXPECT_TRUE(std::isfinite(check.max_error_ohm));
    if (!c.unreliable) {
        const double scale =
            std::max(std::abs(Complex(state.R1, state.X1)), std::abs(Complex(state.R2, state.X2)));
        EXPECT_LE(check.max_error_ohm, 1e-9 * scale);
        EXPECT_PRED_FORMAT3(near_relative, check.z1.real(), state.R1, 1e-9);
        EXPECT_PRED_FORMAT3(near_relative, check.z2.imag(), state.X2, 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ModelCheckTest, ::testing::ValuesIn(check_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// The note names every negative element; only a model with all four elements above 0 counts as
// positive (the rule the best fit and the choices apply).
TEST(NegativeNote, NamesEveryNegativeElement) {
    struct Case {
        double ls, cs, lp, cp;
        const char* note; // nullptr: no note
        bool positive;
    };
    const Case cases[] = {
        {1, 2, 3, 4, nullptr, true},
        {0, 2, 3, 4, nullptr, false},
        {1, 2, 3, 0, nullptr, false},
        {1, -2, 3, 4, "Cs is negative: no passive part has this value", false},
        {1, 2, 3, -4, "Cp is negative: no passive part has this value", false},
        {1, 2, -3, 4, "Lp is negative: no passive part has this value", false},
        {-1, -2, 3, 4, "Ls and Cs are negative: no passive part has these values", false},
        {1, 2, -3, -4, "Lp and Cp are negative: no passive part has these values", false},
        {-1, 2, -3, -4, "Ls, Lp and Cp are negative: no passive part has these values", false},
        {-1, -2, -3, -4, "Ls, Cs, Lp and Cp are negative: no passive part has these values", false},
    };
    for (const Case& c : cases) {
        Result s;
        s.Ls = c.ls;
        s.Cs = c.cs;
        s.Lp = c.lp;
        s.Cp = c.cp;
        SCOPED_TRACE(c.note ? c.note : "none");
        const auto note = negative_note(s);
        ASSERT_EQ(note.has_value(), c.note != nullptr);
        if (note) {
            EXPECT_EQ(*note, c.note);
        }
        EXPECT_EQ(all_positive(s), c.positive);
    }
}

// ---------------------------------------------------------------------------------------------
// How the model follows data.

const LumpedModel parallel_series_model{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};

TEST(Fit, FindsOneDisturbedSampleInBandAndOverAll) {
    PortData data = sweep(parallel_series_model, grid_ghz(1, 3, 21), 50); // 0.1 GHz steps
    const Complex disturbance(0.03, -0.04);                               // |d| = 0.05
    data.s[7] += disturbance;                                             // 1.7 GHz
    struct Case {
        const char* name;
        double lo_mhz, hi_mhz, z0_ohm;
        std::size_t points;
        double max, at_ghz;
    };
    const Case cases[] = {
        {"AroundTheDisturbance", 1500, 2000, 50, 6, 0.05, 1.7},
        {"EdgesFallingFromF1AboveF2", 2000, 1500, 50, 6, 0.05, 1.7},
        {"EdgesInclusive", 1700, 1700, 50, 1, 0.05, 1.7},
        {"Elsewhere", 2000, 3000, 50, 11, 0.0, 2.0},
        {"OtherReference", 2000, 3000, 75, 11, 0.0, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto stats = fit(parallel_series_model, data, c.z0_ohm, c.lo_mhz, c.hi_mhz);
        ASSERT_TRUE(stats);
        EXPECT_EQ(stats->points, c.points);
        EXPECT_NEAR(stats->max, c.max, 1e-12);
        EXPECT_NEAR(stats->rms, c.max / std::sqrt(static_cast<double>(c.points)), 1e-12);
        if (c.max > 0) {
            EXPECT_EQ(stats->at_ghz, c.at_ghz);
        }
    }
    EXPECT_FALSE(fit(parallel_series_model, data, 50, 3001, 4000));
    const auto all = fit_all(parallel_series_model, data, 50);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->points, 21U);
    EXPECT_NEAR(all->rms, 0.05 / std::sqrt(21.0), 1e-12);
}

// The error loops' real arithmetic against the complex reflection, where the working is plain
// and where a step overflows or underflows.
TEST(ReflectionErrorSquared, IsTheSquaredDistanceOfTheReflections) {
    struct Case {
        const char* name;
        LumpedModel model;
        double f_ghz, z0_ohm;
        Complex gamma;
    };
    const Case cases[] = {
        {"ParallelSeries", parallel_series_model, 2.45, 50, {0.1, -0.2}},
        {"SeriesParallel",
         {Topology::SeriesParallel, 2.0, 3.0, 5.0, 1.2, 40.0},
         1.7,
         75,
         {-0.3, 0.4}},
        {"NegativeElements",
         {Topology::ParallelSeries, -3.0, 2.0, 1.0, -5.0, 20.0},
         0.9,
         50,
         {0.6, 0.1}},
        {"AtZeroHertz", {Topology::SeriesParallel, 2.0, 3.0, 5.0, 1.2, 40.0}, 0.0, 50, {0.5, 0.5}},
        {"LoadConductanceUnderflows",
         {Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 1e200},
         2.0,
         50,
         {0.2, 0.7}},
        {"SeriesReactanceOverflows",
         {Topology::SeriesParallel, 1e306, 3.0, 5.0, 1.2, 40.0},
         1e6,
         50,
         {-0.1, 0.3}},
        {"CapacitorOpensAtLowFrequency", parallel_series_model, 1e-310, 50, {0.9, -0.1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double expected = std::norm(model_reflection(c.model, c.f_ghz, c.z0_ohm) - c.gamma);
        EXPECT_PRED_FORMAT3(near_relative,
                            reflection_error_squared(c.model, c.f_ghz, c.z0_ohm, c.gamma), expected,
                            1e-13);
    }
}

TEST(RlRange, PerTopology) {
    // R (1 + (X/R)^2): 10 (1 + 4) = 50 at the first point, 40 (1 + 0.25) = 50... and 45 below.
    const auto ps = rl_range(Topology::ParallelSeries, 10, 20, 40, -20);
    ASSERT_TRUE(ps);
    EXPECT_EQ(ps->min_ohm, 40.0);
    EXPECT_FALSE(ps->max_ohm);
    const auto sp = rl_range(Topology::SeriesParallel, 10, 20, 40, -10);
    ASSERT_TRUE(sp);
    EXPECT_EQ(sp->max_ohm, 42.5);
    EXPECT_EQ(rl_range(Topology::SeriesParallel, 10, -20, 40, 0)->max_ohm, 40.0);
    EXPECT_FALSE(rl_range(Topology::ParallelSeries, 0, 20, 40, -10));
    EXPECT_FALSE(rl_range(Topology::SeriesParallel, 10, 20, -1, -10));
}

// ---------------------------------------------------------------------------------------------
// The best fit.

struct RecoveryCase {
    const char* name;
    LumpedModel model;
    bool allow_negative;
};

const RecoveryCase recovery_cases[] = {
    {"ParallelSeries", parallel_series_model, false},
    {"SeriesParallel", {Topology::SeriesParallel, 2.0, 3.0, 5.0, 1.2, 40.0}, false},
    {"NegativeCsAllowed", {Topology::ParallelSeries, 3.0, -2.0, 2.0, 3.0, 60.0}, true},
};

class BestFitRecovery : public ::testing::TestWithParam<RecoveryCase> {};

void expect_model(const Candidate& best, const LumpedModel& model, double relative) {
    EXPECT_EQ(best.choice.topology, model.topology);
    EXPECT_PRED_FORMAT3(near_relative, best.state.Ls, model.ls_nh, relative);
    EXPECT_PRED_FORMAT3(near_relative, best.state.Cs, model.cs_pf, relative);
    EXPECT_PRED_FORMAT3(near_relative, best.state.Lp, model.lp_nh, relative);
    EXPECT_PRED_FORMAT3(near_relative, best.state.Cp, model.cp_pf, relative);
}

TEST_P(BestFitRecovery, WithRlGiven) {
    const RecoveryCase& c = GetParam();
    const PortData data = sweep(c.model, grid_ghz(1, 3, 31), 50);
    const auto result =
        best_fit(data, {50, std::nullopt, std::nullopt, c.model.rl_ohm, c.allow_negative});
    ASSERT_TRUE(std::holds_alternative<BestFit>(result)) << std::get<std::string>(result);
    const BestFit& fit = std::get<BestFit>(result);
    ASSERT_EQ(fit.best.size(), best_fit_kept);
    EXPECT_TRUE(fit.positive_found);
    expect_model(fit.best.front(), c.model, 1e-9);
    EXPECT_LT(fit.best.front().max_error, 1e-12);
    for (std::size_t i = 1; i < fit.best.size(); ++i) {
        EXPECT_LE(fit.best[i - 1].max_error, fit.best[i].max_error);
    }
}

TEST_P(BestFitRecovery, WithRlSearched) {
    const RecoveryCase& c = GetParam();
    const PortData data = sweep(c.model, grid_ghz(1, 3, 21), 50);
    const auto result =
        best_fit(data, {50, std::nullopt, std::nullopt, std::nullopt, c.allow_negative});
    ASSERT_TRUE(std::holds_alternative<BestFit>(result)) << std::get<std::string>(result);
    const Candidate& best = std::get<BestFit>(result).best.front();
    EXPECT_PRED_FORMAT3(near_relative, best.rl_ohm, c.model.rl_ohm, 1e-4);
    expect_model(best, c.model, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Cases, BestFitRecovery, ::testing::ValuesIn(recovery_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// The pruned search finds what evaluating every sample of every candidate finds.
TEST(BestFit, AgreesWithExhaustiveSearchOnRippledData) {
    PortData data = sweep(parallel_series_model, grid_ghz(1.5, 3.5, 17), 50);
    for (std::size_t i = 0; i < data.s.size(); ++i) {
        const double f = data.f_ghz[i];
        data.s[i] += 0.03 * Complex(std::cos(37 * f), std::sin(37 * f)) * std::sin(3.1 * f);
    }
    const BestFitOptions options{50, 2.0, 3.2, 62.0, false};
    double exhaustive = std::numeric_limits<double>::infinity();
    for (std::size_t a = 0; a < data.f_ghz.size(); ++a) {
        for (std::size_t b = a + 1; b < data.f_ghz.size(); ++b) {
            const double fa = data.f_ghz[a], fb = data.f_ghz[b];
            if (fa < 2.0 || fb > 3.2) {
                continue;
            }
            const Complex za = impedance_from_reflection(data.s[a], 50);
            const Complex zb = impedance_from_reflection(data.s[b], 50);
            for (const Choice& choice : all_choices) {
                const auto solved =
                    solve(inputs(fa, za.real(), za.imag(), fb, zb.real(), zb.imag(), 62.0), choice);
                const Result* s = std::get_if<Result>(&solved);
                if (s == nullptr || !(s->Ls > 0 && s->Cs > 0 && s->Lp > 0 && s->Cp > 0)) {
                    continue;
                }
                const auto stats =
                    fit(LumpedModel::from(*s, choice.topology), data, 50, 2000, 3200);
                exhaustive = std::min(exhaustive, stats->max);
            }
        }
    }
    const auto result = best_fit(data, options);
    ASSERT_TRUE(std::holds_alternative<BestFit>(result));
    EXPECT_EQ(std::get<BestFit>(result).best.front().max_error, exhaustive);
}

TEST(BestFit, OnlyNegativeModelsAreShownMarked) {
    const LumpedModel negative{Topology::ParallelSeries, -3.0, -2.0, -2.0, -3.0, 60.0};
    // Two samples: every choice that gives a model at all gives one with negative elements.
    const PortData data = sweep(negative, {1.0, 1.5}, 50);
    const auto result = best_fit(data, {50, std::nullopt, std::nullopt, 60.0, false});
    ASSERT_TRUE(std::holds_alternative<BestFit>(result));
    const BestFit& fit = std::get<BestFit>(result);
    EXPECT_FALSE(fit.positive_found);
    ASSERT_FALSE(fit.best.empty());
    for (const Candidate& c : fit.best) {
        EXPECT_FALSE(c.positive);
    }
    const auto allowed = best_fit(data, {50, std::nullopt, std::nullopt, 60.0, true});
    ASSERT_TRUE(std::holds_alternative<BestFit>(allowed));
    EXPECT_TRUE(std::get<BestFit>(allowed).positive_found);
}

TEST(BestFit, NeedsTwoSamplesInTheRange) {
    const PortData data = sweep(parallel_series_model, grid_ghz(1, 3, 11), 50);
    EXPECT_TRUE(std::holds_alternative<std::string>(
        best_fit(data, {50, 1.95, 2.15, 62.0, false}))); // only 2.0 and 2.0999...
    EXPECT_TRUE(std::holds_alternative<BestFit>(best_fit(data, {50, 1.95, 2.25, 62.0, false})));
}

// The progress a window shows: rising shares ending at 1 for a search run through; a stop at
// any call ends the search with its message, and the calls stop there.
TEST(BestFit, ReportsProgressAndStops) {
    const PortData data = sweep(parallel_series_model, grid_ghz(1, 3, 9), 50);
    const BestFitOptions options{50, std::nullopt, std::nullopt, 62.0, false};
    // Told at the start, every poll of the pool while the pairs run, and at the end.
    for (const int stop_at : {-1, 0, 1}) {
        SCOPED_TRACE(stop_at);
        std::vector<double> shares;
        const auto result = best_fit(data, options, [&](double done) {
            shares.push_back(done);
            return static_cast<int>(shares.size()) - 1 != stop_at;
        });
        for (std::size_t i = 1; i < shares.size(); ++i) {
            EXPECT_LT(shares[i - 1], shares[i]);
        }
        if (stop_at < 0) {
            EXPECT_TRUE(std::holds_alternative<BestFit>(result));
            ASSERT_GE(shares.size(), 2u);
            EXPECT_EQ(shares.front(), 0.0);
            EXPECT_EQ(shares.back(), 1.0);
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(result));
            EXPECT_EQ(std::get<std::string>(result), best_fit_stopped);
            EXPECT_EQ(shares.size(), static_cast<std::size_t>(stop_at) + 1);
        }
    }
}

} // namespace
} // namespace veltrane::rf
