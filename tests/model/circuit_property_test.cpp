// The synthesised model, evaluated as a circuit, must present the two measured impedances.

#include "model/field_set.h"
#include "model/state.h"
#include "model/steps.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <random>

namespace veltrane {
namespace {

using cplx = std::complex<double>;
constexpr double pi = std::numbers::pi;

struct Model {
    double Ls, Cs, Lp, Cp, RL;

    // f in MHz, L in nH, C in pF.
    [[nodiscard]] double series_reactance(double f) const {
        return 2 * pi * f * Ls / 1000 - 1e6 / (2 * pi * f * Cs);
    }
    [[nodiscard]] double shunt_susceptance(double f) const {
        return 2 * pi * f * Cp / 1e6 - 1000 / (2 * pi * f * Lp);
    }
    // Shunt pair across RL, series pair in front.
    [[nodiscard]] cplx parallel_series(double f) const {
        return cplx(0, series_reactance(f)) + 1.0 / cplx(1 / RL, shunt_susceptance(f));
    }
    // Series pair in series with RL, shunt pair across both.
    [[nodiscard]] cplx series_parallel(double f) const {
        return 1.0 / (cplx(0, shunt_susceptance(f)) + 1.0 / cplx(RL, series_reactance(f)));
    }
};

double relative_error(cplx actual, cplx expected) {
    return std::abs(actual - expected) / std::abs(expected);
}

struct Point {
    double F; // GHz
    double R, X;
};

class CircuitProperty : public ::testing::Test {
  protected:
    std::mt19937_64 rng{20261207};

    double uniform(double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(rng); }

    std::pair<Point, Point> random_points() {
        const double F1 = uniform(0.1, 10);
        double F2 = F1 * uniform(1.2, 4);
        if (uniform(0, 1) < 0.5) {
            F2 = F1 / uniform(1.2, 4); // F1 above F2 as typed
        }
        return {Point{F1, uniform(1, 100), uniform(-100, 100)},
                Point{F2, uniform(1, 100), uniform(-100, 100)}};
    }

    static State state_for(const Point& p1, const Point& p2, double RL) {
        State s;
        s.pi = pi;
        s.F1 = p1.F * 1000;
        s.F2 = p2.F * 1000;
        s.R1 = p1.R;
        s.X1 = p1.X;
        s.R2 = p2.R;
        s.X2 = p2.X;
        s.RL = RL;
        return s;
    }
};

const Option f1_choices[] = {Option::F1Ind, Option::F1Cap};
const Option f2_choices[] = {Option::F2Ind, Option::F2Cap};

TEST_F(CircuitProperty, ParallelSeriesPresentsBothPoints) {
    for (int trial = 0; trial < 500; ++trial) {
        const auto [p1, p2] = random_points();
        const double RL = std::max(p1.R, p2.R) * uniform(1.0, 3.0);
        for (Option f1 : f1_choices) {
            for (Option f2 : f2_choices) {
                State s = state_for(p1, p2, RL);
                EXPECT_FALSE(solve_parallel_series(
                    s, choice_of(testing::window({}, {f1, f2, Option::ParSer}))));
                EXPECT_FALSE(synthesise_elements(s));
                const Model m{s.Ls, s.Cs, s.Lp, s.Cp, s.RL};
                SCOPED_TRACE(::testing::Message() << "trial " << trial << " F1 " << p1.F << " F2 "
                                                  << p2.F << " RL " << RL);
                EXPECT_LT(relative_error(m.parallel_series(s.F1), cplx(p1.R, p1.X)), 1e-6);
                EXPECT_LT(relative_error(m.parallel_series(s.F2), cplx(p2.R, p2.X)), 1e-6);
            }
        }
    }
}

TEST_F(CircuitProperty, SeriesParallelPresentsBothPoints) {
    for (int trial = 0; trial < 500; ++trial) {
        const auto [p1, p2] = random_points();
        // RL up to the smaller parallel resistance R(1 + Q^2).
        const double Rp1 = p1.R * (1 + (p1.X / p1.R) * (p1.X / p1.R));
        const double Rp2 = p2.R * (1 + (p2.X / p2.R) * (p2.X / p2.R));
        const double RL = std::min(Rp1, Rp2) * uniform(0.05, 0.999);
        for (Option f1 : f1_choices) {
            for (Option f2 : f2_choices) {
                State s = state_for(p1, p2, RL);
                EXPECT_FALSE(solve_series_parallel(
                    s, choice_of(testing::window({}, {f1, f2, Option::SerPar}))));
                EXPECT_FALSE(synthesise_elements(s));
                const Model m{s.Ls, s.Cs, s.Lp, s.Cp, s.RL};
                SCOPED_TRACE(::testing::Message() << "trial " << trial << " F1 " << p1.F << " F2 "
                                                  << p2.F << " RL " << RL);
                EXPECT_LT(relative_error(m.series_parallel(s.F1), cplx(p1.R, p1.X)), 1e-6);
                EXPECT_LT(relative_error(m.series_parallel(s.F2), cplx(p2.R, p2.X)), 1e-6);
            }
        }
    }
}

} // namespace
} // namespace veltrane
