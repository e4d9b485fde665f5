#include "model/checked.h"
#include "model/steps.h"

#include <cmath>

namespace veltrane {

// The band FL..FH is geometrically centred on the resonance of the pair.
StepOutcome compute_band(State& s, Resonator pair) {
    const double L = pair == Resonator::Parallel ? s.Lp : s.Ls;
    const double C = pair == Resonator::Parallel ? s.Cp : s.Cs;
    const Real P = Real(L) * C;
    if (P.value() < 0.0) {
        return Stop("Please change topology");
    }
    const Real pi = s.pi;
    const Real root_P = std::sqrt(P.value());
    if (auto stop = require_nonzero(root_P.value(), "No resonance: please change inputs")) {
        return stop;
    }
    const Real Fr = Real(std::sqrt(1e9)) / ((Real(2) * pi) * root_P); // MHz
    s.FH = s.F2;
    s.FL = s.F1;
    const Real F1F2 = Real(s.F1) * s.F2;
    if (auto stop = require_not_negative(F1F2.value(), "F1 and F2 must have the same sign")) {
        return stop;
    }
    const Real Fg = std::sqrt(F1F2.value());
    if (Fr.value() > Fg.value()) {
        s.FH = (Fr * Fr / s.F1).value();
    }
    if (Fr.value() < Fg.value()) {
        s.FL = (Fr * Fr / s.F2).value();
    }
    s.F0 = square_root(Real(s.FL) * s.FH).value();
    const Real W = Real(s.F0) * 2 * pi * 1e-6 * s.RL;
    if (pair == Resonator::Parallel) {
        s.Qbp = (W * std::fabs(s.Cp)).value();
    } else {
        s.Qbp = (Real(1) / (W * std::fabs(s.Cs))).value();
    }
    return std::nullopt;
}

} // namespace veltrane
