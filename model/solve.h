#pragma once

#include "model/checked.h"
#include "model/choice.h"
#include "model/inputs.h"
#include "model/result.h"

#include <string>
#include <variant>

namespace veltrane {

// The calculation from its inputs on: runs the chosen topology, the element synthesis and the
// band exactly as CALCULATE does, and returns the result, or the message CALCULATE would show.
// Only a message is formatted, and only when there is no model.
[[nodiscard]] std::variant<Result, std::string> solve(const Inputs& inputs, Choice choice);

// As solve(), with the stop in place of its message: what a search calls, when it needs only the
// models and not why an input has none.
[[nodiscard]] std::variant<Result, Stop> calculate_model(const Inputs& inputs, Choice choice);

// The band of `result`'s resonating pair as the calculation computes it, for elements changed
// after the calculation (rounded to standard values, say): FL, FH, F0 and Qbp set anew from the
// elements, F1, F2 and RL; or the message the calculation would give.
[[nodiscard]] std::variant<Result, std::string> with_band(const Result& result, Topology topology);

} // namespace veltrane
