#pragma once

#include "model/field_set.h"
#include "model/state.h"

#include <string>
#include <variant>

namespace veltrane {

// The three choices of the window, as values rather than option buttons.
enum class Crossover { Inductive, Capacitive };
enum class Topology { ParallelSeries, SeriesParallel };

struct Choice {
    Crossover f1 = Crossover::Inductive;
    Crossover f2 = Crossover::Inductive;
    Topology topology = Topology::ParallelSeries;
    friend bool operator==(const Choice&, const Choice&) = default;
};

// The choice the option buttons of `fields` make (a missing one reads as its second button).
[[nodiscard]] Choice choice_of(const FieldSet& fields);

// Clicks the option buttons of `choice`.
void select_choice(MemoryFieldSet& fields, Choice choice);

// The calculation from its inputs on: `inputs` holds F1, F2 (MHz), R1, X1, R2, X2 and RL as the
// window would read them. Runs the chosen topology, the element synthesis and the band exactly as
// CALCULATE does, and returns the final state, or the message CALCULATE would show. No text is
// formatted, so this is the fast path for searches over many inputs.
[[nodiscard]] std::variant<State, std::string> solve(const State& inputs, Choice choice);

} // namespace veltrane
