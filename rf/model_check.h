#pragma once

#include "model/result.h"
#include "model/solve.h"
#include "rf/model_impedance.h"

#include <optional>
#include <string>

namespace veltrane::rf {

// A finished calculation's model evaluated at its own two points: the elements hold only if the
// model presents R1 + jX1 at F1 and R2 + jX2 at F2 again.
struct ModelCheck {
    Complex z1;                 // the model's impedance at F1 (ohm)
    Complex z2;                 // the model's impedance at F2 (ohm)
    double max_error_ohm = 0.0; // the larger of |z1 - (R1 + jX1)| and |z2 - (R2 + jX2)|
    // The error is above unreliable_relative of the point's magnitude (or not a number at all):
    // the inputs are so ill-conditioned that the elements are rounding noise.
    bool unreliable = false;
};

// For well-conditioned inputs the check is at rounding level, a relative 1e-13 or so; a million
// times that means most of the digits of the elements are lost.
inline constexpr double unreliable_relative = 1e-6;

// Evaluates the model of `state` (a final state of the calculation) at its F1 and F2. Every
// number in the result is finite: an impedance that overflows is reported as 0 with the flag set.
[[nodiscard]] ModelCheck check_model(const Result& state, Topology topology);

// "Ls and Cs are negative: no passive part has these values", or the form for one, three or four
// elements; nothing when all four are positive or zero.
[[nodiscard]] std::optional<std::string> negative_note(const Result& state);

} // namespace veltrane::rf
