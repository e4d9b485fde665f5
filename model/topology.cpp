#include "model/checked.h"
#include "model/steps.h"

#include <cmath>
#include <string>

namespace veltrane {

StepOutcome solve_parallel_series(State& s, const Choice& choice) {
    if (s.RL == s.R1) {
        s.RL = s.R1 + 1e-8;
    }
    if (s.RL == s.R2) {
        s.RL = s.R2 + 1e-8;
    }
    double Rmax = s.R1;
    if (s.R2 > s.R1) {
        Rmax = s.R2;
    }
    if (s.RL < Rmax) {
        return Stop::rl_must_exceed(Rmax);
    }

    struct Point {
        double R, X;
        Crossover crossover;
        std::string_view r_must_be_positive;
    };
    auto solve_point = [&](const Point& p, double& Q, double& Bp, double& Xs) -> StepOutcome {
        double sign = +1;
        if (auto stop = require_nonzero(p.R, p.r_must_be_positive)) {
            return stop;
        }
        const Real ratio = Real(s.RL) / p.R - 1;
        if (auto stop = require_not_negative(ratio.value(), p.r_must_be_positive)) {
            return stop;
        }
        Q = std::sqrt(ratio.value());
        if (p.crossover == Crossover::Inductive) {
            sign = -1;
        }
        Real RQ = Real(p.R) * Q;
        if (RQ.value() == 0.0) {
            RQ = 1e-17;
        }
        Bp = (Real(sign) * Q / s.RL).value();
        Xs = (Real(p.X) + Real(sign) * RQ).value();
        return std::nullopt;
    };
    if (auto stop = solve_point({s.R1, s.X1, choice.f1, "R1 must be positive"}, s.par_ser.q1, s.Bp1,
                                s.Xs1)) {
        return stop;
    }
    return solve_point({s.R2, s.X2, choice.f2, "R2 must be positive"}, s.par_ser.q2, s.Bp2, s.Xs2);
}

StepOutcome solve_series_parallel(State& s, const Choice& choice) {
    // Parallel equivalent of a measured point: conductance Gp and susceptance B.
    struct Parallel {
        Real Gp = 0.0, B = 0.0;
    };
    auto parallel_equivalent = [](double R, double& X, std::string_view r_must_be_positive,
                                  Parallel& p) -> StepOutcome {
        if (X == 0.0) {
            X = 1e-17;
        }
        if (auto stop = require_nonzero(R, r_must_be_positive)) {
            return stop;
        }
        const Real Qx = std::fabs((Real(X) / R).value());
        p.Gp = (Real(1) / R) / (Real(1) + Qx * Qx);
        p.B = ((-Qx * Qx) / X) / (Real(1) + Qx * Qx);
        return std::nullopt;
    };
    Parallel p1;
    Parallel p2;
    if (auto stop = parallel_equivalent(s.R1, s.X1, "R1 must be positive", p1)) {
        return stop;
    }
    if (auto stop = parallel_equivalent(s.R2, s.X2, "R2 must be positive", p2)) {
        return stop;
    }

    if (s.RL == (Real(1) / p1.Gp).value()) {
        s.RL = (Real(1) / p1.Gp - 1e-8).value();
    }
    if (s.RL == (Real(1) / p2.Gp).value()) {
        s.RL = (Real(1) / p2.Gp - 1e-8).value();
    }
    Real Gmax = p1.Gp;
    if (p2.Gp.value() > p1.Gp.value()) {
        Gmax = p2.Gp;
    }
    const Real limit = Real(1) / Gmax;
    if (limit.value() < s.RL) {
        return Stop::rl_must_stay_below(limit.value());
    }

    // The section of one point: its Q, then the series reactance and shunt susceptance.
    auto section = [&](const Parallel& p, Crossover crossover, std::string_view r_must_be_positive,
                       double& Q, double& Xs, double& Bp) -> StepOutcome {
        if (auto stop = require_nonzero(s.RL, "RL must be positive")) {
            return stop;
        }
        const Real argument = (Real(1) / s.RL) / p.Gp - 1;
        if (argument.value() < 0.0) {
            if (s.RL < 0.0) {
                return Stop("RL must be positive");
            }
            if (p.Gp.value() < 0.0) {
                return Stop(r_must_be_positive);
            }
            return Stop("Please change RL"); // RL a rounding error above the limit
        }
        const Real q = std::sqrt(argument.value());
        const Real dB = p.Gp * q;
        const double sign = crossover_sign(crossover);
        Xs = ((Real(-sign) * q) * s.RL).value();
        Bp = (p.B - dB * sign).value();
        Q = q.value();
        return std::nullopt;
    };
    if (auto stop = section(p1, choice.f1, "R1 must be positive", s.ser_par.q1, s.Xs1, s.Bp1)) {
        return stop;
    }
    return section(p2, choice.f2, "R2 must be positive", s.ser_par.q2, s.Xs2, s.Bp2);
}

} // namespace veltrane
