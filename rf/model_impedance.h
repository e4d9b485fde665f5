#pragma once

#include "model/result.h"
#include "model/solve.h"

#include <complex>

namespace veltrane::rf {

using Complex = std::complex<double>;

// The synthesised model as a circuit: the series pair Ls, Cs and the shunt pair Lp, Cp around
// the load RL in one of the two topologies. Units as the calculation holds them.
struct LumpedModel {
    Topology topology = Topology::ParallelSeries;
    double ls_nh = 0.0;
    double cs_pf = 0.0;
    double lp_nh = 0.0;
    double cp_pf = 0.0;
    double rl_ohm = 0.0;

    // The elements and RL of a finished calculation.
    [[nodiscard]] static LumpedModel from(const Result& state, Topology topology);
    friend bool operator==(const LumpedModel&, const LumpedModel&) = default;
};

// Reactance of the series pair and susceptance of the shunt pair at `f_ghz`; the same branch
// formulas as the calculation, in ohm and siemens.
[[nodiscard]] double series_reactance(const LumpedModel& model, double f_ghz);
[[nodiscard]] double shunt_susceptance(const LumpedModel& model, double f_ghz);

// The impedance the model presents at `f_ghz` (ohm). Parallel/Series: the shunt pair across RL
// with the series pair in front; Series/Parallel: the series pair in series with RL and the shunt
// pair across both. Finite for every f_ghz > 0 and RL > 0.
[[nodiscard]] Complex impedance(const LumpedModel& model, double f_ghz);

// Reflection coefficient of impedance `z` referred to the real reference `z0_ohm`; finite
// wherever the true value is, however large z.
[[nodiscard]] Complex reflection(Complex z, double z0_ohm);

// The impedance whose reflection referred to `reference_ohm` is `s`: R (1 + s) / (1 - s), finite
// wherever the true value is (s = 1e308 gives -R); not finite at s = 1, an open circuit.
[[nodiscard]] Complex impedance_from_reflection(Complex s, double reference_ohm);

} // namespace veltrane::rf
