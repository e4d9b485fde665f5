#pragma once

#include "model/checked.h"
#include "model/choice.h"
#include "model/state.h"

namespace veltrane {

// The steps of one calculation. Each works on the calculation state and returns the stop that
// ends the calculation (model/checked.h), or nothing when the calculation goes on. The checked
// arithmetic still throws CalculationStop on an overflow.

// Parallel/Series: a shunt pair across RL with a series pair in front. Moves RL off R1 and R2,
// tests it against the larger of them, and sets the section Q values, Xs1, Xs2, Bp1, Bp2.
[[nodiscard]] StepOutcome solve_parallel_series(State& s, const Choice& choice);

// Series/Parallel: a series pair in series with RL with a shunt pair across both. Moves RL off
// the parallel resistances, tests it against the smaller, and sets the section Q values, Xs1,
// Xs2, Bp1, Bp2.
[[nodiscard]] StepOutcome solve_series_parallel(State& s, const Choice& choice);

// Ls, Cs, Lp, Cp that present Xs1, Bp1 at F1 and Xs2, Bp2 at F2.
[[nodiscard]] StepOutcome synthesise_elements(State& s);

// Which element pair resonates: Lp, Cp (Parallel/Series) or Ls, Cs (Series/Parallel).
enum class Resonator { Parallel, Series };

// Tests the resonating pair for realisability, then sets FL, FH, F0 and Qbp.
[[nodiscard]] StepOutcome compute_band(State& s, Resonator pair);

// From the inputs in `s` to the results: the chosen topology, the element synthesis, the band,
// and a last check that every result is a finite number.
[[nodiscard]] StepOutcome run_calculation_steps(State& s, const Choice& choice);

} // namespace veltrane
