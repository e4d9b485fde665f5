// The Match panel's logic without Qt: the model's band, the load in the band, dragging the band's
// edges, the rows against the bound, the yield's runs and histogram, the overlay on the charts.

#include "views/match_json.h"
#include "views/match_run.h"
#include "views/match_view.h"

#include "rf/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

using namespace veltrane;
using namespace veltrane::views;

namespace {

rf::PortData samples(std::vector<double> f, std::vector<rf::Complex> s) {
    rf::PortData data;
    data.reference_ohm = 50;
    data.f_ghz = std::move(f);
    data.s = std::move(s);
    return data;
}

TEST(ModelBandTest, EdgesInGigahertzLowFirstOrNone) {
    struct Row {
        double fl_mhz, fh_mhz;
        std::optional<std::pair<double, double>> band;
    };
    const Row rows[] = {
        {295, 405, std::pair{0.295, 0.405}},
        {405, 295, std::pair{0.295, 0.405}}, // the calculation may give them either way
        {-300, -400, std::pair{0.3, 0.4}},   // negative frequencies as magnitudes
        {0, 400, std::nullopt},              // no lower edge
        {400, 400, std::nullopt},            // no width
        {300, HUGE_VAL, std::nullopt},       // not finite
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fl_mhz);
        Result state;
        state.FL = row.fl_mhz;
        state.FH = row.fh_mhz;
        const auto band = model_band(state);
        ASSERT_EQ(band.has_value(), row.band.has_value());
        if (band) {
            EXPECT_DOUBLE_EQ(band->fl_ghz, row.band->first);
            EXPECT_DOUBLE_EQ(band->fh_ghz, row.band->second);
        }
    }
}

TEST(BandLoadTest, SamplesInTheBandWithFiniteImpedance) {
    // 1..6 GHz; at 4 GHz an open (reflection 1: no finite impedance).
    const rf::PortData data =
        samples({1, 2, 3, 4, 5, 6}, {{0, 0}, {0.2, 0}, {0, 0.5}, {1, 0}, {-0.2, 0}, {0, 0}});
    const match::Load load = band_load(data, 2, 5);
    EXPECT_EQ(load.f_ghz, (std::vector<double>{2, 3, 5}));
    ASSERT_EQ(load.z_ohm.size(), 3u);
    EXPECT_NEAR(load.z_ohm[0].real(), 75, 1e-9); // 50 (1 + 0.2) / (1 - 0.2)
    EXPECT_NEAR(load.z_ohm[1].imag(), 40, 1e-9); // 50 * 2 * 0.5 / 1.25
    EXPECT_NEAR(load.z_ohm[2].real(), 50 * 0.8 / 1.2, 1e-9);

    struct Row {
        double fl, fh;
        bool fine;
    };
    const Row rows[] = {
        {1, 6, true},    // the whole span
        {2, 5, true},    // three finite samples
        {0.5, 3, false}, // below the data
        {2, 6.5, false}, // above the data
        {2, 4.5, false}, // two finite samples only
        {3, 2, false},   // upside down
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fl);
        EXPECT_EQ(!band_problem(data, {row.fl, row.fh}).has_value(), row.fine);
    }
}

// The band a window takes on opening data: the user's while inside the data, else the model's cut
// to the data, else the middle third; and the limits worked out ahead are those of that band.
TEST(MatchLoadTest, OpeningBandAndItsLimits) {
    const rf::PortData data =
        samples({1, 2, 3, 4, 5, 6, 7}, std::vector<rf::Complex>(7, {0.3, 0.2}));
    struct Row {
        const char* name;
        std::optional<match::Band> user, model;
        match::Band band;
    };
    const Row rows[] = {
        {"the user's", match::Band{2, 4}, match::Band{4, 6}, {2, 4}},
        {"the user's outside: the model's", match::Band{0.5, 3}, match::Band{4, 6}, {4, 6}},
        {"the model's cut to the data", std::nullopt, match::Band{3, 9}, {3, 7}},
        {"the model's outside: the middle", std::nullopt, match::Band{8, 9}, {3, 5}},
        {"no model: the middle", std::nullopt, std::nullopt, {3, 5}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(opening_band(data, row.user, row.model), row.band);
        const auto ahead = limits_ahead(data, {row.user, 60}, std::nullopt, row.model);
        ASSERT_TRUE(ahead.has_value());
        EXPECT_TRUE(ahead->made_for(row.band, 60, std::nullopt));
        EXPECT_FALSE(ahead->made_for(row.band, 50, std::nullopt));
        EXPECT_EQ(ahead->load.f_ghz, band_load(data, row.band.fl_ghz, row.band.fh_ghz).f_ghz);
        const MatchLimits direct = match_limits({&data, std::nullopt, std::nullopt}, row.band, 60);
        EXPECT_EQ(ahead->limits.bound.has_value(), direct.bound.has_value());
    }
    EXPECT_FALSE(limits_ahead(data, {match::Band{6.5, 7}, 50}, std::nullopt, std::nullopt))
        << "one sample in the band";
}

rf::ChartFrame plot_frame() {
    rf::ChartFrame frame;
    frame.plot_area = {600, 100, 400, 300};
    frame.f_lo_ghz = 1;
    frame.f_hi_ghz = 5; // 100 units a gigahertz
    frame.db_lo = 0;
    frame.db_hi = 30;
    return frame;
}

TEST(BandEdgeTest, TheNearerEdgeWithinReachOnThePlot) {
    const match::Band band{2, 3}; // x 700 and 800
    struct Row {
        rf::Point p;
        std::optional<BandEdge> edge;
    };
    const Row rows[] = {
        {{703, 250}, BandEdge::Low},  {{696, 120}, BandEdge::Low}, {{798, 390}, BandEdge::High},
        {{806, 250}, BandEdge::High}, {{750, 250}, std::nullopt}, // between them, beyond reach
        {{700, 60}, std::nullopt},                                // above the plot
        {{700, 460}, std::nullopt},                               // below it
        {{300, 250}, std::nullopt},                               // on the Smith chart's side
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.p.x);
        SCOPED_TRACE(row.p.y);
        EXPECT_EQ(band_edge_at(plot_frame(), band, row.p, 8), row.edge);
    }
    // Both edges at one place: a point right of it takes the high edge, left the low one.
    EXPECT_EQ(band_edge_at(plot_frame(), {2, 2}, {702, 200}, 8), BandEdge::High);
    EXPECT_EQ(band_edge_at(plot_frame(), {2, 2}, {698, 200}, 8), BandEdge::Low);
}

TEST(MovedBandTest, EdgesStayOrderedInsideTheData) {
    struct Row {
        BandEdge edge;
        double f;
        double fl, fh;
    };
    // The band 2..3 in data 1..5, at least 0.1 wide.
    const Row rows[] = {
        {BandEdge::Low, 2.5, 2.5, 3}, {BandEdge::Low, 0.2, 1, 3}, {BandEdge::Low, 3.5, 2.9, 3},
        {BandEdge::High, 4, 2, 4},    {BandEdge::High, 9, 2, 5},  {BandEdge::High, 1.5, 2, 2.1},
        {BandEdge::Low, NAN, 2, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.f);
        const match::Band moved = moved_band({2, 3}, row.edge, row.f, 1, 5, 0.1);
        EXPECT_DOUBLE_EQ(moved.fl_ghz, row.fl);
        EXPECT_DOUBLE_EQ(moved.fh_ghz, row.fh);
    }
}

// The counts, the share and the range; each bar drawn in the target's colour when its centre
// reaches the target (the bars after the background, left to right).
TEST(HistogramTest, CountsShareAndRange) {
    struct Row {
        std::vector<double> runs;
        double target;
        int bins;
        std::vector<long> counts;
        double share;
        std::vector<bool> bar_meets;
    };
    const Row rows[] = {
        {{1, 2, 3, 4}, 2.5, 3, {1, 1, 2}, 0.5, {false, true, true}}, // the highest run in the last
                                                                     // bin
        {{4, 3, 2, 1}, 1, 2, {2, 2}, 1.0, {true, true}}, // order does not matter; the lowest meets
                                                         // too
        {{5, 5, 5}, 6, 4, {3, 0, 0, 0}, 0.0, {false, false, false, false}}, // all the same: one bin
        {{8.1, 7.9, 8.0}, 8.0, 2, {1, 2}, 2.0 / 3, {false, true}},    // a run exactly at the target
                                                                      // meets it
        {{1, 2, 3, 4}, 1.8, 3, {1, 1, 2}, 0.75, {false, true, true}}, // the first bar's centre 1.5
                                                                      // is short
    };
    const rf::Colour target_green{0, 120, 60};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.runs.front());
        const Histogram h = histogram(row.runs, row.target, row.bins);
        EXPECT_EQ(h.counts, row.counts);
        EXPECT_DOUBLE_EQ(h.share, row.share);
        EXPECT_EQ(h.runs, static_cast<long>(row.runs.size()));
        EXPECT_LT(h.lo_db, h.hi_db);
        std::vector<rf::Colour> colours;
        for (const rf::Operation& op : histogram_picture(h, 300, 120).operations) {
            if (const auto* bar = std::get_if<rf::FilledRect>(&op)) {
                colours.push_back(bar->fill);
            }
        }
        ASSERT_EQ(colours.size(), row.counts.size() + 1);
        for (std::size_t k = 0; k < row.bar_meets.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(colours[k + 1] == target_green, row.bar_meets[k]);
        }
    }
    EXPECT_EQ(histogram({}, 3, 5).runs, 0);
}

// The histogram's runs are the library's yield runs: the same share and spread.
TEST(YieldRunsTest, AgreesWithTheLibrarysYield) {
    match::Load load;
    for (int i = 0; i <= 20; ++i) {
        const double f = 0.295 + 0.11 * i / 20;
        load.f_ghz.push_back(f);
        load.z_ohm.push_back({40, 2 * std::numbers::pi * f * 120});
    }
    const match::Ladder ladder = {{match::Position::Series, match::Kind::C, 1.0},
                                  {match::Position::Shunt, match::Kind::C, 2.5}};
    struct Row {
        double tolerance;
        long runs;
        double target;
    };
    const Row rows[] = {{2, 200, 3.0}, {10, 101, 2.5}, {0, 5, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tolerance);
        std::vector<double> runs = match::yield_runs(ladder, load, 50, {}, row.tolerance, row.runs);
        const match::YieldFigures figures =
            match::network_yield(ladder, load, 50, {}, row.tolerance, row.runs, row.target);
        ASSERT_EQ(static_cast<long>(runs.size()), row.runs);
        EXPECT_DOUBLE_EQ(histogram(runs, row.target, 10).share, figures.share);
        std::sort(runs.begin(), runs.end());
        EXPECT_DOUBLE_EQ(runs.front(), figures.min_rl_db);
        EXPECT_DOUBLE_EQ(runs.back(), figures.max_rl_db);
    }
}

TEST(SizeRowTest, GapIsTheBoundsGainLessTheNetworks) {
    match::Design design{{{match::Position::Series, match::Kind::L, 64.77}},
                         {0.39, 8.18, 0.3, -0.72}};
    struct Row {
        std::optional<match::Limit> bound;
        std::optional<double> gap;
        const char* text;
    };
    const Row rows[] = {
        {match::Limit{0.22, 13.16, -0.216}, -0.216 + 0.72,
         "1   |\u0393| 0.39   RL 8.18 dB   gain \u22120.72 dB   gap 0.504 dB"},
        {std::nullopt, std::nullopt, "1   |\u0393| 0.39   RL 8.18 dB   gain \u22120.72 dB"},
    };
    for (const Row& row : rows) {
        const SizeRow r = size_row(design, row.bound);
        ASSERT_EQ(r.gap_db.has_value(), row.gap.has_value());
        if (r.gap_db) {
            EXPECT_NEAR(*r.gap_db, *row.gap, 1e-12);
        }
        EXPECT_EQ(size_row_text(r), row.text);
        EXPECT_EQ(r.ladder, "series L 64.77 nH");
    }
}

TEST(MatchedCurveTest, ReflectionOfTheMatchedInput) {
    // 25 ohm + j25 at 1 GHz: a shunt... checked against hand-worked networks.
    match::Load load{{1.0}, {{25, 0}}};
    struct Row {
        match::Ladder ladder;
        double z0;
        rf::Complex g;
    };
    // A series 25 ohm reactance at 1 GHz: L = 25 / (2 pi) nH.
    const double l = 25 / (2 * std::numbers::pi);
    const Row rows[] = {
        {{}, 50, {-1.0 / 3, 0}},
        {{}, 25, {0, 0}},
        {{{match::Position::Series, match::Kind::L, l}},
         50,
         rf::Complex(-25, 25) / rf::Complex(75, 25)},
        {{{match::Position::Series, match::Kind::L, l}},
         25,
         rf::Complex(0, 25) / rf::Complex(50, 25)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.z0);
        const auto g = matched_curve(row.ladder, {}, load, row.z0);
        ASSERT_EQ(g.size(), 1u);
        EXPECT_NEAR(g[0].real(), row.g.real(), 1e-12);
        EXPECT_NEAR(g[0].imag(), row.g.imag(), 1e-12);
    }
}

TEST(MatchOverlayTest, BandUnderTheCurvesBoundAtItsReturnLoss) {
    rf::PortData data =
        samples({1, 2, 3, 4, 5}, {{0.5, 0}, {0.4, 0.1}, {0.3, 0.2}, {0.2, 0.3}, {0.1, 0.4}});
    rf::PlotInput input;
    input.f_ghz = data.f_ghz;
    input.data = &data;
    input.draw_model = false;
    rf::Picture picture = rf::model_picture(input);
    const std::size_t before = picture.operations.size();
    MatchOverlay overlay;
    overlay.band = {2, 4};
    overlay.bound = match::Limit{0.1, 20, -0.04};
    overlay.f_ghz = {2, 3, 4};
    overlay.matched = {{0.05, 0}, {0, 0.02}, {-0.1, 0}};
    add_match_overlay(picture, overlay);
    ASSERT_GT(picture.operations.size(), before);
    const rf::ChartFrame& frame = picture.frame;
    std::optional<std::size_t> shade, data_curve;
    bool bound_line = false;
    int matched_curves = 0;
    for (std::size_t i = 0; i < picture.operations.size(); ++i) {
        const rf::Operation& op = picture.operations[i];
        if (const auto* rect = std::get_if<rf::FilledRect>(&op);
            rect && rect->fill == rf::Colour{222, 240, 226}) {
            shade = i;
            EXPECT_DOUBLE_EQ(rect->rect.x, rf::plot_x(frame, 2));
            EXPECT_DOUBLE_EQ(rect->rect.x + rect->rect.width, rf::plot_x(frame, 4));
        } else if (const auto* line = std::get_if<rf::Polyline>(&op)) {
            if (line->pen.colour == rf::Colour{170, 0, 0}) {
                data_curve = i; // the last: on the plot
            }
            if (line->pen.colour == rf::Colour{0, 120, 60}) {
                ++matched_curves;
                EXPECT_EQ(line->points.size(), 3u);
            }
        } else if (const auto* l = std::get_if<rf::Line>(&op);
                   l && l->pen.dash == rf::Dash::Dotted && l->from.y == l->to.y) {
            bound_line = true;
            EXPECT_DOUBLE_EQ(l->from.y, rf::plot_y(frame, 20));
            EXPECT_DOUBLE_EQ(l->from.x, rf::plot_x(frame, 2));
            EXPECT_DOUBLE_EQ(l->to.x, rf::plot_x(frame, 4));
        }
    }
    ASSERT_TRUE(shade && data_curve);
    EXPECT_LT(*shade, *data_curve) << "the band is shaded over the data";
    EXPECT_EQ(matched_curves, 2); // on the chart and on the plot
    EXPECT_TRUE(bound_line);
}

TEST(MatchTextTest, NamesTheBoundTheChosenSizeAndTheYield) {
    MatchReport report;
    report.band = {0.295, 0.405};
    report.source_ohm = 50;
    report.bound = match::Limit{0.2198, 13.16, -0.2143};
    report.section = match::Section{match::SectionKind::SeriesRL, 40, 120, 0, 0.0012};
    report.networks = {
        {{{match::Position::Series, match::Kind::C, 1.77}}, {0.68, 3.32, 0.295, -2.72}},
        {{{match::Position::Shunt, match::Kind::C, 1.6},
          {match::Position::Series, match::Kind::C, 1.82}},
         {0.67, 3.4, 0.405, -2.65}},
        {{{match::Position::Shunt, match::Kind::C, 1.6},
          {match::Position::Series, match::Kind::C, 1.82}},
         {0.67, 3.4, 0.405, -2.65}}};
    report.no_better_than = {std::nullopt, std::nullopt, 2};
    report.chosen = 1;
    report.yield = match::YieldFigures{2, 1000, 7.7, 0.845, 6.4, 8.4, 9.7};
    const std::string text = match_text(report);
    for (const char* part :
         {"band 0.295 to 0.405 GHz",
          "Bode-Fano bound of a series-RL section fitted to the data (R 40 ohm, L 120 nH; within "
          "|\u0393| 0.0012): |\u0393| >= 0.2198",
          "\n* 2   |\u0393| 0.67", "\n  1   |\u0393| 0.68", "\n  3: no better than 2\n",
          "84.5 % reach 7.7 dB"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
}

// Lines and stubs in JSON: their kind, impedance and length at their frequency, no "value";
// lumped parts as before. The text's ladder names them with their impedance.
TEST(MatchJsonTest, LinesAndStubsByImpedanceAndLength) {
    MatchReport report;
    report.band = {1, 3};
    report.networks = {{{{match::Position::Series, match::Kind::Line, 37.5, -1, 70, 2},
                         {match::Position::Shunt, match::Kind::OpenStub, 45, -1, 50, 2},
                         {match::Position::Shunt, match::Kind::ShortStub, 30, -1, 60, 2},
                         {match::Position::Series, match::Kind::L, 1.5}},
                        {0.1, 20, 2, -0.04}}};
    const auto elements = match_json(report)["networks"][0]["elements"];
    ASSERT_EQ(elements.size(), 4U);
    const char* kinds[] = {"line", "open-stub", "short-stub"};
    const double z0[] = {70, 50, 60};
    const double degrees[] = {37.5, 45, 30};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(elements[k]["kind"], kinds[k]);
        EXPECT_EQ(elements[k]["z0_ohm"], z0[k]);
        EXPECT_EQ(elements[k]["degrees"], degrees[k]);
        EXPECT_EQ(elements[k]["at_ghz"], 2.0);
        EXPECT_FALSE(elements[k].contains("value"));
    }
    EXPECT_EQ(elements[0]["position"], "series");
    EXPECT_EQ(elements[1]["position"], "shunt");
    EXPECT_EQ(elements[3]["kind"], "L");
    EXPECT_EQ(elements[3]["value"], 1.5);
    EXPECT_NE(match_text(report).find("series line 70 ohm 37.5 deg, shunt open stub 50 ohm 45 deg"),
              std::string::npos)
        << match_text(report);
}

} // namespace

// A part's range as both front ends read it: MIN:MAX with 0 < MIN <= MAX, both finite.
TEST(PartRangeTest, AcceptsOnlyAnOrderedPositivePair) {
    struct Row {
        const char* text;
        std::optional<std::pair<double, double>> range;
    };
    const Row rows[] = {
        {"1:20", std::pair{1.0, 20.0}},
        {"5:5", std::pair{5.0, 5.0}},
        {"0.1:1e3", std::pair{0.1, 1e3}},
        {"20:1", {}},
        {"0:1", {}},
        {"-1:1", {}},
        {"1", {}},
        {"1:2:3", {}},
        {":2", {}},
        {"1:inf", {}},
    };
    for (const Row& row : rows) {
        const auto range = part_range(row.text);
        ASSERT_EQ(range.has_value(), row.range.has_value()) << row.text;
        if (range) {
            EXPECT_EQ(range->lo, row.range->first) << row.text;
            EXPECT_EQ(range->hi, row.range->second) << row.text;
        }
    }
}
