// Lines and stubs in the ladder: hand-worked and independently computed input impedances, the
// element path, finite poles, and the SPICE subcircuit in ngspice.

#include "match/match_files.h"
#include "match/network.h"

#include "rf/numbers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>

namespace veltrane::match {
namespace {

using testing::near_relative;
using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

Element line(double z0, double degrees, double at_ghz) {
    return {Position::Series, Kind::Line, degrees, -1, z0, at_ghz};
}
Element stub(Kind kind, double z0, double degrees, double at_ghz,
             Position position = Position::Shunt) {
    return {position, kind, degrees, -1, z0, at_ghz};
}
Element lumped(Position position, Kind kind, double value) {
    return {position, kind, value};
}

// A ladder of lines, stubs and parts at the 2 GHz reference, computed with scikit-rf (its own
// TEM line and delay stubs, lumped parts as chain matrices) into a 20 - j15 ohm load.
const Ladder mixed = {line(35, 60, 2),
                      stub(Kind::OpenStub, 60, 40, 2),
                      lumped(Position::Series, Kind::L, 2),
                      stub(Kind::ShortStub, 80, 70, 2),
                      lumped(Position::Series, Kind::C, 3),
                      line(45, 130, 2)};

struct LineCase {
    const char* name;
    Ladder ladder;
    Complex z_load;
    double f_ghz;
    Complex z_in;
};

const LineCase line_cases[] = {
    // A quarter-wave of sqrt(50 * 100) ohm turns 100 ohm into 50 at its reference frequency.
    {"quarter_wave", {line(std::sqrt(5000.0), 90, 2)}, {100, 0}, 2, {50, 0}},
    // At twice its reference a quarter-wave of 1 GHz is a half-wave: the load comes back.
    {"half_wave_at_twice", {line(30, 90, 1)}, {20, 35}, 2, {20, 35}},
    // An eighth-wave open stub is +j/Z0 across the line, a shorted one -j/Z0.
    {"open_stub_eighth", {stub(Kind::OpenStub, 50, 45, 3)}, {50, 0}, 3, {25, -25}},
    {"short_stub_eighth", {stub(Kind::ShortStub, 50, 45, 3)}, {50, 0}, 3, {25, 25}},
    // In series an eighth-wave open stub is -j Z0.
    {"series_open_stub",
     {stub(Kind::OpenStub, 50, 45, 3, Position::Series)},
     {50, 0},
     3,
     {50, -50}},
    {"mixed_1_3_ghz", mixed, {20, -15}, 1.3, {46.14706231345219, -38.624487360028176}},
    {"mixed_2_ghz", mixed, {20, -15}, 2.0, {6.921714602315139, -0.7159193693705009}},
    {"mixed_3_1_ghz", mixed, {20, -15}, 3.1, {26.69334236050275, 1.3462393769968284}},
};

TEST(Lines, InputImpedanceAndPath) {
    for (const LineCase& c : line_cases) {
        SCOPED_TRACE(c.name);
        const Abcd m = chain_matrix(c.ladder, c.f_ghz, {});
        const Complex z = input_impedance(m, c.z_load);
        EXPECT_NEAR(std::abs(z - c.z_in), 0, 1e-9 * std::abs(c.z_in));
        // Lossless and reciprocal.
        const SParameters s = s_parameters(m, 50);
        EXPECT_NEAR(std::norm(s.s11) + std::norm(s.s21), 1, 1e-12);
        EXPECT_NEAR(std::abs(s.s12 - s.s21), 0, 1e-12);
        // The path ends at the input; along a line |Gamma| about its Z0 stays, along a stub the
        // conductance (shunt) or resistance (series) stays.
        const ElementPath path = element_path(c.ladder, {}, c.z_load, c.f_ghz, 8);
        ASSERT_EQ(path.joints.size(), c.ladder.size() + 1);
        EXPECT_NEAR(std::abs(path.z_ohm.back() - c.z_in), 0, 1e-9 * std::abs(c.z_in));
        for (std::size_t e = 0; e < c.ladder.size(); ++e) {
            const Element& element = c.ladder[c.ladder.size() - 1 - e];
            const auto kept = [&](Complex p) {
                if (element.kind == Kind::Line) {
                    return std::abs(reflection(p, element.z0_ohm));
                }
                return element.position == Position::Series ? p.real() : (1.0 / p).real();
            };
            const Complex start = path.z_ohm[path.joints[e]];
            for (std::size_t i = path.joints[e] + 1; i <= path.joints[e + 1]; ++i) {
                EXPECT_NEAR(kept(path.z_ohm[i]), kept(start), 1e-9);
                EXPECT_GT(std::abs(path.z_ohm[i] - path.z_ohm[i - 1]), 1e-6);
            }
        }
    }
}

// A stub at a pole of its admittance or impedance stays finite, and large.
TEST(Lines, PolesStayFinite) {
    struct Pole {
        const char* name;
        Element element;
    };
    const Pole poles[] = {
        {"open_quarter_shunt", stub(Kind::OpenStub, 50, 90, 1)},
        {"short_half_shunt", stub(Kind::ShortStub, 50, 180, 1)},
        {"short_zero_shunt", stub(Kind::ShortStub, 50, 0, 1)},
        {"open_half_series", stub(Kind::OpenStub, 50, 180, 1, Position::Series)},
        {"short_quarter_series", stub(Kind::ShortStub, 50, 90, 1, Position::Series)},
    };
    for (const Pole& p : poles) {
        SCOPED_TRACE(p.name);
        const Abcd m = chain_matrix({p.element}, 1.0, {});
        const Complex big = p.element.position == Position::Shunt ? m.c * 50.0 : m.b / 50.0;
        EXPECT_TRUE(std::isfinite(big.real()) && std::isfinite(big.imag()));
        EXPECT_GT(std::abs(big), 1e9);
        const Complex z = input_impedance(m, {50, 0});
        EXPECT_TRUE(std::isfinite(z.real()) && std::isfinite(z.imag()));
    }
}

TEST(Lines, Summary) {
    EXPECT_EQ(ladder_summary({line(70.7, 90, 2), stub(Kind::OpenStub, 50, 37.2, 2),
                              stub(Kind::ShortStub, 60, 45, 2)}),
              "series line 70.7 ohm 90 deg, shunt open stub 50 ohm 37.2 deg, shunt short stub 60 "
              "ohm 45 deg");
}

#ifndef _WIN32
// The subcircuit in ngspice (its lossless T lines) gives the network's input impedance into a
// 20 - j15 ohm load (at 2 GHz: 20 ohm and 5.305 pF in series) across the band.
TEST(Lines, NgspiceReproducesTheLadder) {
    TempDir dir;
    const Band band{1.3, 3.1};
    write_bytes(dir / "match.cir", network_spice(mixed, {}, 50, band));
    const double c_pf = 1000 / (2 * std::numbers::pi * 2 * 15);
    const std::string bench = "* bench\n.include match.cir\nX1 in load 0 veltrane_match\n"
                              "RL load c 20\nCL c 0 " +
                              rf::full_precision(c_pf * 1e-12) +
                              "\nI1 0 in AC 1\n.control\nset numdgt=16\nac lin 7 1.3e9 3.1e9\n"
                              "wrdata z.txt vr(in) vi(in)\nquit\n.endc\n.end\n";
    write_bytes(dir / "bench.cir", bench);
    const int status = std::system(
        ("cd '" + dir.path().string() + "' && ngspice -b bench.cir > log.txt 2>&1").c_str());
    ASSERT_EQ(status, 0) << "ngspice failed or is missing (scripts/deps.sh installs it):\n"
                         << read_bytes(dir / "log.txt");
    std::istringstream out(read_bytes(dir / "z.txt"));
    double f = 0, vr = 0, f2 = 0, vi = 0;
    int samples = 0;
    while (out >> f >> vr >> f2 >> vi) {
        SCOPED_TRACE(f);
        const double f_ghz = f / 1e9;
        const Complex z_load{20, -1000 / (2 * std::numbers::pi * f_ghz * c_pf)};
        const Complex z = input_impedance(chain_matrix(mixed, f_ghz, {}), z_load);
        EXPECT_NEAR(std::abs(Complex{vr, vi} - z), 0, 1e-6 * std::abs(z));
        ++samples;
    }
    EXPECT_EQ(samples, 7) << read_bytes(dir / "log.txt");
}
#endif

} // namespace
} // namespace veltrane::match
