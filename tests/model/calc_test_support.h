#pragma once

#include "model/calculate.h"
#include "model/field_set.h"
#include "output/report.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace veltrane::testing {

// A calculator window in memory with some texts typed and some options clicked.
inline MemoryFieldSet window(std::initializer_list<std::pair<Field, std::string>> texts,
                             std::initializer_list<Option> options) {
    MemoryFieldSet fields;
    for (const auto& [field, text] : texts) {
        fields.set_text(field, text);
    }
    for (Option option : options) {
        fields.select(option);
    }
    return fields;
}

// Relative closeness for values quoted to a number of significant digits.
inline bool close(double actual, double expected, double relative) {
    const double scale = expected == 0.0 ? 1.0 : (expected < 0 ? -expected : expected);
    const double diff = actual > expected ? actual - expected : expected - actual;
    return diff <= relative * scale;
}

} // namespace veltrane::testing
