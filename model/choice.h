#pragma once

namespace veltrane {

// The three choices of the calculator, as values rather than option buttons.
enum class Crossover { Inductive, Capacitive };
enum class Topology { ParallelSeries, SeriesParallel };

struct Choice {
    Crossover f1 = Crossover::Inductive;
    Crossover f2 = Crossover::Inductive;
    Topology topology = Topology::ParallelSeries;
    friend bool operator==(const Choice&, const Choice&) = default;
};

// Crossover sign s: -1 when the crossover is inductive, else +1.
[[nodiscard]] constexpr double crossover_sign(Crossover crossover) {
    return crossover == Crossover::Inductive ? -1.0 : +1.0;
}

} // namespace veltrane
