#pragma once

#include "model/result.h"
#include "model/solve.h"
#include "rf/fit.h"
#include "rf/port_data.h"

#include <string>
#include <vector>

namespace veltrane::rf {

// An element whose removal (a series element shorted, a shunt element opened) moves the model's
// reflection by less than this at every sample of the range counts as negligible.
inline constexpr double negligible_reflection = 1e-3;

// A model that misses the data by more than this share of the data's largest |Gamma| in the
// range does not follow the device.
inline constexpr double unfollowed_share = 0.25;

// What a person should know before trusting a calculated model against measured data, each a
// sentence without the leading "Warning: ": F0, or else the band FL..FH, outside the data's
// frequencies; an element negligible over the range ("Cs acts as a short over the data"); a
// largest error above a quarter of the data's largest |Gamma| in the range. Reflections are
// referred to `z0_ohm`. Empty when there is nothing to say or no sample lies in the range.
[[nodiscard]] std::vector<std::string> model_warnings(const Result& state, Topology topology,
                                                      const PortData& data, double z0_ohm,
                                                      const FrequencyRange& range);

} // namespace veltrane::rf
