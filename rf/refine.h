#pragma once

#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"

#include <optional>
#include <vector>

namespace veltrane::rf {

// A model whose Ls, Cs, Lp, Cp and RL were moved together to lower the largest
// |Gamma_model - Gamma_data| over a range.
struct Refined {
    LumpedModel model;
    FitStats fit; // over the range
    std::size_t evaluations = 0;
};

// How far a refinement may go: every element keeps its sign and stays within this factor of
// where it started (an element that reaches it runs to a short or an open).
inline constexpr double refine_max_factor = 1e6;

// Minimax refinement from each of `starts` (in that order): a Nelder-Mead search on the
// logarithms of |Ls|, |Cs|, |Lp|, |Cp| and RL, restarted around its best point until a restart
// gains less than 1e-9, so that every element keeps the sign it started with. Returns the best
// refined model, never worse than the best start; nothing when `starts` is empty or no sample
// lies in the range.
[[nodiscard]] std::optional<Refined> refine(const std::vector<LumpedModel>& starts,
                                            const PortData& data, double z0_ohm,
                                            const FrequencyRange& range);

} // namespace veltrane::rf
