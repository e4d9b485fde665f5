#include "rf/fit.h"
#include "model/units.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace veltrane::rf {

std::optional<FitStats> fit(const LumpedModel& model, const PortData& data, double z0_ohm,
                            double edge1_mhz, double edge2_mhz) {
    return fit(model, data, z0_ohm, edge1_mhz, edge2_mhz, FrequencyRange{});
}

std::optional<FitStats> fit_range(const LumpedModel& model, const PortData& data, double z0_ohm,
                                  const FrequencyRange& range) {
    const double huge = std::numeric_limits<double>::max();
    return fit(model, data, z0_ohm, -huge, huge, range);
}

std::optional<FitStats> fit(const LumpedModel& model, const PortData& data, double z0_ohm,
                            double edge1_mhz, double edge2_mhz, const FrequencyRange& range) {
    const double lo_mhz = std::min(edge1_mhz, edge2_mhz);
    const double hi_mhz = std::max(edge1_mhz, edge2_mhz);
    FitStats stats;
    double sum_squares = 0.0;
    for (std::size_t i = 0; i < data.f_ghz.size() && i < data.s.size(); ++i) {
        const double f_ghz = data.f_ghz[i];
        const double f_mhz = ghz_to_mhz(f_ghz);
        if (!range.contains(f_ghz) || f_mhz < lo_mhz || f_mhz > hi_mhz) {
            continue;
        }
        const double error = std::sqrt(reflection_error_squared(
            model, f_ghz, z0_ohm, rereferred(data.s[i], data.reference_ohm, z0_ohm)));
        if (!std::isfinite(error)) {
            continue; // a data point whose own impedance is not a number
        }
        if (stats.points == 0 || error > stats.max) {
            stats.max = error;
            stats.at_ghz = f_ghz;
        }
        sum_squares += error * error;
        ++stats.points;
    }
    if (stats.points == 0) {
        return std::nullopt;
    }
    stats.rms = std::sqrt(sum_squares / static_cast<double>(stats.points));
    return stats;
}

std::optional<FitStats> fit_all(const LumpedModel& model, const PortData& data, double z0_ohm) {
    const double huge = std::numeric_limits<double>::max();
    return fit(model, data, z0_ohm, -huge, huge);
}

PortData sweep(const LumpedModel& model, std::vector<double> f_ghz, double reference_ohm) {
    PortData data;
    data.source = "model";
    data.reference_ohm = reference_ohm;
    data.s.reserve(f_ghz.size());
    for (const double f : f_ghz) {
        data.s.push_back(reflection(impedance(model, f), reference_ohm));
    }
    data.f_ghz = std::move(f_ghz);
    return data;
}

} // namespace veltrane::rf
