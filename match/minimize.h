#pragma once

#include <atomic>
#include <functional>
#include <vector>

namespace veltrane::match {

// The function to make small, and a point with its value.
using Goal = std::function<double(const std::vector<double>&)>;

struct Found {
    std::vector<double> x;
    double value = 0.0;
};

// Nelder-Mead from `start` with an initial simplex of edge `step` along each axis, for at most
// `evaluations` evaluations or until the simplex's values agree to 1e-10 (relative) and its size
// is below 1e-6; returns early when `stop` becomes true. Never returns a point worse than the
// start. `stop` may be set by another thread. No derivatives: the worst-case score has kinks
// wherever the worst sample changes.
[[nodiscard]] Found minimize(const Goal& goal, const std::vector<double>& start, double step,
                             int evaluations, const std::atomic<bool>& stop);

} // namespace veltrane::match
