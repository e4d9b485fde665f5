#include "match/bound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane::match {

namespace {

constexpr double pi = std::numbers::pi;

double omega(double f_ghz) {
    return 2 * pi * f_ghz * 1e9; // rad/s
}

// The two integral constraints: over the band, ln(1/Gamma) * span <= budget.
double from_budget(double budget, double span) {
    return std::exp(-budget / span);
}

} // namespace

Limit limit_from_gamma(double gamma) {
    return {gamma, return_loss_db(gamma), gain_db(1 - gamma * gamma)};
}

double shunt_section_bound(double r_ohm, double c_pf, double l_nh, const Band& band) {
    const double w1 = omega(band.fl_ghz);
    const double w2 = omega(band.fh_ghz);
    double gamma = 0.0;
    if (c_pf > 0) {
        gamma = from_budget(pi / (r_ohm * c_pf * 1e-12), w2 - w1);
    }
    if (l_nh > 0) {
        gamma = std::max(gamma, from_budget(pi * l_nh * 1e-9 / r_ohm, 1 / w1 - 1 / w2));
    }
    return gamma;
}

double series_section_bound(double r_ohm, double l_nh, double c_pf, const Band& band) {
    const double w1 = omega(band.fl_ghz);
    const double w2 = omega(band.fh_ghz);
    double gamma = 0.0;
    if (l_nh > 0) {
        gamma = from_budget(pi * r_ohm / (l_nh * 1e-9), w2 - w1);
    }
    if (c_pf > 0) {
        gamma = std::max(gamma, from_budget(pi * r_ohm * c_pf * 1e-12, 1 / w1 - 1 / w2));
    }
    return gamma;
}

std::optional<Limit> model_bound(const rf::LumpedModel& model, const Band& band) {
    if (!(model.rl_ohm > 0)) {
        return std::nullopt;
    }
    double gamma = 0.0;
    if (model.topology == Topology::ParallelSeries) {
        if (!(model.cp_pf > 0 && model.lp_nh > 0)) {
            return std::nullopt;
        }
        gamma = shunt_section_bound(model.rl_ohm, model.cp_pf, model.lp_nh, band);
    } else {
        if (!(model.ls_nh > 0 && model.cs_pf > 0)) {
            return std::nullopt;
        }
        gamma = series_section_bound(model.rl_ohm, model.ls_nh, model.cs_pf, band);
    }
    if (!std::isfinite(gamma)) {
        return std::nullopt;
    }
    return limit_from_gamma(gamma);
}

std::optional<Limit> data_estimate(const Load& load, const Band& band, double source_ohm) {
    if (load.f_ghz.size() < 2) {
        return std::nullopt;
    }
    double integral = 0.0;
    double previous = 0.0;
    for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
        const double gamma = std::abs(reflection(load.z_ohm[i], source_ohm));
        const double value = -std::log(std::clamp(gamma, 1e-15, 1.0));
        if (i > 0) {
            integral += (value + previous) / 2 * (omega(load.f_ghz[i]) - omega(load.f_ghz[i - 1]));
        }
        previous = value;
    }
    const double gamma = from_budget(integral, omega(band.fh_ghz) - omega(band.fl_ghz));
    if (!std::isfinite(gamma)) {
        return std::nullopt;
    }
    return limit_from_gamma(gamma);
}

} // namespace veltrane::match
