#include "rf/model_impedance.h"
#include "model/units.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane::rf {

namespace {
constexpr double pi = std::numbers::pi;

bool finite(Complex z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

// a / b without overflow in the working where the quotient itself is finite: both are scaled by
// the same power of two first, so that b's larger part lies between 1 and 2.
Complex quotient(Complex a, Complex b) {
    const double largest = std::max(std::abs(b.real()), std::abs(b.imag()));
    if (largest == 0.0 || !std::isfinite(largest)) {
        return a / b;
    }
    const int e = -std::ilogb(largest);
    const auto scale = [e](Complex z) {
        return Complex{std::ldexp(z.real(), e), std::ldexp(z.imag(), e)};
    };
    return scale(a) / scale(b);
}
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

// Worked out directly first (the usual case, to the last bit as always); only where that
// overflows, again with the quotient formed first and scaled.
Complex reflection(Complex z, double z0_ohm) {
    const Complex g = (z - z0_ohm) / (z + z0_ohm);
    return finite(g) || !finite(z) ? g : quotient(z - z0_ohm, z + z0_ohm);
}

Complex impedance_from_reflection(Complex s, double reference_ohm) {
    const Complex z = reference_ohm * (1.0 + s) / (1.0 - s);
    return finite(z) || !finite(s) || s == 1.0 ? z : reference_ohm * quotient(1.0 + s, 1.0 - s);
}

} // namespace veltrane::rf
