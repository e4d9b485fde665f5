#include "rf/model_warnings.h"
#include "model/units.h"

#include "rf/model_impedance.h"
#include "rf/numbers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace veltrane::rf {

namespace {

std::string text(double value) {
    return std::isfinite(value) ? readable(value) : std::string{"-"};
}

// The largest |Gamma_a - Gamma_b| over the frequencies.
double largest_change(const LumpedModel& a, const LumpedModel& b, const std::vector<double>& f_ghz,
                      double z0_ohm) {
    double largest = 0.0;
    for (const double f : f_ghz) {
        const double change =
            std::abs(model_reflection(a, f, z0_ohm) - model_reflection(b, f, z0_ohm));
        largest = std::isfinite(change) ? std::max(largest, change)
                                        : std::numeric_limits<double>::infinity();
    }
    return largest;
}

} // namespace

std::vector<std::string> model_warnings(const Result& state, Topology topology,
                                        const PortData& data, double z0_ohm,
                                        const FrequencyRange& range) {
    std::vector<std::string> warnings;
    std::vector<double> f_in_range;
    double data_lo = 0.0, data_hi = 0.0, largest_gamma = 0.0;
    bool any = false;
    for (std::size_t i = 0; i < data.f_ghz.size() && i < data.s.size(); ++i) {
        const double f = data.f_ghz[i];
        if (!(f > 0.0)) {
            continue;
        }
        data_lo = any ? std::min(data_lo, f) : f;
        data_hi = any ? std::max(data_hi, f) : f;
        any = true;
        if (range.contains(f)) {
            f_in_range.push_back(f);
            const double gamma = std::abs(rereferred(data.s[i], data.reference_ohm, z0_ohm));
            if (std::isfinite(gamma)) {
                largest_gamma = std::max(largest_gamma, gamma);
            }
        }
    }
    if (f_in_range.empty()) {
        return warnings;
    }
    const std::string span = text(data_lo) + " to " + text(data_hi) + " GHz";
    const auto outside = [&](double mhz) {
        return mhz < ghz_to_mhz(data_lo) || mhz > ghz_to_mhz(data_hi);
    };
    if (outside(state.F0)) {
        warnings.push_back("F0 = " + text(state.F0) + " MHz lies outside the data (" + span +
                           "): the model's resonance was not measured");
    } else if (outside(std::min(state.FL, state.FH)) || outside(std::max(state.FL, state.FH))) {
        warnings.push_back("the band FL..FH = " + text(state.FL) + " to " + text(state.FH) +
                           " MHz reaches outside the data (" + span + ")");
    }

    const LumpedModel model = LumpedModel::from(state, topology);
    const double huge = std::numeric_limits<double>::infinity();
    const std::string where = range.fmin_ghz || range.fmax_ghz ? "the range" : "the data";
    struct Removal {
        const char* name;
        double LumpedModel::*element;
        double replaced; // the value that makes the element a short (series) or an open (shunt)
        const char* acts_as;
    };
    const std::array<Removal, 4> removals = {{{"Ls", &LumpedModel::ls_nh, 0.0, "a short"},
                                              {"Cs", &LumpedModel::cs_pf, huge, "a short"},
                                              {"Lp", &LumpedModel::lp_nh, huge, "an open"},
                                              {"Cp", &LumpedModel::cp_pf, 0.0, "an open"}}};
    for (const Removal& removal : removals) {
        LumpedModel without = model;
        without.*removal.element = removal.replaced;
        if (largest_change(model, without, f_in_range, z0_ohm) < negligible_reflection) {
            warnings.push_back(std::string{removal.name} + " acts as " + removal.acts_as +
                               " over " + where);
        }
    }

    const auto stats = fit_range(model, data, z0_ohm, range);
    if (stats && stats->max > unfollowed_share * largest_gamma) {
        warnings.push_back("the largest error " + text(stats->max) +
                           " exceeds a quarter of the data's largest |Gamma| " +
                           text(largest_gamma) + " in " + where +
                           ": this topology cannot follow the device");
    }
    return warnings;
}

} // namespace veltrane::rf
