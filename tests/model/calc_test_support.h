#pragma once

#include "model/calculate.h"
#include "model/field_set.h"
#include "output/report.h"
#include "support/test_support.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace veltrane::testing {

// Relative closeness for values quoted to a number of significant digits.
inline bool close(double actual, double expected, double relative) {
    const double scale = expected == 0.0 ? 1.0 : (expected < 0 ? -expected : expected);
    const double diff = actual > expected ? actual - expected : expected - actual;
    return diff <= relative * scale;
}

} // namespace veltrane::testing
