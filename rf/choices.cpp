#include "rf/choices.h"

#include <algorithm>
#include <cmath>

namespace veltrane::rf {

std::string_view crossover_word(Crossover crossover) {
    return crossover == Crossover::Inductive ? "inductive" : "capacitive";
}

std::string_view topology_word(Topology topology) {
    return topology == Topology::ParallelSeries ? "parallel-series" : "series-parallel";
}

std::string_view topology_name(Topology topology) {
    return topology == Topology::ParallelSeries ? "Parallel/Series" : "Series/Parallel";
}

std::optional<RlRange> rl_range(Topology topology, double r1, double x1, double r2, double x2) {
    if (!(r1 > 0.0) || !(r2 > 0.0)) {
        return std::nullopt;
    }
    if (topology == Topology::ParallelSeries) {
        return RlRange{std::max(r1, r2), std::nullopt};
    }
    const auto parallel_resistance = [](double r, double x) {
        const double q = x / r;
        return r * (1 + q * q);
    };
    const double limit = std::min(parallel_resistance(r1, x1), parallel_resistance(r2, x2));
    if (!std::isfinite(limit)) {
        return std::nullopt;
    }
    return RlRange{0.0, limit};
}

} // namespace veltrane::rf
