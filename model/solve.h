#pragma once

#include "model/choice.h"
#include "model/inputs.h"
#include "model/result.h"

#include <string>
#include <variant>

namespace veltrane {

// The calculation from its inputs on: runs the chosen topology, the element synthesis and the
// band exactly as CALCULATE does, and returns the result, or the message CALCULATE would show.
// No text is formatted, so this is the fast path for searches over many inputs.
[[nodiscard]] std::variant<Result, std::string> solve(const Inputs& inputs, Choice choice);

// The band of `result`'s resonating pair as the calculation computes it, for elements changed
// after the calculation (rounded to standard values, say): FL, FH, F0 and Qbp set anew from the
// elements, F1, F2 and RL; or the message the calculation would give.
[[nodiscard]] std::variant<Result, std::string> with_band(const Result& result, Topology topology);

} // namespace veltrane
