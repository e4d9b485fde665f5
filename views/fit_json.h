#pragma once

// A best fit's candidate as veltrane-calc's JSON holds it, for every front end that gives it
// (veltrane-calc, the Python module).

#include "rf/best_fit.h"

#include <nlohmann/json.hpp>

namespace veltrane::views {

// {"f1_ghz", "f2_ghz", "f1_crossover", "f2_crossover", "topology", "rl_ohm", "ls_nh", "cs_pf",
// "lp_nh", "cp_pf", "f0_mhz", "fl_mhz", "fh_mhz", "max", "rms", "at_ghz", "positive"}; numbers
// that are not finite are null.
[[nodiscard]] nlohmann::ordered_json candidate_json(const rf::Candidate& candidate);

} // namespace veltrane::views
