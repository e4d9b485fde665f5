#include "match/microstrip.h"

#include <cmath>
#include <numbers>

namespace veltrane::match {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double eta0 = 376.730313668; // free-space impedance (ohm)
constexpr double c_mm_per_ns = 299.792458;

// Impedance of the strip in air at width ratio u = W / H.
double z01(double u) {
    const double f = 6 + (2 * pi - 6) * std::exp(-std::pow(30.666 / u, 0.7528));
    return eta0 / (2 * pi) * std::log(f / u + std::sqrt(1 + 4 / (u * u)));
}

// Effective permittivity of an infinitely thin strip at u = W / H.
double eps_eff0(double u, double eps_r) {
    const double u4 = u * u * u * u;
    const double a = 1 + std::log((u4 + (u / 52) * (u / 52)) / (u4 + 0.432)) / 49 +
                     std::log(1 + std::pow(u / 18.1, 3)) / 18.7;
    const double b = 0.564 * std::pow((eps_r - 0.9) / (eps_r + 3), 0.053);
    return (eps_r + 1) / 2 + (eps_r - 1) / 2 * std::pow(1 + 10 / u, -a * b);
}

bool board(const Substrate& s) {
    return std::isfinite(s.eps_r) && s.eps_r >= 1 && std::isfinite(s.h_mm) && s.h_mm > 0 &&
           std::isfinite(s.t_um) && s.t_um >= 0;
}

} // namespace

std::optional<StripLine> microstrip(const Substrate& substrate, double w_mm) {
    if (!board(substrate) || !std::isfinite(w_mm) || w_mm <= 0) {
        return std::nullopt;
    }
    const double u = w_mm / substrate.h_mm;
    const double t = substrate.t_um / 1000 / substrate.h_mm;
    double u1 = u;
    double ur = u;
    if (t > 0) {
        // The thickness widens the strip: by du1 in air, by dur in the dielectric.
        const double coth = 1 / std::tanh(std::sqrt(6.517 * u));
        const double du1 = t / pi * std::log(1 + 4 * std::numbers::e / (t * coth * coth));
        const double dur = (1 + 1 / std::cosh(std::sqrt(substrate.eps_r - 1))) / 2 * du1;
        u1 = u + du1;
        ur = u + dur;
    }
    const double ratio = z01(u1) / z01(ur);
    const double eps_eff = eps_eff0(ur, substrate.eps_r) * ratio * ratio;
    return StripLine{z01(ur) / std::sqrt(eps_eff), eps_eff};
}

std::optional<double> microstrip_width(const Substrate& substrate, double z0_ohm) {
    if (!board(substrate) || !std::isfinite(z0_ohm) || z0_ohm <= 0) {
        return std::nullopt;
    }
    // The impedance falls as the strip widens: bisect on log(W).
    double narrow = std::log(substrate.h_mm / 1000);
    double wide = std::log(substrate.h_mm * 100);
    const auto z_at = [&](double log_w) { return microstrip(substrate, std::exp(log_w))->z0_ohm; };
    if (z0_ohm > z_at(narrow) || z0_ohm < z_at(wide)) {
        return std::nullopt;
    }
    while (wide - narrow > 1e-10) {
        const double middle = (narrow + wide) / 2;
        (z_at(middle) > z0_ohm ? narrow : wide) = middle;
    }
    return std::exp((narrow + wide) / 2);
}

double line_length_mm(double eps_eff, double degrees, double f_ghz) {
    if (!(eps_eff > 0) || !(f_ghz > 0) || !std::isfinite(degrees)) {
        return 0.0;
    }
    return degrees / 360 * c_mm_per_ns / (f_ghz * std::sqrt(eps_eff));
}

} // namespace veltrane::match
