#pragma once

#include "model/units.h"

namespace veltrane {

// What one calculation starts from: the two measured points and the load resistance.
// Frequencies in MHz (the engine's unit), resistances and reactances in ohm.
struct Inputs {
    double F1 = 0.0, F2 = 0.0;
    double R1 = 0.0, X1 = 0.0;
    double R2 = 0.0, X2 = 0.0;
    double RL = 0.0;
    friend bool operator==(const Inputs&, const Inputs&) = default;
};

// The inputs of two points measured at frequencies in GHz, converted as the window converts a
// typed frequency.
[[nodiscard]] constexpr Inputs inputs_from_ghz(double f1_ghz, double r1, double x1, double f2_ghz,
                                               double r2, double x2, double rl_ohm) {
    return {ghz_to_mhz(f1_ghz), ghz_to_mhz(f2_ghz), r1, x1, r2, x2, rl_ohm};
}

} // namespace veltrane
