// The amplifier's figures on published textbook devices and on the edge cases every division
// must survive, and two-port files turned into S.

#include "match/amplifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <string>

namespace veltrane::match {
namespace {

Complex polar_deg(double magnitude, double degrees) {
    return std::polar(magnitude, degrees * std::numbers::pi / 180);
}

struct StabilityCase {
    const char* name;
    Complex s11, s12, s21, s22;
    std::optional<double> k; // none: unbounded (unilateral) or undefined
    double delta_mag;
    std::optional<double> mu;
    bool stable;
    GainKind kind;
    std::optional<double> gain_db;
    std::optional<Complex> gamma_s, gamma_l; // the conjugate match, where stable
    std::optional<Complex> input_centre;     // none: the circle is a straight line
    double tolerance;                        // absolute, for the published rounding
    Note note = Note::None;
};

const StabilityCase stability_cases[] = {
    // A GaAs FET at 4 GHz, a textbook's conjugately matched design (published: |Delta| 0.488,
    // K 1.195, Gamma_S 0.872 at 123.4 deg, Gamma_L 0.876 at 61.0 deg, 16.7 dB). mu, the circle's
    // centre and MAG to 0.01 dB worked with numpy.
    {"published_fet_4_ghz", polar_deg(0.72, -116), polar_deg(0.03, 57), polar_deg(2.60, 76),
     polar_deg(0.73, -54), 1.195, 0.488, 1.0401, true, GainKind::MAG, 16.710,
     polar_deg(0.872, 123.4), polar_deg(0.876, 61.0), polar_deg(1.3195, 123.41), 0.002},
    // A BJT at 1.9 GHz, the same textbook's stability example (published: |Delta| 0.336,
    // K 0.383, mu 0.678): potentially unstable; MSG = |S21 / S12| = 137.1 (21.37 dB).
    {"published_bjt_1_9_ghz", polar_deg(0.869, -159), polar_deg(0.031, -9), polar_deg(4.250, 61),
     polar_deg(0.507, -117), 0.383, 0.336, 0.678, false, GainKind::MSG, 21.370, std::nullopt,
     std::nullopt, polar_deg(1.0950, 161.89), 0.0005},
    // Unilateral and stable: K is unbounded, mu = 1 / |S22| = 2; the match is S11*, S22* and
    // MAG = |S21|^2 / ((1 - |S11|^2)(1 - |S22|^2)) = 4 / 0.5625 (8.519 dB).
    {"unilateral_stable", polar_deg(0.5, -60), 0, 2, polar_deg(0.5, 30), std::nullopt, 0.25, 2,
     true, GainKind::MAG, 8.5194, polar_deg(0.5, 60), polar_deg(0.5, -30), polar_deg(2, 60), 1e-4,
     Note::Unilateral},
    // Unilateral with |S11| > 1: not stable, and MSG is unbounded, so no gain at all.
    {"unilateral_s11_above_1", 1.2, 0, 2, 0.3, std::nullopt, 0.36, -1.0 / 0.3, false, GainKind::MSG,
     std::nullopt, std::nullopt, std::nullopt, 1 / 1.2, 1e-9, Note::Unilateral},
    // |S11| > 1 with feedback: MSG = 10 log10(3 / 0.05).
    {"s11_above_1", polar_deg(1.1, -30), 0.05, 3, 0.5, -0.9263, 0.4267, -0.8721, false,
     GainKind::MSG, 17.7815, std::nullopt, std::nullopt, polar_deg(0.86657, 27.587), 1e-3},
    // Matched and unilateral with S21 = 1: mu's denominator is 0 (unbounded) and both circles
    // are straight lines (|S11|^2 = |Delta|^2 = 0); 0 dB with Gamma_S = Gamma_L = 0.
    {"matched_unilateral", 0, 0, 1, 0, std::nullopt, 0, std::nullopt, true, GainKind::MAG, 0.0,
     Complex{}, Complex{}, std::nullopt, 1e-12, Note::Unilateral},
    // No transmission: K undefined and no gain to show, though nothing can oscillate.
    {"no_transmission", 0.3, 0.1, 0, 0.4, std::nullopt, 0.12, 0.91 / 0.364, true, GainKind::MAG,
     std::nullopt, 0.3, 0.4, 0.252 / (0.09 - 0.0144), 1e-9, Note::NoTransmission},
};

class StabilityTest : public ::testing::TestWithParam<StabilityCase> {};

void expect_near(std::optional<double> got, std::optional<double> want, double tolerance,
                 const char* what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(*got, *want, tolerance) << what;
    }
}

void expect_near(std::optional<Complex> got, std::optional<Complex> want, double tolerance,
                 const char* what) {
    ASSERT_EQ(got.has_value(), want.has_value()) << what;
    if (want) {
        EXPECT_NEAR(std::abs(*got - *want), 0.0, tolerance * std::max(1.0, std::abs(*want)))
            << what << ": " << *got << " for " << *want;
    }
}

TEST_P(StabilityTest, Figures) {
    const StabilityCase& c = GetParam();
    const Stability s = stability({1.0, c.s11, c.s12, c.s21, c.s22});
    expect_near(s.k, c.k, c.tolerance, "K");
    expect_near(s.delta_mag, c.delta_mag, c.tolerance, "|Delta|");
    expect_near(s.mu, c.mu, c.tolerance, "mu");
    EXPECT_EQ(s.stable, c.stable);
    EXPECT_EQ(s.gain_kind, c.kind);
    expect_near(s.gain_db, c.gain_db, c.tolerance, "gain dB");
    expect_near(s.match ? std::optional{s.match->gamma_s} : std::nullopt, c.gamma_s, c.tolerance,
                "Gamma_S");
    expect_near(s.match ? std::optional{s.match->gamma_l} : std::nullopt, c.gamma_l, c.tolerance,
                "Gamma_L");
    expect_near(s.input_circle ? std::optional{s.input_circle->centre} : std::nullopt,
                c.input_centre, c.tolerance, "input circle's centre");
    EXPECT_EQ(s.note, c.note);
    // Nothing unbounded or undefined slips through as a number.
    for (const std::optional<double>& figure : {s.k, s.delta_mag, s.mu, s.mu_prime, s.gain_db}) {
        EXPECT_TRUE(!figure || std::isfinite(*figure));
    }
}

INSTANTIATE_TEST_SUITE_P(Amplifier, StabilityTest, ::testing::ValuesIn(stability_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

struct TwoPortCase {
    const char* name;
    rf::Parameter parameter;
    std::array<Complex, 4> values; // N11 N12 N21 N22 as the file gives them (ohm, siemens)
    std::optional<std::array<Complex, 4>> s; // none: refused
    double reference2_ohm = 50;              // port 1's is 50 ohm
};

const TwoPortCase two_port_cases[] = {
    // 50 ohm in series between two 50 ohm ports: S11 = 50 / 150, S21 = 100 / 150.
    {"series_resistor_y",
     rf::Parameter::Y,
     {0.02, -0.02, -0.02, 0.02},
     std::array<Complex, 4>{1.0 / 3, 2.0 / 3, 2.0 / 3, 1.0 / 3}},
    // 50 ohm across the line: 25 ohm seen at a port, S11 = -25 / 75, S21 = 2 * 25 / 75.
    {"shunt_resistor_z",
     rf::Parameter::Z,
     {50, 50, 50, 50},
     std::array<Complex, 4>{-1.0 / 3, 2.0 / 3, 2.0 / 3, -1.0 / 3}},
    // A one-way transconductance of 1e300 S between open ports: S21 = -2 R g.
    {"large_y", rf::Parameter::Y, {0, 0, 1e300, 0}, std::array<Complex, 4>{1, 0, -1e302, 1}},
    // Two nearly open ports: Z + R would overflow unless scaled first.
    {"large_z", rf::Parameter::Z, {1e307, 0, 0, 1e307}, std::array<Complex, 4>{1, 0, 0, 1}},
    // A T of resistors (Z11 60, Z12 = Z21 10, Z22 35 ohm) between 50 and 25 ohm, worked with
    // numpy as F (Z - G)(Z + G)^-1 F^-1: S11 1/13, S12 = S21 sqrt(2)/13, S22 2/13.
    {"t_network_z_50_25",
     rf::Parameter::Z,
     {60, 10, 10, 35},
     std::array<Complex, 4>{1.0 / 13, std::sqrt(2.0) / 13, std::sqrt(2.0) / 13, 2.0 / 13},
     25},
    {"t_network_y_50_25",
     rf::Parameter::Y,
     {0.0175, -0.005, -0.005, 0.03},
     std::array<Complex, 4>{1.0 / 13, std::sqrt(2.0) / 13, std::sqrt(2.0) / 13, 2.0 / 13},
     25},
    // Y + 1 / R singular: no S.
    {"singular_y", rf::Parameter::Y, {-0.02, 0, 0, -0.02}, std::nullopt},
};

class TwoPortTest : public ::testing::TestWithParam<TwoPortCase> {};

TEST_P(TwoPortTest, ToS) {
    const TwoPortCase& c = GetParam();
    rf::Network network;
    network.source = "device.s2p";
    network.ports = 2;
    network.parameter = c.parameter;
    network.reference_ohm = {50, c.reference2_ohm};
    network.f_ghz = {1};
    network.lines = {3};
    network.values.assign(c.values.begin(), c.values.end());
    const auto data = two_port_data(network);
    ASSERT_EQ(std::holds_alternative<TwoPortData>(data), c.s.has_value());
    if (!c.s) {
        EXPECT_EQ(std::get<std::string>(data),
                  "device.s2p: no S-parameters at 1 GHz (the Y matrix plus the references is "
                  "singular)");
        return;
    }
    const TwoPortSample& s = std::get<TwoPortData>(data).samples.at(0);
    const std::array<Complex, 4> got = {s.s11, s.s12, s.s21, s.s22};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(std::abs(got[i] - (*c.s)[i]), 0.0, 1e-12 * std::max(1.0, std::abs((*c.s)[i])))
            << "entry " << i << ": " << got[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Amplifier, TwoPortTest, ::testing::ValuesIn(two_port_cases),
                         [](const auto& info) { return std::string{info.param.name}; });

TEST(TwoPort, OtherPortCountsAreRefused) {
    rf::Network network;
    network.source = "antenna.s1p";
    network.ports = 1;
    network.reference_ohm = {50};
    const auto data = two_port_data(network);
    ASSERT_TRUE(std::holds_alternative<std::string>(data));
    EXPECT_EQ(std::get<std::string>(data),
              "antenna.s1p has 1 port: the amplifier's figures need a two-port (.s2p)");
}

} // namespace
} // namespace veltrane::match
