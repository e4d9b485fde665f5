#pragma once

#include "rf/model_impedance.h"

#include <optional>
#include <span>
#include <string_view>

namespace veltrane::rf {

// The preferred-number series of IEC 60063 for component values.
enum class ESeries { E6, E12, E24, E48, E96, E192 };

[[nodiscard]] std::string_view e_series_name(ESeries series);
[[nodiscard]] std::optional<ESeries> e_series_from_name(std::string_view name);

// The published values of one decade, in hundredths (1.0 is 100, 9.1 is 910): E6, E12 and E24 to
// two significant digits, E48, E96 and E192 to three. The published tables, not the rounding rule:
// E24 has 2.7, 3.0, 3.3, 3.6, 3.9, 4.3, 4.7 and 8.2, and E192 has 9.20.
[[nodiscard]] std::span<const int> e_series_decade(ESeries series);

// The value of the series nearest to `value` by ratio (in any decade, so 9.6 may give 10), with the
// sign of `value`; 0 stays 0. The result is the double nearest to the decimal value (8.2e-12, not
// 82 * 1e-13).
[[nodiscard]] double nearest_standard_value(double value, ESeries series);

// The model with Ls, Cs, Lp and Cp replaced by their nearest standard values; RL and the
// topology kept.
[[nodiscard]] LumpedModel standard_model(const LumpedModel& exact, ESeries series);

} // namespace veltrane::rf
