#pragma once

#include "model/result.h"
#include "model/solve.h"
#include "rf/choices.h"
#include "rf/e_series.h"
#include "rf/model_impedance.h"
#include "rf/sweep.h"

#include <optional>
#include <string>
#include <vector>

namespace veltrane::rf {

// What an exported file describes: the model, and when it holds standard values, the series and
// the calculated model they replace.
struct DescribedModel {
    LumpedModel model;
    std::optional<ESeries> series;
    std::optional<LumpedModel> exact;
};

// Touchstone 1.1 one-port file of the model's reflection over `f_ghz` (rising, >= 0), referred
// to `z0_ohm`: "!" lines naming the program, topology and elements, "# GHz S RI R <z0>", then one
// line per frequency with shortest round-trip numbers.
[[nodiscard]] std::string touchstone_text(const DescribedModel& described,
                                          const std::vector<double>& f_ghz, double z0_ohm);

// SPICE subcircuit "veltrane_model" with the pins port and ground, values in H, F and ohm at
// full precision, a comment block with the calculation's inputs and choices and an example of
// use that sweeps `sweep`.
[[nodiscard]] std::string spice_text(const DescribedModel& described, const Result& calculation,
                                     Choice choice, const Sweep& sweep);

} // namespace veltrane::rf
