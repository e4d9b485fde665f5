#pragma once

// One match for both front ends (veltrane-calc and the Match panel): the settings and their
// checks, the band and the load taken from the data or the model, the bound, the networks designed,
// rounded to standard values and varied for the yield, and the table of sizes as text.

#include "match/bound.h"
#include "match/design.h"
#include "match/network.h"
#include "rf/e_series.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "views/match_view.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::views {

// Samples of the model over the band when no data is read.
inline constexpr int model_samples = 201;

// Parts varied within +-tolerance_percent, `runs` times, against a target worst return loss
// (default: the nominal worst return loss less 1 dB).
struct YieldSettings {
    double tolerance_percent = 0.0;
    long runs = 0;
    std::optional<double> target_rl_db;
    std::uint64_t seed = 1;
    match::YieldDistribution distribution = match::YieldDistribution::Uniform;
};

// An impedance as people write it: "R", "R+jX" or "R-jX" (ohm, blanks ignored), both parts
// finite; nothing when the text is not one.
[[nodiscard]] std::optional<rf::Complex> typed_impedance(std::string_view text);

// The source's impedance at each of `f_ghz` (rising): the fixed impedance, or the measured one
// interpolated (real and imaginary parts linearly between the samples either side); or why it
// cannot be had: the file does not cover the frequencies, or its resistance is not positive.
[[nodiscard]] std::variant<std::vector<rf::Complex>, std::string>
source_samples(const MatchSource& source, const std::vector<double>& f_ghz);

struct MatchSettings {
    int elements = 4;                // ladders of 1 .. elements
    std::optional<match::Band> band; // default: the model's band
    double source_ohm = 50;          // the source, else the reference of the exports and charts
    MatchSource source;              // a source that is not a resistance
    match::Losses losses;
    // Default: the smallest transducer gain with lossy parts, |Gamma_in| with lossless ones.
    std::optional<match::DesignAim> aim;
    match::Constraints constraints;
    std::optional<rf::ESeries> e_series;
    std::optional<YieldSettings> yield;

    // What makes these settings unusable, as a sentence; nothing when they can be run.
    [[nodiscard]] std::optional<std::string> validate() const;
};

// A part's range as people write it, "MIN:MAX" (nH or pF) with 0 < MIN <= MAX, both finite;
// nothing when the text is not one.
[[nodiscard]] std::optional<match::Range> part_range(std::string_view text);

// The ranges the designer gives finite, non-zero parts in: frequencies (GHz), the source
// resistance (ohm) and the parts' Q.
inline constexpr double match_min_ghz = 1e-6, match_max_ghz = 1e6;
inline constexpr double match_min_ohm = 1e-3, match_max_ohm = 1e6;
inline constexpr double match_min_q = 0.1, match_max_q = 1e9;
// The parasitics: a capacitor's series inductance (nH) and resistance (ohm) from 0 up to these;
// an inductor's self-resonance within match_min_ghz .. match_max_ghz.
inline constexpr double match_max_esl_nh = 1e3, match_max_esr_ohm = 1e3;

// The message naming the first value out of those ranges (the band, the source resistance, a
// part's Q or its frequency, the Q named by `inductor_word` or `capacitor_word`, the
// parasitics); none when all lie inside.
[[nodiscard]] std::optional<std::string> match_range_problem(const match::Losses& losses,
                                                             double source_ohm,
                                                             const std::optional<match::Band>& band,
                                                             std::string_view inductor_word,
                                                             std::string_view capacitor_word);

// What is matched: measured data, a model with its band, or both (the data is matched, the
// model gives the bound).
struct MatchSubject {
    const rf::PortData* data = nullptr;
    std::optional<rf::LumpedModel> model;
    std::optional<match::Band> model_band;
};

// Why a match cannot run: `usage` when the settings lack something (a band), else the data.
struct MatchFailure {
    bool usage = false;
    std::string message;
};

// The band, its load, the words that say where the load comes from, the bound and its section.
struct MatchSetup {
    match::Band band;
    match::Load load;       // with the source's samples when it is not a resistance
    std::string load_words; // "81 samples of the data"
    bool from_data = false;
    std::optional<match::Limit> bound;
    std::optional<match::Section> section;
};

[[nodiscard]] std::variant<MatchSetup, MatchFailure> match_setup(const MatchSettings& settings,
                                                                 const MatchSubject& subject);

// The model's impedance at `f_ghz` where it is finite.
[[nodiscard]] match::Load model_load(const rf::LumpedModel& model,
                                     const std::vector<double>& f_ghz);

// The bound over `band`: with data, the tightest of the sections that fit the data in the band
// (the model's among them), reflections referred to `source_ohm`; without, the model's.
struct MatchLimits {
    std::optional<match::Limit> bound;
    std::optional<match::Section> section;
};
[[nodiscard]] MatchLimits match_limits(const MatchSubject& subject, const match::Band& band,
                                       double source_ohm);

// The data's samples in a band and the limits there, with what they were worked out for: a
// window works them out ahead, off its event thread, and keeps them while the band, the source
// and the model stay the same.
struct BandLimits {
    match::Band band;
    double source_ohm = 0.0;
    std::optional<rf::LumpedModel> model;
    match::Load load;
    MatchLimits limits;

    [[nodiscard]] bool made_for(const match::Band& other_band, double other_source_ohm,
                                const std::optional<rf::LumpedModel>& other_model) const {
        return band == other_band && source_ohm == other_source_ohm && model == other_model;
    }
};
[[nodiscard]] BandLimits band_limits(const rf::PortData& data, const match::Band& band,
                                     double source_ohm,
                                     const std::optional<rf::LumpedModel>& model);

// What a window works the limits out ahead for, off its event thread: the band the user set
// (if any) and the source; with the model of the data, `limits_ahead` gives the limits the
// window will show, or nothing when the band cannot be matched.
struct MatchAhead {
    std::optional<match::Band> user_band;
    double source_ohm = 50.0;
};
[[nodiscard]] std::optional<BandLimits> limits_ahead(const rf::PortData& data,
                                                     const MatchAhead& ahead,
                                                     const std::optional<rf::LumpedModel>& model,
                                                     const std::optional<match::Band>& model_band);

// What a window's Match panel needs of data, worked out off the event thread: all the data as a
// load, and the limits over the band the panel will take.
struct MatchPrepared {
    match::Load all_load;
    std::optional<BandLimits> limits;
};
[[nodiscard]] MatchPrepared match_prepared(const rf::PortData& data, const MatchAhead& ahead,
                                           const std::optional<rf::LumpedModel>& model,
                                           const std::optional<match::Band>& model_band);

// The band a window matches over when data are opened: the user's while it lies within the
// data, else the model's within the data, else the data's middle third. Data without samples
// keep `user_band` or (1, 2) GHz.
[[nodiscard]] match::Band opening_band(const rf::PortData& data,
                                       const std::optional<match::Band>& user_band,
                                       const std::optional<match::Band>& model_band);

// The designer's input for `settings` over `load`.
[[nodiscard]] match::DesignInput design_input(const MatchSettings& settings,
                                              const match::Load& load);

// The chosen network in standard values (when a series is given), in measured parts (with a
// library), and the yield of what is built (the measured parts, else the standard values, else
// the network): its runs and figures. Nothing rounded when stopped.
struct MatchParts {
    std::optional<match::Design> standard;
    // With a part library: the network of measured parts (what the yield varies then) and the
    // one of the parts of nearest value.
    std::optional<match::Design> parts, nearest_parts;
    std::vector<double> yield_runs; // the worst in-band return loss of each run
    std::optional<match::YieldFigures> yield;
};
[[nodiscard]] MatchParts match_parts(const match::Design& design, const match::DesignInput& input,
                                     std::optional<rf::ESeries> series,
                                     const std::optional<YieldSettings>& yield,
                                     const match::Progress& yield_progress = {});

// The designed networks without the parts that do nothing, and for each size the smaller size it
// gains nothing over (match::no_better), if any.
struct SimplifiedNetworks {
    std::vector<match::Design> networks;
    std::vector<std::optional<std::size_t>> no_better_than;
};
[[nodiscard]] SimplifiedNetworks simplified(std::vector<match::Design> networks,
                                            const match::DesignInput& input);

// Designs the networks, removes the parts that do nothing, and rounds and varies the largest
// size that gains over every smaller one; `progress` may stop the design (the report
// then holds what was designed and `stopped`).
// `yield_progress` is told the share of the yield's runs done.
[[nodiscard]] MatchReport run_match(const MatchSettings& settings, const MatchSetup& setup,
                                    const match::Progress& progress = {},
                                    const match::Progress& yield_progress = {});

// Why no network was chosen: no ladder meets the constraints, or none could be designed.
[[nodiscard]] std::string no_network_message(const MatchSettings& settings);

// The match as veltrane-calc prints it: the heading, the bound, one row per size
// (and the standard values), the yield.
[[nodiscard]] std::string match_table_text(const MatchReport& report);

} // namespace veltrane::views
