// What the front ends show, without a window: stepping along samples, thinning large data, the
// RL scale of a topology, and the eight choices at two points of a measured file.

#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/touchstone.h"
#include "views/evaluation.h"
#include "views/model_exports.h"
#include "views/model_summary.h"
#include "views/rl_scale.h"
#include "views/samples.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace veltrane::views {
namespace {

using veltrane::testing::near_relative;

TEST(Samples, StepMovesToTheNeighbouringSample) {
    const std::vector<double> f = {1, 2, 3, 4};
    struct Case {
        double from;
        int delta;
        double to;
    };
    const Case cases[] = {
        {2, +1, 3}, {2, -1, 1}, {2.5, +1, 3}, {2.5, -1, 2}, // between samples: the neighbour
        {1, -1, 1}, {4, +1, 4}, {0.5, +1, 1}, {5, -1, 4},   // stops at the ends
        {3, +2, 4}, {3, -2, 1},                             // several samples at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.from << " by " << c.delta);
        EXPECT_EQ(step_sample(f, c.from, c.delta), c.to);
    }
    EXPECT_EQ(step_sample({}, 1, 1), std::nullopt);
}

TEST(Samples, ThinnedKeepsEveryNthAndTheLast) {
    rf::PortData data{"d.s1p", 1, 50, {}, {}};
    for (int i = 0; i < 10; ++i) {
        data.f_ghz.push_back(1 + i);
        data.s.emplace_back(0.1 * i, 0);
    }
    const auto drawn = thinned(data, 3); // every fourth: 1, 5, 9, and the last, 10
    ASSERT_TRUE(drawn.has_value());
    EXPECT_EQ(drawn->f_ghz, (std::vector<double>{1, 5, 9, 10}));
    EXPECT_EQ(drawn->s.back(), data.s.back());
    EXPECT_EQ(thinned(data, 10), std::nullopt); // drawn whole
}

// What a chart draws of large data: a narrow dip that every n-th sample steps over stays, with
// the ends, in the samples' order, and a sample that is not finite still breaks the curve.
TEST(Samples, ChartSamplesKeepEachRunsExtremes) {
    rf::PortData data{"d.s1p", 1, 50, {}, {}};
    for (int i = 0; i < 1000; ++i) {
        data.f_ghz.push_back(1 + 0.001 * i);
        data.s.emplace_back(0.5 + 0.0001 * i, 0);
    }
    data.s[503] = {0.01, 0};                    // the dip, one sample wide
    data.s[777] = {std::nan(""), 0};            // no measurement
    const auto drawn = chart_samples(data, 10); // runs of 100 samples
    ASSERT_TRUE(drawn.has_value());
    EXPECT_LE(drawn->f_ghz.size(), 2u * 10 + 2);
    EXPECT_EQ(drawn->f_ghz.front(), data.f_ghz.front());
    EXPECT_EQ(drawn->f_ghz.back(), data.f_ghz.back());
    EXPECT_TRUE(std::adjacent_find(drawn->f_ghz.begin(), drawn->f_ghz.end(),
                                   std::greater_equal<>{}) == drawn->f_ghz.end())
        << "in the samples' order, each once";
    const auto has = [&](int i) {
        return std::find(drawn->f_ghz.begin(), drawn->f_ghz.end(), data.f_ghz[i]) !=
               drawn->f_ghz.end();
    };
    EXPECT_TRUE(has(503)) << "the dip";
    EXPECT_TRUE(has(777)) << "the break";
    EXPECT_TRUE(has(599)) << "the highest of the run with the dip";
    EXPECT_EQ(chart_samples(data, 500), std::nullopt); // drawn whole
}

DataPoint point(double f_ghz, double r, double x) {
    DataPoint p;
    p.f_ghz = f_ghz;
    p.z_ohm = {r, x};
    return p;
}

TEST(RlScale, AcceptedRangeOnALogScale) {
    struct Case {
        const char* name;
        Topology topology;
        DataPoint p1, p2;
        double lo, hi;
        const char* text;
    };
    const Case cases[] = {
        // Parallel/Series: RL from the larger R, widened by 1 + 100^2 above it.
        {"parallel/series", Topology::ParallelSeries, point(1, 30, 20), point(2, 45, -15), 45,
         45 * 10001.0, "RL \u2265 45 \u03a9 for Parallel/Series"},
        // Series/Parallel: RL up to the smaller R (1 + (X/R)^2), 100 here, not R itself.
        {"series/parallel", Topology::SeriesParallel, point(1, 100, 50), point(2, 80, -40),
         100 / 10001.0, 100, "0 < RL \u2264 100 \u03a9 for Series/Parallel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto scale = rl_scale(c.topology, c.p1, c.p2);
        ASSERT_TRUE(scale.has_value());
        EXPECT_PRED_FORMAT3(near_relative, scale->lo_ohm, c.lo, 1e-12);
        EXPECT_PRED_FORMAT3(near_relative, scale->hi_ohm, c.hi, 1e-12);
        EXPECT_EQ(scale->text, c.text);
        const double middle = std::sqrt(c.lo * c.hi);
        EXPECT_PRED_FORMAT3(near_relative, rl_position(*scale, middle), 0.5, 1e-12);
        EXPECT_PRED_FORMAT3(near_relative, rl_at(*scale, 0.25), c.lo * std::pow(c.hi / c.lo, 0.25),
                            1e-12);
        EXPECT_EQ(rl_position(*scale, c.hi * 2), 1.0);
        EXPECT_EQ(rl_position(*scale, c.lo / 2), 0.0);
    }
    EXPECT_EQ(rl_scale(Topology::ParallelSeries, point(1, -1, 0), point(2, 45, 0)), std::nullopt);
}

rf::PortData example() {
    const std::string bytes = veltrane::testing::read_bytes(VELTRANE_EXAMPLES_DIR "/antenna.s1p");
    auto network = std::get<rf::Network>(rf::read_touchstone(bytes, "antenna.s1p"));
    return std::get<rf::PortData>(rf::port_data(network, 1));
}

TEST(Evaluation, EightChoicesOrAMessage) {
    const rf::PortData data = example();
    const Evaluation off = evaluate(data, 0.5, 2.8, 50, 50);
    ASSERT_TRUE(off.message.has_value());
    EXPECT_NE(off.message->find("F1"), std::string::npos) << *off.message;
    EXPECT_TRUE(off.rows.empty());

    const Evaluation on = evaluate(data, 2.2, 2.7, 50, 50);
    ASSERT_FALSE(on.message.has_value());
    ASSERT_EQ(on.rows.size(), rf::all_choices.size());
    int with_results = 0;
    for (std::size_t i = 0; i < on.rows.size(); ++i) {
        EXPECT_EQ(on.rows[i].choice, rf::all_choices[i]);
        const auto* result = std::get_if<Result>(&on.rows[i].outcome);
        with_results += result != nullptr;
        // A band fit only for a model, and then judged over FL..FH of that model.
        EXPECT_EQ(on.rows[i].band_fit.has_value() && result == nullptr, false);
    }
    EXPECT_GT(with_results, 0);
    EXPECT_EQ(on.points[0].f_ghz, 2.2);
    EXPECT_EQ(on.points[1].f_ghz, 2.7);
}

// The starting row: the smallest largest error in the band among the models with four positive
// elements, or among all rows when none is positive (as in the example file). Data swept from a
// model at 50 ohm, started at 50 ohm: the model's own row reproduces it exactly.
TEST(Evaluation, StartChoosesTheModelThatFitsBest) {
    using enum Crossover;
    struct Row {
        const char* name;
        std::optional<rf::LumpedModel> model; // none: the example file
        Choice choice;
        bool reproduced; // the chosen row gives the model's elements
    };
    const Row rows[] = {
        {"positive model reproduced",
         rf::LumpedModel{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 50},
         {Inductive, Capacitive, Topology::ParallelSeries},
         true},
        // The model's own row (Cp -0.9 pF) fits to 1e-15, a positive row only to 0.69: the
        // positive one is chosen.
        {"positive row preferred to a negative one that fits better",
         rf::LumpedModel{Topology::SeriesParallel, 3.1, 1.7, 2.2, -0.9, 50},
         {Inductive, Capacitive, Topology::ParallelSeries},
         false},
        {"no positive row: the best of all",
         std::nullopt,
         {Capacitive, Inductive, Topology::SeriesParallel},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<double> f_ghz;
        for (int i = 0; i <= 60; ++i) {
            f_ghz.push_back(1.5 + 0.025 * i);
        }
        const auto first = start(row.model ? rf::sweep(*row.model, f_ghz, 50.0) : example());
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->choice, row.choice);
        if (row.model) { // at a third and two thirds of the 61 samples: 2 and 2.5 GHz
            EXPECT_NEAR(first->f_ghz[0], 2.0, 1e-12);
            EXPECT_NEAR(first->f_ghz[1], 2.5, 1e-12);
        }
        if (row.reproduced) {
            const auto& chosen =
                std::find_if(first->evaluation.rows.begin(), first->evaluation.rows.end(),
                             [&](const auto& r) { return r.choice == first->choice; })
                    ->outcome;
            const Result& s = std::get<Result>(chosen);
            for (const auto& [got, want] : {std::pair{s.Ls, row.model->ls_nh},
                                            {s.Cs, row.model->cs_pf},
                                            {s.Lp, row.model->lp_nh},
                                            {s.Cp, row.model->cp_pf}}) {
                EXPECT_PRED_FORMAT3(near_relative, got, want, 1e-9);
            }
        }
    }
}

TEST(ModelSummary, LinesOfTheChosenModel) {
    const rf::PortData data = example();
    const Evaluation evaluation = evaluate(data, 2.2, 2.7, 50, 50);
    const Choice chosen{Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries};
    const Summary summary = model_summary({&evaluation, &data, chosen, 50, 50, rf::ESeries::E24});
    ASSERT_TRUE(summary.view.has_value());
    const auto line = [&](SummaryLine::Kind kind, std::size_t nth = 0) {
        for (const SummaryLine& l : summary.lines) {
            if (l.kind == kind && nth-- == 0) {
                return l.text;
            }
        }
        return std::string("(none)");
    };
    using Kind = SummaryLine::Kind;
    // The row it is, and the mark of a model with a warning.
    EXPECT_EQ(line(Kind::Heading), "Row 2, Par/Ser, F1 ind, F2 cap, RL = 50 \u03a9: warning");
    EXPECT_EQ(line(Kind::Warning).substr(0, 9), "Warning: ");
    EXPECT_EQ(line(Kind::Point, 0), "F1 = 2.2 GHz: 30.6829 \u2212 j32.4467 \u03a9, measured");
    EXPECT_EQ(line(Kind::Point, 1), "F2 = 2.7 GHz: 47.3543 + j42.0899 \u03a9, measured");
    // The calculator's own texts with the units of the quantities, Ls first and F0 last.
    EXPECT_EQ(line(Kind::Result, 0), "Ls 17.462 nH");
    EXPECT_EQ(line(Kind::Result, 1), "Cs 0.243 pF (242.6 fF)");
    EXPECT_EQ(line(Kind::Result, 5), "Q2 0.236");
    EXPECT_EQ(line(Kind::Result, 7), "FL 2200.00 MHz (2.2 GHz)");
    EXPECT_EQ(line(Kind::Result, 9), "F0 2575.67 MHz (2.57567 GHz)");
    EXPECT_EQ(line(Kind::Fit, 0),
              "Fit over FL..FH: max |\u0394\u0393| 0.2295 at 3.01 GHz, rms 0.1274, 82 samples");
    EXPECT_EQ(line(Kind::Standard, 0).substr(0, 14), "E24 values: Ls");
    EXPECT_EQ(text(summary.lines).find("\n\n"), text(summary.lines).find("\n\nLs"));

    const Evaluation off = evaluate(data, 0.5, 2.7, 50, 50);
    const Summary none = model_summary({&off, &data, chosen, 50, 50, std::nullopt});
    ASSERT_EQ(none.lines.size(), 1U);
    EXPECT_EQ(none.lines[0].kind, Kind::Message);
    EXPECT_FALSE(none.view.has_value());
}

// The figures after the results: the check and the note always; with data the fits, the range's
// only when a range is given, and each one over the samples it names.
TEST(ModelSummary, FiguresOfACalculatedModel) {
    const rf::PortData data = example();
    const Evaluation evaluation = evaluate(data, 2.2, 2.7, 50, 50);
    const Choice chosen{Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries};
    const Result* result = nullptr;
    for (const ChoiceRow& row : evaluation.rows) {
        if (row.choice == chosen) {
            result = std::get_if<Result>(&row.outcome);
        }
    }
    ASSERT_NE(result, nullptr);
    struct Row {
        const char* name;
        const rf::PortData* data;
        rf::FrequencyRange range;
        bool fits, range_fit;
    };
    const Row rows[] = {
        {"NoData", nullptr, {}, false, false},
        {"WholeFile", &data, {}, true, false},
        {"Range", &data, {2.5, 3.0}, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ModelFigures f = model_figures(*result, chosen.topology, row.data, 50, row.range);
        EXPECT_LT(f.check.max_error_ohm, 1e-9);
        EXPECT_EQ(f.with_data, row.fits);
        EXPECT_EQ(f.all.has_value(), row.fits);
        EXPECT_EQ(f.range.has_value(), row.range_fit);
        if (f.all) {
            EXPECT_EQ(f.all->points, data.f_ghz.size());
        }
        if (f.range) {
            EXPECT_LT(f.range->points, f.all->points);
            EXPECT_GE(f.range->at_ghz, 2.5);
            EXPECT_LE(f.range->at_ghz, 3.0);
            EXPECT_LE(f.range->max, f.all->max);
        }
        if (f.band && row.range_fit) {
            EXPECT_GE(f.band->at_ghz, 2.5); // the band counts only samples in the range
        }
    }
}

// A model export: with a series the files describe the standard model with the calculated one
// beside it, without one the calculated model alone; each kind gives its own file, and a kind
// whose input is missing gives nothing.
TEST(ModelExports, DescribeTheModelTheFrontEndChose) {
    const rf::LumpedModel exact{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    Result calculation;
    calculation.F1 = 2000;
    calculation.F2 = 2500;
    calculation.FL = 2000;
    calculation.FH = 2500;
    calculation.F0 = 2236;
    struct Row {
        const char* name;
        std::optional<rf::ESeries> series;
        ModelExport kind;
        bool with_calculation;
        const char* starts; // the file's first bytes; empty: no file
        const char* holds;  // a part of it
    };
    const Row rows[] = {
        {"TouchstoneExact", std::nullopt, ModelExport::Touchstone, true, "! Veltrane",
         "! Ls = 4.2 nH\n"},
        {"TouchstoneE12", rf::ESeries::E12, ModelExport::Touchstone, true, "! Veltrane",
         "! Ls = 3.9 nH (calculated 4.2"},
        {"Spice", rf::ESeries::E12, ModelExport::Spice, true, "* Veltrane", ".subckt"},
        {"SpiceWithoutCalculation", std::nullopt, ModelExport::Spice, false, "", ""},
        {"PictureWithoutPicture", std::nullopt, ModelExport::Picture, true, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const rf::DescribedModel described = described_model(exact, row.series);
        EXPECT_EQ(described.exact.has_value(), row.series.has_value());
        EXPECT_EQ(described.series, row.series);
        ModelExportInput input{
            described,
            row.with_calculation ? &calculation : nullptr,
            Choice{Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries},
            {1.0, 2.0, 3.0},
            rf::Sweep{1.0, 3.0, 3, false},
            50.0,
            nullptr};
        const std::string bytes = model_export_bytes(row.kind, input);
        EXPECT_TRUE(bytes.starts_with(row.starts)) << bytes.substr(0, 80);
        EXPECT_EQ(bytes.empty(), std::string_view{row.starts}.empty());
        EXPECT_NE(bytes.find(row.holds), std::string::npos) << bytes;
    }
}

} // namespace
} // namespace veltrane::views
