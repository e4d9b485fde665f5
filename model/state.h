#pragma once

namespace veltrane {

// Section Q values at F1 and F2 of one topology.
struct SectionQ {
    double q1 = 0.0;
    double q2 = 0.0;
};

// The quantities of one calculation. Frequencies in MHz, resistances and reactances in ohm,
// susceptances in siemens, inductances in nH, capacitances in pF.
struct State {
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

} // namespace veltrane
