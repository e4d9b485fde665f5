#include "rf/model_impedance.h"
#include "model/units.h"

#include <cmath>
#include <numbers>

namespace veltrane::rf {

namespace {
constexpr double pi = std::numbers::pi;
} // namespace

LumpedModel LumpedModel::from(const Result& state, Topology topology) {
    return {topology, state.Ls, state.Cs, state.Lp, state.Cp, state.RL};
}

double series_reactance(const LumpedModel& model, double f_ghz) {
    const double f = ghz_to_mhz(f_ghz);
    return 2 * pi * f * model.ls_nh / 1000 - 1e6 / (2 * pi * f * model.cs_pf);
}

double shunt_susceptance(const LumpedModel& model, double f_ghz) {
    const double f = ghz_to_mhz(f_ghz);
    return 2 * pi * f * model.cp_pf / 1e6 - 1000 / (2 * pi * f * model.lp_nh);
}

Complex impedance(const LumpedModel& model, double f_ghz) {
    const double x = series_reactance(model, f_ghz);
    const double b = shunt_susceptance(model, f_ghz);
    if (model.topology == Topology::ParallelSeries) {
        return Complex(0, x) + 1.0 / Complex(1 / model.rl_ohm, b);
    }
    return 1.0 / (Complex(0, b) + 1.0 / Complex(model.rl_ohm, x));
}

Complex reflection(Complex z, double z0_ohm) {
    return (z - z0_ohm) / (z + z0_ohm);
}

Complex impedance_from_reflection(Complex s, double reference_ohm) {
    return reference_ohm * (1.0 + s) / (1.0 - s);
}

} // namespace veltrane::rf
