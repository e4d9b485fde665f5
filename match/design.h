#pragma once

#include "match/network.h"
#include "rf/e_series.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace veltrane::match {

// The largest ladder the designer builds.
inline constexpr int max_elements = 8;

// Told the share of the work done (0..1) at least every few thousand evaluations (well within
// 0.1 s); returning false stops the design.
using Progress = std::function<bool(double done)>;

struct DesignInput {
    Load load;              // the samples to match, in the band
    double source_ohm = 50; // resistive source
    Losses losses;          // finite Q of the parts
    int max_elements = 4;   // ladders of 1 .. max_elements elements
    std::uint64_t seed = 1; // for the multistart: the same seed, the same networks
    // The multistart, per ladder: random points per element, the best of them searched from,
    // and evaluations per element of each search on the screening samples.
    int random_points = 256;
    int random_starts = 12;
    int screen_evaluations = 100;
    // Evaluations per element of each local refinement on all samples.
    int refine_evaluations = 400;
    Progress progress; // may be empty
};

struct Design {
    Ladder ladder;
    Figures figures; // evaluated on the input's load from the ladder's values
};

struct DesignResult {
    std::vector<Design> networks; // the best of 1, 2, ... elements; shorter when stopped
    bool stopped = false;
};

// For every size from 1 to max_elements, every ladder (first element in series or across the
// line, then alternating; each element L or C) is optimised for the smallest worst |Gamma_in|
// over the samples, from a start with the parts' reactances at the source resistance, seeded
// random starts and the best networks of one element fewer extended by a vanishing element
// (so a larger size is never worse, to rounding). The most promising ladders are then refined
// on all samples with restarts. The values stay positive: the search runs on their logarithms.
[[nodiscard]] DesignResult design_networks(const DesignInput& input);

// Rounds `design` to standard values one element at a time: each step tries every element not
// yet rounded at the standard values just below and above it, re-optimises the others, and
// keeps the best. None when stopped.
[[nodiscard]] std::optional<Design> standard_network(const Design& design, const DesignInput& input,
                                                     rf::ESeries series);

// Every element varied within +-tolerance_percent, uniformly, `runs` times (seeded: the same
// figures on every platform).
struct YieldFigures {
    double tolerance_percent = 0.0;
    long runs = 0;
    double target_rl_db = 0.0;
    double share = 0.0; // of networks whose worst return loss reaches the target
    double min_rl_db = 0.0, median_rl_db = 0.0, max_rl_db = 0.0;
};

// The worst in-band return loss of each run of the yield: every element varied uniformly within
// +-tolerance_percent, the runs drawn from `seed`.
// `progress`, if given, is told the share of the runs done every few thousand runs; returning
// false stops the runs (the vector then holds those done).
[[nodiscard]] std::vector<double> yield_runs(const Ladder& ladder, const Load& load,
                                             double source_ohm, const Losses& losses,
                                             double tolerance_percent, long runs,
                                             std::uint64_t seed = 1, const Progress& progress = {});

// The figures of yield_runs() against `target_rl_db`.
[[nodiscard]] YieldFigures network_yield(const Ladder& ladder, const Load& load, double source_ohm,
                                         const Losses& losses, double tolerance_percent, long runs,
                                         double target_rl_db, std::uint64_t seed = 1,
                                         const Progress& progress = {});

// A double uniform in [0, 1) from the generator's next 53 bits: the same on every platform,
// unlike std::uniform_real_distribution.
[[nodiscard]] double unit_uniform(std::uint64_t bits);

} // namespace veltrane::match
