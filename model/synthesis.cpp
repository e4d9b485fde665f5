#include "model/checked.h"
#include "model/steps.h"

#include <cmath>

namespace veltrane {

// All four elements are referred to F1; F2 enters only through the frequency ratio.
StepOutcome synthesise_elements(State& s) {
    if (auto stop = require_nonzero(s.F1, "F1 must not be 0")) {
        return stop;
    }
    const Real r = Real(s.F2) / s.F1;
    const Real D = r * r - 1;
    if (D.value() == 0.0) {
        return Stop(r.value() > 0 ? "F1 and F2 must differ" : "F1 and F2 must have the same sign");
    }
    const Real XL1 = (r * s.Xs2 - s.Xs1) / D;
    Real XC1 = (r * s.Xs2 - r * r * s.Xs1) / D;
    const Real BC1 = (r * s.Bp2 - s.Bp1) / D;
    Real BL1 = (r * s.Bp2 - r * r * s.Bp1) / D;
    // The two terms that end up in a denominator.
    if (BL1.value() == 0.0) {
        BL1 = 1e-17;
    }
    if (XC1.value() == 0.0) {
        XC1 = 1e-17;
    }
    const Real pi = s.pi;
    s.Lp = (Real(1000) / (BL1 * 2 * pi * s.F1)).value();       // nH
    s.Ls = (Real(1000) * XL1 / (Real(2) * pi * s.F1)).value(); // nH
    s.Cp = (Real(1e6) * BC1 / (Real(2) * pi * s.F1)).value();  // pF
    s.Cs = (Real(1e6) / (XC1 * 2 * pi * s.F1)).value();        // pF
    return std::nullopt;
}

} // namespace veltrane
