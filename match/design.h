#pragma once

#include "match/network.h"
#include "rf/e_series.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane::match {

// The largest ladder the designer builds.
inline constexpr int max_elements = 8;

// Told the share of the work done (0..1) at least every few thousand evaluations (well within
// 0.1 s); returning false stops the design.
using Progress = std::function<bool(double done)>;

// What a ladder must be: no series C (a DC path from the source to the load), at least one series
// C (a DC block), low-pass (series L and shunt C only) or high-pass (series C and shunt L only),
// the first or last element's position (first: at the source), and the parts' values within
// ranges (nH, pF).
struct Range {
    double lo = 0.0;
    double hi = 0.0;
};
struct Constraints {
    bool dc_path = false;
    bool dc_block = false;
    bool lowpass = false;
    bool highpass = false;
    std::optional<Position> first, last;
    std::optional<Range> l_nh, c_pf;

    [[nodiscard]] bool any() const;
    // Whether `ladder` meets them; its values only when `values`.
    [[nodiscard]] bool allows(const Ladder& ladder, bool values = true) const;
    // `value` (nH or pF) brought into its kind's range.
    [[nodiscard]] double clamped(Kind kind, double value) const;
    // "DC path, low-pass, first series, L 1 to 50 nH"; empty without constraints.
    [[nodiscard]] std::string words() const;
};

// What the designer minimises, at the worst sample: |Gamma_in| (reflection), or the power not
// delivered to the load, 1 - transducer gain (with lossy parts a network can buy reflection with
// dissipation; lossless, the two are the same).
enum class DesignAim { Gamma, Gain };

struct DesignInput {
    Load load;              // the samples to match, in the band
    double source_ohm = 50; // resistive source
    Losses losses;          // finite Q of the parts
    DesignAim aim = DesignAim::Gamma;
    Constraints constraints; // sizes no ladder of which meets them are left out
    int max_elements = 4;    // ladders of 1 .. max_elements elements
    std::uint64_t seed = 1;  // for the multistart: the same seed, the same networks
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
    Figures figures;      // evaluated on the input's load from the ladder's values
    std::size_t size = 0; // the size designed (parts that do nothing may have gone since)
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
// on all samples with restarts, and each size's best less its first or last element is refined
// as the size below. The values stay positive: the search runs on their logarithms. The ladders
// and starts run on the pool of threads (parallel::threads()), each ladder with its own random
// stream: the same networks for any number of threads. `progress` is called on the calling
// thread only.
[[nodiscard]] DesignResult design_networks(const DesignInput& input);

// Rounds `design` to standard values, never worse than rounding each part to its nearest: the
// best of nearest rounding, of a greedy rounding (one element at a time at the standard value
// just below or above it, the others re-optimised) and of a search over the standard values two
// steps either side of each part's nearest (every combination for up to six parts, else one
// part at a time from the best so far). None when stopped.
[[nodiscard]] std::optional<Design> standard_network(const Design& design, const DesignInput& input,
                                                     rf::ESeries series);

// A part does nothing when taking it out (a series part shorted, a shunt part opened) raises the
// worst |Gamma_in| by less than idle_gamma and lowers the smallest gain by less than
// idle_gain_db; a larger network is no better than a smaller one by the same measure.
inline constexpr double idle_gamma = 1e-4;
inline constexpr double idle_gain_db = 1e-3;

// Whether `larger` gains nothing over `smaller`: worst |Gamma_in| not lower by idle_gamma and
// smallest gain not higher by idle_gain_db.
[[nodiscard]] bool no_better(const Figures& larger, const Figures& smaller);

// `design` without the parts that do nothing: a part at either end, a pair of neighbours in the
// middle, or a middle part whose neighbours are of one kind (they become one part: series L or
// shunt C added, series C or shunt L combined as in parallel), as long as the ladder alternates.
// Removed one at a time, the least harmful first, while one does nothing.
[[nodiscard]] Design without_idle_parts(const Design& design, const Load& load, double source_ohm,
                                        const Losses& losses, const Constraints& constraints = {});

// How a part's value is drawn in the yield: uniformly within +-tolerance, or normally with the
// tolerance at three standard deviations.
enum class YieldDistribution { Uniform, Normal };
[[nodiscard]] std::string_view distribution_name(YieldDistribution d); // "uniform", "normal"

// Every element varied within +-tolerance_percent, `runs` times (seeded: the same figures on
// every platform and for any number of threads).
struct YieldFigures {
    double tolerance_percent = 0.0;
    long runs = 0;
    double target_rl_db = 0.0;
    double share = 0.0; // of networks whose worst return loss reaches the target
    double min_rl_db = 0.0, median_rl_db = 0.0, max_rl_db = 0.0;
    double share_low = 0.0, share_high = 0.0; // the share's 95 % interval (Wilson)
    std::uint64_t seed = 1;
    YieldDistribution distribution = YieldDistribution::Uniform;
};

// The 95 % interval (Wilson score) of a share of `meeting` out of `runs`.
[[nodiscard]] std::pair<double, double> share_interval(long meeting, long runs);

// Runs are drawn in blocks of this many, each block from its own generator (the first from
// `seed` itself), so that threads share the work without changing a figure.
inline constexpr long yield_block = 4096;

// The worst in-band return loss of each run of the yield: every element varied within
// +-tolerance_percent as `distribution` says, the runs drawn from `seed`, on the pool of threads
// (parallel::threads(), --threads) or, with `threads` 1, on the calling thread.
// `progress`, if given, is told the share of the runs done as they go (on the calling thread);
// returning false stops the runs (the vector then holds the blocks of runs done, in order).
[[nodiscard]] std::vector<double>
yield_runs(const Ladder& ladder, const Load& load, double source_ohm, const Losses& losses,
           double tolerance_percent, long runs, std::uint64_t seed = 1,
           YieldDistribution distribution = YieldDistribution::Uniform, unsigned threads = 0,
           const Progress& progress = {});

// The figures of runs' worst return losses (dB) against `target_rl_db`: the share that reaches it
// with its interval, the smallest, the median and the largest. `runs` of the figures is the
// number of runs given (fewer than asked when stopped).
[[nodiscard]] YieldFigures yield_figures(std::vector<double> worst_rl_db, double tolerance_percent,
                                         double target_rl_db, std::uint64_t seed,
                                         YieldDistribution distribution);

// The figures of yield_runs() against `target_rl_db`.
[[nodiscard]] YieldFigures network_yield(const Ladder& ladder, const Load& load, double source_ohm,
                                         const Losses& losses, double tolerance_percent, long runs,
                                         double target_rl_db, std::uint64_t seed = 1,
                                         const Progress& progress = {});

// A double uniform in [0, 1) from the generator's next 53 bits: the same on every platform,
// unlike std::uniform_real_distribution.
[[nodiscard]] double unit_uniform(std::uint64_t bits);

} // namespace veltrane::match
