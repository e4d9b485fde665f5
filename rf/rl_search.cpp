// The search of RL for one pair of points and one choice.

#include "rf/rl_search.h"

#include "rf/best_fit.h"
#include "rf/choices.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane::rf {

std::optional<RlMinimum> search_rl(Topology topology, double r1, double x1, double r2, double x2,
                                   double bound, const RlObjective& objective,
                                   const std::function<bool()>& stopped) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const std::optional<RlRange> range = rl_range(topology, r1, x1, r2, x2);
    if (!range) {
        return std::nullopt;
    }
    const double span = 1 + rl_search_max_q * rl_search_max_q;
    const double lo = std::log(range->max_ohm ? *range->max_ohm / span : *range->min_ohm);
    const double hi = std::log(range->max_ohm ? *range->max_ohm : *range->min_ohm * span);
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        return std::nullopt;
    }
    const double step = (hi - lo) / rl_search_grid;
    const double prune = bound * rl_search_prune;
    int best_k = -1;
    double best = infinity;
    for (int k = 0; k < rl_search_grid; ++k) {
        if (stopped()) {
            return std::nullopt;
        }
        const double value = objective(std::exp(lo + (k + 0.5) * step), std::min(best, prune));
        if (value < best && value <= prune) {
            best = value;
            best_k = k;
        }
    }
    if (best_k < 0) {
        return std::nullopt;
    }
    constexpr double shrink = 0.3819660112501051; // 2 - golden ratio
    double left = std::max(lo, lo + (best_k - 0.5) * step);
    double right = std::min(hi, lo + (best_k + 1.5) * step);
    double p = lo + (best_k + 0.5) * step;
    double fp = best;
    while (right - left > rl_search_tolerance) {
        if (stopped()) {
            return std::nullopt;
        }
        const double q = p - left > right - p ? p - shrink * (p - left) : p + shrink * (right - p);
        const double fq = objective(std::exp(q), fp);
        if (fq < fp) {
            (q < p ? right : left) = p;
            p = q;
            fp = fq;
        } else {
            (q < p ? left : right) = q;
        }
    }
    return RlMinimum{std::exp(p), fp};
}

} // namespace veltrane::rf
