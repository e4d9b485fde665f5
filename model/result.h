#pragma once

namespace veltrane {

// What a finished calculation gives: the points it solved for, the model's elements, the section
// Q values of its topology, the bandpass Q and the band. Frequencies in MHz, resistances and
// reactances in ohm, inductances in nH, capacitances in pF.
struct Result {
    // The inputs as the calculation used them: RL moved off a limit it equalled, a zero
    // reactance of Series/Parallel replaced by 1e-17.
    double F1 = 0.0, F2 = 0.0;
    double R1 = 0.0, X1 = 0.0;
    double R2 = 0.0, X2 = 0.0;
    double RL = 0.0;
    double Ls = 0.0, Cs = 0.0;           // series pair
    double Lp = 0.0, Cp = 0.0;           // parallel pair
    double Q1 = 0.0, Q2 = 0.0;           // section Q at F1 and F2
    double Qbp = 0.0;                    // bandpass Q
    double FL = 0.0, FH = 0.0, F0 = 0.0; // band and its mean frequency
};

// Every element a passive part can have: all four positive.
[[nodiscard]] constexpr bool all_positive(const Result& r) {
    return r.Ls > 0 && r.Cs > 0 && r.Lp > 0 && r.Cp > 0;
}

} // namespace veltrane
