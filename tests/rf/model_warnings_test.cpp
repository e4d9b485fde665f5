// What a person is warned of about a model against data: a resonance or band outside the data,
// an element that does nothing over the range, a topology that cannot follow the device.

#include "rf/fit.h"
#include "rf/model_warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrane::rf {
namespace {

std::vector<double> grid_ghz(double lo, double hi, int n) {
    std::vector<double> f;
    for (int i = 0; i < n; ++i) {
        f.push_back(lo + (hi - lo) * i / (n - 1));
    }
    return f;
}

Result state_of(const LumpedModel& m, double fl_mhz, double fh_mhz, double f0_mhz) {
    Result s;
    s.Ls = m.ls_nh;
    s.Cs = m.cs_pf;
    s.Lp = m.lp_nh;
    s.Cp = m.cp_pf;
    s.RL = m.rl_ohm;
    s.FL = fl_mhz;
    s.FH = fh_mhz;
    s.F0 = f0_mhz;
    return s;
}

const LumpedModel plain{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};

struct WarningCase {
    const char* name;
    LumpedModel model;     // the model warned about
    LumpedModel measured;  // the model the data come from
    double lo_ghz, hi_ghz; // the data
    double fl_mhz, fh_mhz, f0_mhz;
    FrequencyRange range;
    std::vector<std::string> expected;
};

const WarningCase warning_cases[] = {
    {"NothingToSay", plain, plain, 1, 3, 1200, 2400, 1700, {}, {}},
    {"F0AboveTheData",
     plain,
     plain,
     1,
     3,
     1200,
     2400,
     3000.5,
     {},
     {"F0 = 3000.5 MHz lies outside the data (1 to 3 GHz): the model's resonance was not "
      "measured"}},
    {"F0BelowTheData", plain, plain, 1, 3, 1200, 2400, 999, {}, {"F0 = 999 MHz lies outside"}},
    {"BandReachesBelow",
     plain,
     plain,
     1,
     3,
     900,
     2400,
     1500,
     {},
     {"the band FL..FH = 900 to 2400 MHz reaches outside the data (1 to 3 GHz)"}},
    {"BandReachesAbove", plain, plain, 1, 3, 1200, 3001, 1800, {}, {"the band FL..FH = 1200"}},
    {"LsShort",
     {Topology::ParallelSeries, 1e-6, 1.1, 0.9, 4.7, 62.0},
     {Topology::ParallelSeries, 1e-6, 1.1, 0.9, 4.7, 62.0},
     1,
     3,
     1200,
     2400,
     1700,
     {},
     {"Ls acts as a short over the data"}},
    {"CsShort",
     {Topology::SeriesParallel, 2.0, 4e5, 5.0, 1.2, 40.0},
     {Topology::SeriesParallel, 2.0, 4e5, 5.0, 1.2, 40.0},
     1,
     3,
     1200,
     2400,
     1700,
     {},
     {"Cs acts as a short over the data"}},
    {"LpOpen",
     {Topology::SeriesParallel, 12.0, 0.37, 1.5e7, 0.195, 36.4},
     {Topology::SeriesParallel, 12.0, 0.37, 1.5e7, 0.195, 36.4},
     1.5,
     3.5,
     2180,
     2650,
     2400,
     {},
     {"Lp acts as an open over the data"}},
    {"CpOpenOverTheRange",
     {Topology::ParallelSeries, 4.2, 1.1, 0.9, 1e-6, 62.0},
     {Topology::ParallelSeries, 4.2, 1.1, 0.9, 1e-6, 62.0},
     1,
     3,
     1200,
     2400,
     1700,
     {1.5, 2.5},
     {"Cp acts as an open over the range"}},
    {"CannotFollow",
     plain,
     {Topology::SeriesParallel, 2.0, 3.0, 5.0, 1.2, 40.0},
     1,
     3,
     1200,
     2400,
     1700,
     {},
     {"exceeds a quarter of the data's largest |Gamma|"}},
};

class ModelWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(ModelWarnings, SaysWhatAPersonMustKnow) {
    const WarningCase& c = GetParam();
    const PortData data = sweep(c.measured, grid_ghz(c.lo_ghz, c.hi_ghz, 41), 50);
    const std::vector<std::string> warnings = model_warnings(
        state_of(c.model, c.fl_mhz, c.fh_mhz, c.f0_mhz), c.model.topology, data, 50, c.range);
    ASSERT_EQ(warnings.size(), c.expected.size()) << (warnings.empty() ? "" : warnings.front());
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        EXPECT_NE(warnings[i].find(c.expected[i]), std::string::npos) << warnings[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ModelWarnings, ::testing::ValuesIn(warning_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

// The range fit is what the search judges: samples inside fmin..fmax, both included, none at
// 0 Hz; the band fit within a range counts only samples in both.
TEST(FitRange, CountsTheSamplesOfTheRangeAndTheBand) {
    PortData data = sweep(plain, {0.0, 1.0, 1.5, 2.0, 2.5, 3.0}, 50);
    data.s[3] += Complex(0.0, 0.2); // 2.0 GHz
    data.s[5] += Complex(0.5, 0.0); // 3.0 GHz
    struct Case {
        const char* name;
        FrequencyRange range;
        double band_lo_mhz, band_hi_mhz;
        std::size_t range_points, band_points;
        double range_max, band_max;
    };
    const Case cases[] = {
        {"Everything", {}, 1000, 3000, 5, 5, 0.5, 0.5},
        {"EdgesIncluded", {1.5, 2.5}, 1000, 3000, 3, 3, 0.2, 0.2},
        {"BandInsideRange", {1.0, 3.0}, 2500, 3000, 5, 2, 0.5, 0.5},
        {"RangeCutsBand", {1.0, 2.5}, 2000, 3000, 4, 2, 0.2, 0.2},
        {"OpenBelow", {std::nullopt, 1.0}, 0, 3000, 1, 1, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto range = fit_range(plain, data, 50, c.range);
        const auto band = fit(plain, data, 50, c.band_lo_mhz, c.band_hi_mhz, c.range);
        ASSERT_TRUE(range && band);
        EXPECT_EQ(range->points, c.range_points);
        EXPECT_EQ(band->points, c.band_points);
        EXPECT_NEAR(range->max, c.range_max, 1e-12);
        EXPECT_NEAR(band->max, c.band_max, 1e-12);
    }
    EXPECT_FALSE(fit_range(plain, data, 50, {3.1, std::nullopt}));
}

} // namespace
} // namespace veltrane::rf
