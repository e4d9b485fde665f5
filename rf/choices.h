#pragma once

#include "model/solve.h"

#include <array>
#include <optional>
#include <string_view>

namespace veltrane::rf {

// The eight combinations of the window's three choices, in the order they are listed:
// Parallel/Series before Series/Parallel, then F1 Inductive before Capacitive, then F2 likewise.
inline constexpr std::array<Choice, 8> all_choices = {{
    {Crossover::Inductive, Crossover::Inductive, Topology::ParallelSeries},
    {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries},
    {Crossover::Capacitive, Crossover::Inductive, Topology::ParallelSeries},
    {Crossover::Capacitive, Crossover::Capacitive, Topology::ParallelSeries},
    {Crossover::Inductive, Crossover::Inductive, Topology::SeriesParallel},
    {Crossover::Inductive, Crossover::Capacitive, Topology::SeriesParallel},
    {Crossover::Capacitive, Crossover::Inductive, Topology::SeriesParallel},
    {Crossover::Capacitive, Crossover::Capacitive, Topology::SeriesParallel},
}};

// "inductive" / "capacitive", "parallel-series" / "series-parallel": the command line's words.
[[nodiscard]] std::string_view crossover_word(Crossover crossover);
[[nodiscard]] std::string_view topology_word(Topology topology);
// The topology as a person reads it: "Parallel/Series", "Series/Parallel".
[[nodiscard]] std::string_view topology_name(Topology topology);

// The load resistances a topology accepts for two measured points (ohm). Parallel/Series needs
// RL at least the larger of R1, R2 (no upper limit); Series/Parallel needs 0 < RL and RL at most
// the smaller parallel resistance R (1 + (X/R)^2). Nothing for a point whose R is not positive.
struct RlRange {
    std::optional<double> min_ohm; // RL >= min_ohm (Parallel/Series), RL > 0 (Series/Parallel)
    std::optional<double> max_ohm; // RL <= max_ohm; none: no upper limit
};
[[nodiscard]] std::optional<RlRange> rl_range(Topology topology, double r1, double x1, double r2,
                                              double x2);

} // namespace veltrane::rf
