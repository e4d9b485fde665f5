#pragma once

#include "model/choice.h"

#include <functional>
#include <optional>

namespace veltrane::rf {

// The RL with the smallest error for one pair of points and one choice, and that error.
struct RlMinimum {
    double rl_ohm;
    double error;
};

// The error of the model at RL `rl_ohm`, exact while it stays below `bound` (above it, any
// value above `bound` will do).
using RlObjective = std::function<double(double rl_ohm, double bound)>;

// Searches RL over the range the topology accepts for the points R1 + jX1 and R2 + jX2, up to
// section Q rl_search_max_q: a logarithmic grid of rl_search_grid points, then a golden-section
// search between the neighbours of the best grid point, which bracket a minimum of the
// objective. Every comparison is exact: a point is evaluated up to the best value known, and
// only a point that stays below it (so whose value is exact) takes its place. Nothing when the
// points give no range, every grid point lies above rl_search_prune times `bound`, or `stopped`
// says so.
[[nodiscard]] std::optional<RlMinimum> search_rl(Topology topology, double r1, double x1, double r2,
                                                 double x2, double bound,
                                                 const RlObjective& objective,
                                                 const std::function<bool()>& stopped);

} // namespace veltrane::rf
