#pragma once

#include "model/result.h"
#include "model/solve.h"
#include "rf/port_data.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::rf {

struct BestFitOptions {
    double z0_ohm = 50.0;           // reference of the reflections compared
    std::optional<double> fmin_ghz; // the range searched and judged; none: from the first sample
    std::optional<double> fmax_ghz; // none: to the last sample
    std::optional<double> rl_ohm;   // the load resistance; none: searched per pair and choice
    bool allow_negative = false;    // let models with a negative element compete
};

inline constexpr std::string_view best_fit_stopped = "The search was stopped";

// One model the search found: the calculation run on two of the data's samples.
struct Candidate {
    std::size_t i1 = 0, i2 = 0; // the two samples, indices into the data
    double f1_ghz = 0.0, f2_ghz = 0.0;
    Choice choice;
    double rl_ohm = 0.0;    // RL as given to the calculation (which may move it by 1e-8 ohm)
    Result state;           // the calculation's final state
    double max_error = 0.0; // largest |Gamma_model - Gamma_data| over the samples in the range
    double rms_error = 0.0;
    double at_ghz = 0.0;   // where the largest is
    bool positive = false; // all four elements above 0
};

struct BestFit {
    std::vector<Candidate> best; // at most best_fit_kept, the smallest largest error first
    // False when no pair and choice gives a model with four positive elements (and negative
    // ones were not allowed): `best` then holds the best of the others.
    bool positive_found = true;
    std::size_t samples = 0; // samples in the range
    // Above best_fit_thin_above (RL searched: best_fit_thin_above_searched) samples: the evenly
    // spaced samples the pairs were chosen among (the best then moved to its best neighbouring
    // pair; everything judged on every sample). 0 when every pair was tried.
    std::size_t thinned = 0;
};

// Up to this many samples every pair is tried; above it the pairs are chosen among this many
// evenly spaced samples, so that the search costs the same on either side of the size.
inline constexpr std::size_t best_fit_thinned = 2001;         // with RL given
inline constexpr std::size_t best_fit_thinned_searched = 251; // with RL searched
inline constexpr std::size_t best_fit_thin_above = best_fit_thinned;
inline constexpr std::size_t best_fit_thin_above_searched = best_fit_thinned_searched;

inline constexpr std::size_t best_fit_kept = 5;

// Section Q up to which a searched RL goes: Parallel/Series from max(R1, R2) up to
// max(R1, R2) (1 + q^2), Series/Parallel from the limit down to limit / (1 + q^2).
inline constexpr double rl_search_max_q = 100.0;

// The searched RL's grid: points over the accepted range (equal ratios, about 15 % apart over
// four decades), the golden-section search's end (natural log of RL, so relative), and the
// margin over the fifth best below which a pair's grid must reach to be searched further.
inline constexpr int rl_search_grid = 64;
inline constexpr double rl_search_tolerance = 1e-7;
inline constexpr double rl_search_prune = 4.0;

// Runs the calculation on every pair of the data's samples inside fmin..fmax with all eight
// choices and keeps the models whose largest |Gamma_model - Gamma_data| over those samples is
// smallest. With a searched RL, each pair and choice keeps its best RL to about 1e-6 relative.
// Returns a message when the range holds fewer than two samples or no model exists.
// `progress`, when given, is told the share of the search done (0 to 1) now and then, on the
// searching thread; returning false stops the search, which then gives best_fit_stopped.
using BestFitProgress = std::function<bool(double done)>;
[[nodiscard]] std::variant<BestFit, std::string>
best_fit(const PortData& data, const BestFitOptions& options,
         const BestFitProgress& progress = BestFitProgress());

} // namespace veltrane::rf
