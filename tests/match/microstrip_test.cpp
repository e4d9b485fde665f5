// Microstrip widths and permittivities against published figures, the width's round trip, and
// boards that are none.

#include "match/microstrip.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace veltrane::match {
namespace {

using testing::near_relative;

struct Published {
    const char* name;
    Substrate substrate;
    double z0_ohm;
    double w_mm;    // published
    double eps_eff; // published
    double within;  // relative, for the closed forms the source used
};

const Published published[] = {
    // FR-4, 1.6 mm: the usual 50 ohm track of about 3.06 mm, eps_eff about 3.33.
    {"fr4_50_ohm", {4.4, 1.6}, 50, 3.06, 3.33, 0.01},
    // Alumina 9.8, 25 mil: about 0.61 mm, eps_eff about 6.6.
    {"alumina_50_ohm", {9.8, 0.635}, 50, 0.61, 6.6, 0.02},
    // A textbook example (its own closed forms): eps_r 9.9, 0.5 mm, W / H = 0.95, eps_eff 6.665.
    {"textbook_alumina", {9.9, 0.5}, 50, 0.475, 6.665, 0.015},
};

TEST(Microstrip, PublishedFigures) {
    for (const Published& p : published) {
        SCOPED_TRACE(p.name);
        const auto w = microstrip_width(p.substrate, p.z0_ohm);
        ASSERT_TRUE(w.has_value());
        EXPECT_PRED_FORMAT3(near_relative, *w, p.w_mm, p.within);
        const auto strip = microstrip(p.substrate, *w);
        ASSERT_TRUE(strip.has_value());
        EXPECT_PRED_FORMAT3(near_relative, strip->eps_eff, p.eps_eff, p.within);
    }
    // The same textbook's 270 degrees at 10 GHz on that line: 8.72 mm (with c taken as 3e8 m/s).
    EXPECT_PRED_FORMAT3(near_relative, line_length_mm(6.665, 270, 10), 8.72, 2e-3);
}

// Width from impedance and back, thin and thick copper, narrow and wide strips.
TEST(Microstrip, WidthRoundTrip) {
    struct Row {
        Substrate substrate;
        double z0_ohm;
    };
    const Row rows[] = {{{4.4, 1.6}, 50},       {{4.4, 1.6, 35}, 50},    {{9.8, 0.635}, 20},
                        {{9.8, 0.635, 5}, 110}, {{3.55, 0.508, 17}, 75}, {{1, 1}, 150},
                        {{2.2, 0.254}, 30}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.z0_ohm);
        const auto w = microstrip_width(r.substrate, r.z0_ohm);
        ASSERT_TRUE(w.has_value());
        const auto strip = microstrip(r.substrate, *w);
        ASSERT_TRUE(strip.has_value());
        EXPECT_PRED_FORMAT3(near_relative, strip->z0_ohm, r.z0_ohm, 1e-8);
        EXPECT_GE(strip->eps_eff, 1);
        EXPECT_LE(strip->eps_eff, r.substrate.eps_r);
        if (r.substrate.t_um > 0) {
            // Copper widens the strip electrically: the same impedance needs a narrower one,
            // by well under a tenth.
            const Substrate thin{r.substrate.eps_r, r.substrate.h_mm};
            const double w_thin = *microstrip_width(thin, r.z0_ohm);
            EXPECT_LT(*w, w_thin);
            EXPECT_GT(*w, 0.9 * w_thin);
        }
    }
}

TEST(Microstrip, NoBoardNoWidth) {
    struct Row {
        const char* name;
        Substrate substrate;
        double z0_ohm;
    };
    const Row rows[] = {
        {"permittivity_below_1", {0.5, 1.6}, 50}, {"no_height", {4.4, 0}, 50},
        {"negative_copper", {4.4, 1.6, -1}, 50},  {"no_impedance", {4.4, 1.6}, 0},
        {"too_high", {4.4, 1.6}, 1000},           {"not_a_number", {NAN, 1.6}, 50},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(microstrip_width(r.substrate, r.z0_ohm).has_value());
    }
    EXPECT_FALSE(microstrip({4.4, 1.6}, 0).has_value());
    EXPECT_EQ(line_length_mm(3.3, 90, 0), 0.0);
}

} // namespace
} // namespace veltrane::match
