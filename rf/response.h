#pragma once

#include "rf/model_impedance.h"

#include <vector>

namespace veltrane::rf {

// The model's reflection referred to `z0_ohm` at `f_ghz`, finite at every frequency: where a
// branch's reactance or susceptance is infinite (at f <= 0, or where it overflows at extreme
// frequencies) the limit is taken: an open series pair gives +1, a shorted shunt pair -1.
[[nodiscard]] Complex model_reflection(const LumpedModel& model, double f_ghz, double z0_ohm);

// model_reflection at every frequency of `f_ghz`.
[[nodiscard]] std::vector<Complex>
model_reflections(const LumpedModel& model, const std::vector<double>& f_ghz, double z0_ohm);

// |model_reflection(model, f_ghz, z0_ohm) - gamma|^2, worked out in real arithmetic (no complex
// division, no square root), equal to the square of that difference to within a few units of
// its last bit. Where a step overflows it falls back to model_reflection itself.
[[nodiscard]] double reflection_error_squared(const LumpedModel& model, double f_ghz, double z0_ohm,
                                              Complex gamma);

// The reflection of a measured S_NN referred to `reference_ohm`, referred to `z0_ohm` instead.
[[nodiscard]] Complex rereferred(Complex s, double reference_ohm, double z0_ohm);

} // namespace veltrane::rf
