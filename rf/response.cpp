#include "rf/response.h"

#include <cmath>

namespace veltrane::rf {

namespace {

const Complex open_circuit{1.0, 0.0};
const Complex short_circuit{-1.0, 0.0};

bool finite(Complex z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

Complex reflection_or_open(Complex z, double z0_ohm) {
    if (!finite(z)) {
        return open_circuit;
    }
    const Complex g = reflection(z, z0_ohm);
    return finite(g) ? g : open_circuit;
}

} // namespace

Complex model_reflection(const LumpedModel& model, double f_ghz, double z0_ohm) {
    if (f_ghz <= 0) {
        // The series capacitance opens (Parallel/Series), the shunt inductance shorts
        // (Series/Parallel).
        return model.topology == Topology::ParallelSeries ? open_circuit : short_circuit;
    }
    const double x = series_reactance(model, f_ghz);
    const double b = shunt_susceptance(model, f_ghz);
    if (model.topology == Topology::ParallelSeries) {
        if (!std::isfinite(x)) {
            return open_circuit;
        }
        if (!std::isfinite(b)) {
            return reflection_or_open(Complex(0, x), z0_ohm);
        }
        return reflection_or_open(Complex(0, x) + 1.0 / Complex(1 / model.rl_ohm, b), z0_ohm);
    }
    if (!std::isfinite(b)) {
        return short_circuit;
    }
    const Complex series = std::isfinite(x) ? 1.0 / Complex(model.rl_ohm, x) : Complex(0, 0);
    const Complex y = Complex(0, b) + series;
    if (y == Complex(0, 0)) {
        return open_circuit;
    }
    return reflection_or_open(1.0 / y, z0_ohm);
}

double reflection_error_squared(const LumpedModel& model, double f_ghz, double z0_ohm,
                                Complex gamma) {
    const auto slow = [&] { return std::norm(model_reflection(model, f_ghz, z0_ohm) - gamma); };
    if (!(f_ghz > 0)) {
        return slow();
    }
    const double x = series_reactance(model, f_ghz);
    const double b = shunt_susceptance(model, f_ghz);
    // The reflection as (1 - z0 Y) / (1 + z0 Y) with Y = u + jv the model's admittance
    // (Series/Parallel), or (Z - z0) / (Z + z0) with Z = u + jv its impedance (Parallel/Series).
    double nr = 0, ni = 0, dr = 0, di = 0;
    if (model.topology == Topology::ParallelSeries) {
        const double g = 1 / model.rl_ohm;
        const double m = g * g + b * b; // |G + jB|^2
        const double u = g / m;
        const double v = x - b / m;
        nr = u - z0_ohm;
        ni = v;
        dr = u + z0_ohm;
        di = v;
    } else {
        const double m = model.rl_ohm * model.rl_ohm + x * x; // |RL + jX|^2
        const double u = z0_ohm * (model.rl_ohm / m);
        const double v = z0_ohm * (b - x / m);
        nr = 1 - u;
        ni = -v;
        dr = 1 + u;
        di = v;
    }
    const double d = dr * dr + di * di;
    if (!(d > 0) || !std::isfinite(d) || !std::isfinite(nr) || !std::isfinite(ni)) {
        return slow();
    }
    const double er = (nr * dr + ni * di) / d - gamma.real();
    const double ei = (ni * dr - nr * di) / d - gamma.imag();
    const double e = er * er + ei * ei;
    return std::isfinite(e) ? e : slow();
}

std::vector<Complex> model_reflections(const LumpedModel& model, const std::vector<double>& f_ghz,
                                       double z0_ohm) {
    std::vector<Complex> g;
    g.reserve(f_ghz.size());
    for (double f : f_ghz) {
        g.push_back(model_reflection(model, f, z0_ohm));
    }
    return g;
}

Complex rereferred(Complex s, double reference_ohm, double z0_ohm) {
    if (reference_ohm == z0_ohm) {
        return s;
    }
    if (s == open_circuit) {
        return open_circuit;
    }
    return reflection_or_open(impedance_from_reflection(s, reference_ohm), z0_ohm);
}

} // namespace veltrane::rf
