// Pointing into the charts: picture coordinates back to frequency and reflection, snapping to
// samples and interpolating between them, and finding the handle under the pointer.

#include "views/chart_pointing.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

namespace veltrane::views {
namespace {

using veltrane::testing::near_relative;

rf::ChartFrame frame(bool log) {
    rf::ChartFrame f;
    f.smith_centre = {265, 320};
    f.smith_radius = 205;
    f.plot_area = {590, 115, 380, 390};
    f.f_lo_ghz = 0.5;
    f.f_hi_ghz = 8.0;
    f.log_frequency = log;
    f.db_lo = 0;
    f.db_hi = 30;
    return f;
}

// Four samples 1, 2, 4, 6 GHz on a quarter turn of the chart.
const Curve curve{{1.0, 2.0, 4.0, 6.0},
                  {rf::Complex{0.6, -0.4}, {0.2, -0.5}, {-0.2, -0.3}, {-0.4, 0.1}}};

TEST(ChartGeometry, PlotFrequencyUndoesPlotX) {
    for (const bool log : {false, true}) {
        for (const double f : {0.5, 0.7, 2.45, 7.99}) {
            SCOPED_TRACE(::testing::Message() << (log ? "log " : "linear ") << f);
            const rf::ChartFrame fr = frame(log);
            const auto back = plot_frequency(fr, {plot_x(fr, f), 300});
            ASSERT_TRUE(back.has_value());
            EXPECT_PRED_FORMAT3(near_relative, *back, f, 1e-12);
        }
    }
    EXPECT_FALSE(plot_frequency(frame(false), {500, 300})); // left of the plot
}

TEST(ChartGeometry, SmithReflectionUndoesSmithPoint) {
    const rf::ChartFrame fr = frame(false);
    const rf::Complex g{0.3, -0.55};
    const auto back = smith_reflection(fr, smith_point(fr, g));
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(back->real(), 0.3, 1e-12);
    EXPECT_NEAR(back->imag(), -0.55, 1e-12);
    EXPECT_FALSE(smith_reflection(fr, {265 + 210, 320})); // outside the rim
}

struct Pointing {
    const char* name;
    bool on_smith;
    double between; // position along the samples: 1.5 is half way from the second to the third
    double offset;  // picture units off the curve (Smith) or off the place (plot)
    std::optional<double> f_ghz;
};

TEST(ChartGeometry, FrequencyAtSnapsOrInterpolates) {
    const std::array<Pointing, 8> cases = {{
        {"on a sample of the chart", true, 1.0, 0, 2.0},
        {"near a sample of the chart", true, 1.01, 0, 2.0},
        {"half way on the chart", true, 1.5, 0, 3.0},
        {"beside the curve within reach", true, 2.5, 8, 5.0},
        {"beside the curve just out of reach", true, 2.5, 10.5, std::nullopt},
        {"beside the curve out of reach", true, 2.5, 30, std::nullopt},
        {"near a sample of the plot", false, 2.0, 3, 4.0},
        {"between samples of the plot", false, 2.5, 0, 5.0},
    }};
    const rf::ChartFrame fr = frame(false);
    for (const Pointing& c : cases) {
        SCOPED_TRACE(c.name);
        const auto i = static_cast<std::size_t>(c.between);
        const double t = c.between - static_cast<double>(i);
        rf::Point p;
        if (c.on_smith) {
            const rf::Point a = smith_point(fr, curve.g[i]);
            const rf::Point b = smith_point(fr, curve.g[i + 1]);
            // Off the segment at a right angle, by `offset`.
            const double dx = b.x - a.x;
            const double dy = b.y - a.y;
            const double length = std::hypot(dx, dy);
            p = {a.x + t * dx - c.offset * dy / length, a.y + t * dy + c.offset * dx / length};
        } else {
            const double f = curve.f_ghz[i] + t * (curve.f_ghz[i + 1] - curve.f_ghz[i]);
            p = {plot_x(fr, f) + c.offset, 300};
        }
        const auto f = frequency_at(fr, curve, p, 10, 4);
        ASSERT_EQ(f.has_value(), c.f_ghz.has_value());
        if (f) {
            EXPECT_PRED_FORMAT3(near_relative, *f, *c.f_ghz, 1e-9);
        }
    }
}

// A handle is reached from its rim (radius 5) out to the reach, on the Smith chart or, on the
// plot, at its frequency's line.
TEST(ChartGeometry, HandleAtFindsTheNearestOnEitherChart) {
    const rf::ChartFrame fr = frame(false);
    const std::array<Handle, 2> handles = {
        {{"F1", 2.0, curve.g[1], {}}, {"F2", 4.0, curve.g[2], {}}}};
    const rf::Point f2 = smith_point(fr, curve.g[2]);
    struct Row {
        const char* name;
        rf::Point p;
        std::optional<std::size_t> found;
    };
    const Row rows[] = {
        {"smith_centre", f2, 1u},
        {"smith_rim_plus_reach", {f2.x, f2.y + 5 + 6}, 1u},
        {"smith_beyond_reach", {f2.x, f2.y + 5 + 6.5}, std::nullopt},
        {"plot_line", {plot_x(fr, 2.0) + 3, 400}, 0u},
        {"plot_between", {plot_x(fr, 3.0), 400}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(handle_at(fr, handles, row.p, 6), row.found);
    }
}

struct ReadingRow {
    const char* name;
    Reading reading;
    std::vector<const char*> parts; // in this order
};

// The read-out names the frequency, then the data's and the model's impedance, |Gamma|, return
// loss and VSWR against z0, then their |Delta Gamma|.
TEST(Readout, SaysEachFigureOfDataAndModel) {
    const ReadingRow rows[] = {
        {"matched data, no model",
         {2.45, {0, 0}, std::nullopt},
         {"f 2.45 GHz", "data  50 + j0 \u03a9", "|\u0393| 0 ", "RL 120 dB", "VSWR 1"}},
        {"a half reflection beside a model",
         {1.0, {0.5, 0}, rf::Complex{0.2, 0}},
         {"data  150 + j0 \u03a9", "|\u0393| 0.5 ", "RL 6.021 dB", "VSWR 3", "\nmodel  75 + j0",
          "|\u0393| 0.2 ", "RL 13.98 dB", "VSWR 1.5", "|\u0394\u0393| 0.3"}},
        {"capacitive data",
         {3.0, {0, -1.0 / 3}, rf::Complex{0, -1.0 / 3}},
         {"data  40 \u2212 j30 \u03a9", "VSWR 2", "|\u0394\u0393| 0"}},
        {"an open circuit",
         {1.0, {1, 0}, std::nullopt},
         {"data  open", "|\u0393| 1 ", "RL 0 dB", "VSWR over 10000"}},
        {"nearly open: a VSWR of 19999",
         {1.0, {0.9999, 0}, std::nullopt},
         {"|\u0393| 0.9999 ", "VSWR over 10000"}},
    };
    for (const ReadingRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = reading_text(row.reading, 50);
        std::size_t from = 0;
        for (const char* part : row.parts) {
            const std::size_t at = text.find(part, from);
            EXPECT_NE(at, std::string::npos) << "\"" << part << "\" in " << text;
            from = at == std::string::npos ? from : at;
        }
        EXPECT_EQ(text.find("model") != std::string::npos, row.reading.model.has_value());
    }
}

} // namespace
} // namespace veltrane::views
