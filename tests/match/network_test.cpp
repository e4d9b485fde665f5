// The bound on published and hand-worked figures, and ladders evaluated against loads.

#include "match/bound.h"
#include "match/match_files.h"
#include "match/network.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace veltrane::match {
namespace {

using testing::near_relative;

constexpr double pi = std::numbers::pi;

struct BoundCase {
    const char* name;
    rf::LumpedModel model;
    Band band;
    double gamma; // worked by hand or published
};

// Parallel/Series: RL || Cp || Lp behind the series pair; Series/Parallel: RL + Ls + Cs.
const BoundCase bound_cases[] = {
    // 15 ohm + 0.5 pF in series over 8-18 GHz: VSWR >= 1.269 (a textbook example),
    // |Gamma| = 0.269 / 2.269. The series L is too small to matter.
    {"series_rc_8_18_ghz", {Topology::SeriesParallel, 1e-6, 0.5, 1, 1, 15}, {8, 18}, 0.118619},
    // 40 ohm + 120 nH over 295-405 MHz: exp(-40 / 26.4) (published: 0.2198). The series C is
    // too large to matter.
    {"series_rl_vhf", {Topology::SeriesParallel, 120, 1e12, 1, 1, 40}, {0.295, 0.405}, 0.219775},
    // 100 ohm || 1 pF over 1-2 GHz: exp(-pi / (R C 2 pi 1e9)) = exp(-5).
    {"shunt_rc", {Topology::ParallelSeries, 1, 1, 1e9, 1, 100}, {1, 2}, 0.0067379},
    // 50 ohm || 10 nH over 1-2 GHz: exp(-pi L / (R (1/w1 - 1/w2))) = exp(-0.8 pi^2).
    {"shunt_rl", {Topology::ParallelSeries, 1, 1, 10, 1e-9, 50}, {1, 2}, 3.72347e-4},
    // 40 ohm + 1 nH + 5 pF over 1-3 GHz: the C constraint binds, exp(-pi R C / (1/w1 - 1/w2))
    // = exp(-0.6 pi^2); the L one gives only exp(-10).
    {"series_rlc_c_binds", {Topology::SeriesParallel, 1, 5, 1, 1, 40}, {1, 3}, 2.68047e-3},
};

TEST(Bound, PublishedAndWorkedFigures) {
    for (const BoundCase& c : bound_cases) {
        SCOPED_TRACE(c.name);
        const auto bound = model_bound(c.model, c.band);
        ASSERT_TRUE(bound.has_value());
        EXPECT_PRED_FORMAT3(near_relative, bound->gamma, c.gamma, 2e-5);
        EXPECT_PRED_FORMAT3(near_relative, bound->rl_db, -20 * std::log10(c.gamma), 1e-4);
        EXPECT_PRED_FORMAT3(near_relative, bound->gain_db, 10 * std::log10(1 - c.gamma * c.gamma),
                            1e-3);
    }
    // The published VSWR of the first row.
    const auto vswr = model_bound(bound_cases[0].model, bound_cases[0].band);
    EXPECT_NEAR((1 + vswr->gamma) / (1 - vswr->gamma), 1.269, 5e-4);
}

TEST(Bound, NoneForANonPositiveSection) {
    const Band band{1, 2};
    for (const rf::LumpedModel& model :
         {rf::LumpedModel{Topology::ParallelSeries, 1, 1, -3, 2, 50},
          rf::LumpedModel{Topology::ParallelSeries, 1, 1, 3, 0, 50},
          rf::LumpedModel{Topology::SeriesParallel, -1, 1, 3, 2, 50},
          rf::LumpedModel{Topology::SeriesParallel, 1, 1, 3, 2, 0}}) {
        EXPECT_FALSE(model_bound(model, band).has_value());
    }
}

// The bound from data: the simplest section fitted to samples of a known load, its values, and
// its bound against Fano's formulas written here: a series R-L, exp(-pi R / (L (w2 - w1)));
// a shunt R-C, exp(-pi / (R C (w2 - w1))); the resonant ones add the other integral, and the
// larger gives the bound. A load no section fits within the tolerance has none.
TEST(Bound, FromData) {
    struct Row {
        const char* name;
        Band band;
        bool series;        // R + jX, else 1/R + jB
        double r, l, c;     // ohm, nH (0: none), pF (0: none)
        double pad_pf;      // a capacitance across the load no section holds (0: none)
        const char* kind;   // the section expected, nullptr for none
        int intervals = 60; // samples less one, evenly over the band
    };
    const Row rows[] = {
        {"series RL", {0.295, 0.405}, true, 40, 120, 0, 0, "series-RL"},
        {"series RL from two samples", {0.295, 0.405}, true, 40, 120, 0, 0, "series-RL", 1},
        {"shunt RC", {8, 18}, false, 15, 0, 0.5, 0, "shunt-RC"},
        {"series RLC", {1, 2}, true, 20, 8, 2.2, 0, "series-RLC"},
        {"parallel RLC", {2.2, 2.7}, false, 120, 2.7, 1.5, 0, "parallel-RLC"},
        {"shunt RC above 50 ohm", {1, 3}, false, 200, 0, 1.2, 0, "shunt-RC"},
        {"RL behind a large pad", {1, 3}, true, 30, 12, 0, 3, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Load load;
        for (int i = 0; i <= row.intervals; ++i) {
            const double f =
                row.band.fl_ghz + (row.band.fh_ghz - row.band.fl_ghz) * i / row.intervals;
            const double w = 2 * pi * f * 1e9;
            const double l = row.l * 1e-9;
            const double c = row.c * 1e-12;
            Complex z = row.series ? Complex{row.r, w * l - (c > 0 ? 1 / (w * c) : 0)}
                                   : 1.0 / Complex{1 / row.r, w * c - (l > 0 ? 1 / (w * l) : 0)};
            if (row.pad_pf > 0) {
                z = 1.0 / (1.0 / z + Complex{0, w * row.pad_pf * 1e-12});
            }
            load.f_ghz.push_back(f);
            load.z_ohm.push_back(z);
        }
        const auto found = data_bound(load, row.band, 50, std::nullopt);
        if (row.kind == nullptr) {
            EXPECT_FALSE(found.has_value());
            continue;
        }
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(section_name(found->section.kind), row.kind);
        EXPECT_LE(found->section.fit_max, 1e-9);
        EXPECT_PRED_FORMAT3(near_relative, found->section.r_ohm, row.r, 1e-9);
        if (row.l > 0) {
            EXPECT_PRED_FORMAT3(near_relative, found->section.l_nh, row.l, 1e-9);
        }
        if (row.c > 0) {
            EXPECT_PRED_FORMAT3(near_relative, found->section.c_pf, row.c, 1e-9);
        }
        const double span = 2 * pi * 1e9 * (row.band.fh_ghz - row.band.fl_ghz);
        const double inverse_span =
            1 / (2 * pi * 1e9 * row.band.fl_ghz) - 1 / (2 * pi * 1e9 * row.band.fh_ghz);
        const double l = row.l * 1e-9;
        const double c = row.c * 1e-12;
        double fano = 0;
        if (row.series) {
            fano = std::exp(-pi * row.r / (l * span));
            if (c > 0) {
                fano = std::max(fano, std::exp(-pi * row.r * c / inverse_span));
            }
        } else {
            fano = std::exp(-pi / (row.r * c * span));
            if (l > 0) {
                fano = std::max(fano, std::exp(-pi * l / (row.r * inverse_span)));
            }
        }
        EXPECT_PRED_FORMAT3(near_relative, found->limit.gamma, fano, 1e-6);
    }
}

// A ladder, a load, and what a hand calculation gives at one frequency.
struct LadderCase {
    const char* name;
    Ladder ladder;
    Complex z_load;
    double f_ghz;
    Complex z_in; // by hand
};

// L-section from 200 to 50 ohm at 1 GHz: Q = sqrt(3), series X = 50 sqrt(3), shunt B = sqrt(3)/200.
const double l_match_nh = 50 * std::sqrt(3.0) / (2 * pi);
const double c_match_pf = std::sqrt(3.0) / 200 / (2 * pi) * 1000;

const LadderCase ladder_cases[] = {
    {"l_section_to_200_ohm",
     {{Position::Series, Kind::L, l_match_nh}, {Position::Shunt, Kind::C, c_match_pf}},
     {200, 0},
     1.0,
     {50, 0}},
    // Order matters: the shunt C first sits across the source side instead.
    {"shunt_first",
     {{Position::Shunt, Kind::C, 1000 / (2 * pi * 100)}},
     {100, 0},
     1.0,
     {50, -50}}, // 1 / (0.01 + j0.01)
    // Series C of 1000/(2 pi 25) pF at 1 GHz: -j25 ohm, then 20 + j10 ohm load.
    {"series_c", {{Position::Series, Kind::C, 1000 / (2 * pi * 25)}}, {20, 10}, 1.0, {20, -15}},
    // Shunt L of 50/(2 pi) nH (j50 ohm) across 50 ohm: 25 + j25.
    {"shunt_l", {{Position::Shunt, Kind::L, 50 / (2 * pi)}}, {50, 0}, 1.0, {25, 25}},
    // At 2 GHz the series L of the first row has twice the reactance.
    {"frequency_scales",
     {{Position::Series, Kind::L, 10 / (2 * pi)},
      {Position::Series, Kind::C, 1000 / (2 * pi * 30)}},
     {50, 0},
     2.0,
     {50, 20 - 15}},
};

TEST(Ladder, InputImpedanceByHand) {
    for (const LadderCase& c : ladder_cases) {
        SCOPED_TRACE(c.name);
        const Abcd m = chain_matrix(c.ladder, c.f_ghz, {});
        const Complex z = input_impedance(m, c.z_load);
        EXPECT_NEAR(z.real(), c.z_in.real(), 1e-9);
        EXPECT_NEAR(z.imag(), c.z_in.imag(), 1e-9);
        // Lossless: the power not reflected reaches the load.
        const double g = std::abs(reflection(z, 50));
        EXPECT_NEAR(transducer_gain(m, c.z_load, 50), 1 - g * g, 1e-12);
        // The S-parameters say the same: reciprocal, lossless, and the same input reflection.
        const SParameters s = s_parameters(m, 50);
        EXPECT_NEAR(std::abs(s.s12 - s.s21), 0, 1e-12);
        EXPECT_NEAR(std::norm(s.s11) + std::norm(s.s21), 1, 1e-12);
        const Complex gl = reflection(c.z_load, 50);
        const Complex cascaded = s.s11 + s.s12 * s.s21 * gl / (1.0 - s.s22 * gl);
        EXPECT_NEAR(std::abs(cascaded - reflection(z, 50)), 0, 1e-12);
        // The element path ends at the input; on its way each series part keeps the
        // resistance it starts from, each shunt part the conductance.
        const ElementPath path = element_path(c.ladder, {}, c.z_load, c.f_ghz, 8);
        ASSERT_EQ(path.joints.size(), c.ladder.size() + 1);
        EXPECT_NEAR(std::abs(path.z_ohm.back() - c.z_in), 0, 1e-9);
        for (std::size_t e = 0; e < c.ladder.size(); ++e) {
            const bool series = c.ladder[c.ladder.size() - 1 - e].position == Position::Series;
            const auto kept = [&](Complex p) { return series ? p.real() : (1.0 / p).real(); };
            for (std::size_t i = path.joints[e] + 1; i <= path.joints[e + 1]; ++i) {
                EXPECT_NEAR(kept(path.z_ohm[i]), kept(path.z_ohm[path.joints[e]]), 1e-9);
                // Step by step along the arc, not at its end at once.
                EXPECT_GT(std::abs(path.z_ohm[i] - path.z_ohm[i - 1]), 1e-6);
            }
        }
    }
}

// The load between its samples, and at the nearest end outside them.
TEST(Ladder, LoadBetweenSamples) {
    const Load load{{1, 2, 4}, {{10, -20}, {30, 0}, {50, 40}}};
    const std::pair<double, Complex> rows[] = {
        {0.5, {10, -20}}, {1.5, {20, -10}}, {2, {30, 0}}, {3, {40, 20}}, {9, {50, 40}}};
    for (const auto& [f, z] : rows) {
        EXPECT_NEAR(std::abs(load_at(load, f) - z), 0, 1e-12) << f;
    }
}

// Finite Q: at the stated frequency the part's Q is the given one; an inductor's grows as
// sqrt(f), a capacitor's stays; the network then loses power.
TEST(Ladder, PartLosses) {
    const Losses losses{PartQ{40, 1.0}, PartQ{200, 3.0}};
    struct Row {
        const char* name;
        Element element;
        double f_ghz;
        double q;
        Losses losses;
    };
    const Row rows[] = {
        {"inductor_at_q_frequency", {Position::Series, Kind::L, 8}, 1.0, 40, losses},
        {"inductor_at_4x", {Position::Shunt, Kind::L, 8}, 4.0, 80, losses},
        {"inductor_q_given_at_2_ghz",
         {Position::Series, Kind::L, 8},
         2.0,
         40,
         {PartQ{40, 2.0}, std::nullopt}},
        {"inductor_q_given_at_2_ghz_at_half",
         {Position::Series, Kind::L, 8},
         0.5,
         20,
         {PartQ{40, 2.0}, std::nullopt}},
        {"capacitor_anywhere", {Position::Series, Kind::C, 2}, 0.5, 200, losses},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Complex z = branch_impedance(row.element, row.f_ghz, row.losses);
        EXPECT_PRED_FORMAT3(near_relative, std::fabs(z.imag() / z.real()), row.q, 1e-12);
        EXPECT_EQ(z.imag() > 0, row.element.kind == Kind::L);
    }
    const Ladder ladder{{Position::Series, Kind::L, l_match_nh},
                        {Position::Shunt, Kind::C, c_match_pf}};
    const Abcd m = chain_matrix(ladder, 1.0, losses);
    const double g = std::abs(reflection(input_impedance(m, {200, 0}), 50));
    EXPECT_LT(transducer_gain(m, {200, 0}, 50), 1 - g * g - 1e-3);
}

// A complex source against circuit analysis by hand: the source Vs = 1 V with Zs drives the
// series L (lossy) and the shunt C; the load's current follows from the current divider, and
// the gain is P_load / P_available = 4 Re(Zs) Re(Z_L) |I_L|^2; the reflection is the power
// wave's, |Gamma|^2 = 1 - P_in / P_available.
TEST(Ladder, ComplexSourceByCircuitAnalysis) {
    const Losses losses{PartQ{30, 1.0}, std::nullopt};
    const Ladder ladder{{Position::Series, Kind::L, 6}, {Position::Shunt, Kind::C, 3}};
    const Complex z_load{22, -14};
    const double f = 1.3;
    const Complex z_l = branch_impedance(ladder[0], f, losses);
    const Complex z_c = branch_impedance(ladder[1], f, losses);
    const Complex z_shunt = z_load * z_c / (z_load + z_c);
    const Complex z_in = z_l + z_shunt;
    for (const Complex z_source : {Complex{50, 0}, Complex{30, 40}, Complex{12, -35}}) {
        SCOPED_TRACE(z_source.imag());
        const Complex i_in = 1.0 / (z_source + z_in);
        const Complex i_load = i_in * z_shunt / z_load;
        const double available = 1 / (4 * z_source.real());
        const double gain = std::norm(i_load) * z_load.real() / available;
        const double taken = std::norm(i_in) * z_in.real() / available;
        Load load{{f}, {z_load}, {z_source}};
        const Figures figures = evaluate(ladder, load, 50, losses);
        EXPECT_PRED_FORMAT3(near_relative, figures.gain_db, 10 * std::log10(gain), 1e-12);
        EXPECT_PRED_FORMAT3(near_relative, figures.worst_gamma, std::sqrt(1 - taken), 1e-12);
        if (z_source.imag() == 0) {
            load.source_z_ohm.clear();
            const Figures resistive = evaluate(ladder, load, z_source.real(), losses);
            EXPECT_PRED_FORMAT3(near_relative, resistive.worst_gamma, figures.worst_gamma, 1e-12);
        }
    }
}

// The worst sample and the smallest gain against hand figures: no ladder on resistive loads of
// |Gamma| 1/3, 0.6 and 0.2 from 50 ohm (the worst in the middle); a series L of j50 ohm at 1 GHz
// on 50 ohm, |Gamma| = X / sqrt(100^2 + X^2), worst at the top; the L-section matched at 1 GHz.
TEST(Ladder, WorstSampleAndGain) {
    struct Row {
        const char* name;
        Ladder ladder;
        std::vector<Complex> z_load; // at 0.8, 1 and 1.3 GHz
        double worst_gamma;
        double at_ghz;
        double smallest_gain;
    };
    const Row rows[] = {
        {"resistive_worst_in_the_middle", {}, {{100, 0}, {200, 0}, {75, 0}}, 0.6, 1.0, 0.64},
        {"series_l_worst_at_the_top",
         {{Position::Series, Kind::L, 50 / (2 * pi)}},
         {{50, 0}, {50, 0}, {50, 0}},
         65 / std::sqrt(14225.0),
         1.3,
         10000 / 14225.0},
        {"l_section_matched_at_1_ghz",
         {{Position::Series, Kind::L, l_match_nh}, {Position::Shunt, Kind::C, c_match_pf}},
         {{200, 0}, {200, 0}, {200, 0}},
         -1, // only where: the match is exact at 1 GHz, worst at 1.3
         1.3,
         -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Figures figures = evaluate(row.ladder, {{0.8, 1.0, 1.3}, row.z_load}, 50, {});
        EXPECT_EQ(figures.at_ghz, row.at_ghz);
        if (row.worst_gamma > 0) {
            EXPECT_NEAR(figures.worst_gamma, row.worst_gamma, 1e-12);
            EXPECT_NEAR(figures.worst_rl_db, -20 * std::log10(row.worst_gamma), 1e-10);
            EXPECT_NEAR(figures.gain_db, 10 * std::log10(row.smallest_gain), 1e-10);
        }
    }
}

// The network's files at their edges: each element numbered in the comments, a sample at 0 Hz
// (a series C is an open there: |Gamma| 1), the capacitor's loss resistor at the band's
// geometric centre (2 pF, Q 100 over 1-4 GHz: Q / (2 pi 2 GHz 2 pF) = 3978.87 ohm).
TEST(Files, Edges) {
    const Ladder two{{Position::Series, Kind::L, 8}, {Position::Shunt, Kind::C, 2}};
    const Ladder series_c{{Position::Series, Kind::C, 2}};
    const Losses capacitor_q{std::nullopt, PartQ{100, 1.0}};
    struct Row {
        const char* name;
        std::string text;
        std::string says;
    };
    const Row rows[] = {
        {"s2p_numbers_elements", network_touchstone(two, {}, 50, {1, 2}),
         "!   1 series L = 8 nH\n!   2 shunt C = 2 pF\n"},
        {"s1p_at_0_hz", matched_touchstone(series_c, {}, 50, {{0, 1}, {{50, 0}, {50, 0}}}),
         "\n0 1 "},
        {"spice_capacitor_loss", network_spice(series_c, capacitor_q, 50, {1, 4}),
         "\nR1 source load 3.97887"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(row.text.find(row.says), std::string::npos) << row.text;
        EXPECT_EQ(row.text.find("nan"), std::string::npos);
        EXPECT_EQ(row.text.find("inf"), std::string::npos);
    }
}

} // namespace
} // namespace veltrane::match
