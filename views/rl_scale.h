#pragma once

// The range a front end offers for RL with a topology at two points: the accepted range where it
// is bounded, widened by the largest section Q the searches try where it is not, on a
// logarithmic scale.

#include "model/choice.h"
#include "views/evaluation.h"

#include <optional>
#include <string>

namespace veltrane::views {

struct RlScale {
    double lo_ohm = 0.0;
    double hi_ohm = 0.0;
    std::string text; // "RL ≥ 51.9 Ω for Parallel/Series"
};

// Nothing when no RL fits the topology at the points.
[[nodiscard]] std::optional<RlScale> rl_scale(Topology topology, const DataPoint& p1,
                                              const DataPoint& p2);

// Where `rl_ohm` lies on the scale, from 0 at its low end to 1 at its high end (clamped).
[[nodiscard]] double rl_position(const RlScale& scale, double rl_ohm);
// The RL at a position of the scale.
[[nodiscard]] double rl_at(const RlScale& scale, double position);

} // namespace veltrane::views
