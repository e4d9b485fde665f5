#pragma once

#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "rf/response.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace veltrane::rf {

// How closely a model follows measured data: |Gamma_model - Gamma_data| with both reflections
// referred to one real reference, over the samples of a frequency range.
struct FitStats {
    double max = 0.0;    // the largest difference
    double rms = 0.0;    // root mean square of the differences
    double at_ghz = 0.0; // the frequency of the largest (the lowest such sample)
    std::size_t points = 0;
};

// The fit over the samples between the two edges, both included, in either order (FL lies above
// FH when F1 was typed above F2). The edges are in MHz as the calculation holds FL and FH, and a
// sample compares as f_ghz * 1000, exactly as a typed frequency does. Samples at 0 Hz and below
// are left out: the model's reactances are not defined there. Nothing when no sample lies in the
// range.
[[nodiscard]] std::optional<FitStats> fit(const LumpedModel& model, const PortData& data,
                                          double z0_ohm, double edge1_mhz, double edge2_mhz);

// The frequencies a search judges: fmin_ghz to fmax_ghz, both included, each end open when not
// given. Samples at 0 Hz and below never belong to it.
struct FrequencyRange {
    std::optional<double> fmin_ghz;
    std::optional<double> fmax_ghz;
    [[nodiscard]] bool contains(double f_ghz) const {
        return f_ghz > 0.0 && !(fmin_ghz && f_ghz < *fmin_ghz) && !(fmax_ghz && f_ghz > *fmax_ghz);
    }
};

// The fit over the samples inside both the edges and `range`.
[[nodiscard]] std::optional<FitStats> fit(const LumpedModel& model, const PortData& data,
                                          double z0_ohm, double edge1_mhz, double edge2_mhz,
                                          const FrequencyRange& range);

// The fit over the samples of `range`: the figure the best-fit search judges a model by.
[[nodiscard]] std::optional<FitStats> fit_range(const LumpedModel& model, const PortData& data,
                                                double z0_ohm, const FrequencyRange& range);

// The same over every sample of the data.
[[nodiscard]] std::optional<FitStats> fit_all(const LumpedModel& model, const PortData& data,
                                              double z0_ohm);

// The data a perfect measurement of `model` would give at the frequencies `f_ghz` (rising),
// referred to `reference_ohm`.
[[nodiscard]] PortData sweep(const LumpedModel& model, std::vector<double> f_ghz,
                             double reference_ohm);

} // namespace veltrane::rf
