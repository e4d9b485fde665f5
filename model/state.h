#pragma once

#include "model/choice.h"
#include "model/inputs.h"
#include "model/result.h"

#include <cmath>

namespace veltrane {

// Section Q values at F1 and F2 of one topology.
struct SectionQ {
    double q1 = 0.0;
    double q2 = 0.0;
};

// The working quantities of one calculation, under the names the steps use. Frequencies in
// MHz, resistances and reactances in ohm, susceptances in siemens, inductances in nH,
// capacitances in pF.
// The value of pi a calculation sets first: 4 atan(1).
[[nodiscard]] inline double calculation_pi() {
    return 4 * std::atan(1.0);
}

struct State {
    State() = default;
    explicit State(const Inputs& in)
        : F1(in.F1), F2(in.F2), R1(in.R1), X1(in.X1), R2(in.R2), X2(in.X2), RL(in.RL) {}

    double pi = 0.0;
    double F1 = 0.0, F2 = 0.0;
    double R1 = 0.0, X1 = 0.0;
    double R2 = 0.0, X2 = 0.0;
    double RL = 0.0;
    double Xs1 = 0.0, Xs2 = 0.0; // series reactance the model presents at F1, F2
    double Bp1 = 0.0, Bp2 = 0.0; // shunt susceptance the model presents at F1, F2
    SectionQ par_ser;            // section Q of the Parallel/Series solution
    SectionQ ser_par;            // section Q of the Series/Parallel solution
    double Ls = 0.0, Cs = 0.0;
    double Lp = 0.0, Cp = 0.0;
    double Qbp = 0.0;
    double FL = 0.0, FH = 0.0, F0 = 0.0;
};

// The result of a finished calculation of `topology`.
[[nodiscard]] constexpr Result result_of(const State& s, Topology topology) {
    const SectionQ q = topology == Topology::ParallelSeries ? s.par_ser : s.ser_par;
    return {s.F1, s.F2, s.R1, s.X1, s.R2,  s.X2, s.RL, s.Ls, s.Cs,
            s.Lp, s.Cp, q.q1, q.q2, s.Qbp, s.FL, s.FH, s.F0};
}

} // namespace veltrane
