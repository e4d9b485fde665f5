#pragma once

// What the Match panel of the measured-data window shows, without Qt: the band and dragging its
// edges on the return-loss plot, the load taken from the data, the table of sizes against the
// bound, the yield's histogram, the matched curve drawn over the charts and the match as text.

#include "match/bound.h"
#include "match/design.h"
#include "match/network.h"
#include "model/result.h"
#include "rf/e_series.h"
#include "rf/picture.h"
#include "rf/port_data.h"
#include "views/evaluation.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::views {

// The model's band FL..FH in GHz, lower edge first; nothing when it is not a band (an edge of 0,
// not finite, or both the same).
[[nodiscard]] std::optional<match::Band> model_band(const Result& state);

// The model of `choice`'s row of an evaluation and its band: what a window matches; nothing
// where the row has no model.
struct ChosenModel {
    std::optional<rf::LumpedModel> model;
    std::optional<match::Band> band;
};
[[nodiscard]] ChosenModel chosen_model(const Evaluation& evaluation, const Choice& choice);

// The data's samples from lo_ghz to hi_ghz (edges included) with a finite impedance, as the load
// to match.
[[nodiscard]] match::Load band_load(const rf::PortData& data, double lo_ghz, double hi_ghz);

// What stops a design over `band`: the band outside the data, or fewer than 3 samples in it.
[[nodiscard]] std::optional<std::string> band_problem(const rf::PortData& data,
                                                      const match::Band& band);

// The edges of the band on the return-loss plot, for dragging.
enum class BandEdge { Low, High };

// The edge whose line is within `reach` picture units of `p` (the nearer of the two), inside
// the plot's height.
[[nodiscard]] std::optional<BandEdge>
band_edge_at(const rf::ChartFrame& frame, const match::Band& band, rf::Point p, double reach);

// `band` with `edge` moved to `f_ghz`, kept inside lo_ghz..hi_ghz and at least `min_width_ghz`
// wide (the other edge stays; an edge pushed past it stops there).
[[nodiscard]] match::Band moved_band(const match::Band& band, BandEdge edge, double f_ghz,
                                     double lo_ghz, double hi_ghz, double min_width_ghz);

// The gap between the bound's gain and the network's smallest in-band gain (dB): how much
// transmission a better network could still win at most; none without a bound.
[[nodiscard]] std::optional<double> gap_db(const match::Design& design,
                                           const std::optional<match::Limit>& bound);

// One size of the table: its figures and the gap to the bound (the bound's gain less the
// network's smallest gain, dB), nothing without a bound.
struct SizeRow {
    std::size_t elements = 0;
    match::Figures figures;
    std::optional<double> gap_db;
    std::string ladder; // "series L 12.5 nH, shunt C 3.3 pF"
};
[[nodiscard]] SizeRow size_row(const match::Design& design,
                               const std::optional<match::Limit>& bound);
// "4  |G| 0.3917  RL 8.14 dB  gain −0.723 dB  gap 0.51 dB": a line of the list.
[[nodiscard]] std::string size_row_text(const SizeRow& row);

// The runs counted in `bins` equal bins from the lowest to the highest worst return loss, the
// target, and the share of runs whose worst return loss reaches it.
struct Histogram {
    double lo_db = 0.0, hi_db = 0.0;
    std::vector<long> counts;
    double target_rl_db = 0.0;
    double share = 0.0;
    long runs = 0;
};
[[nodiscard]] Histogram histogram(const std::vector<double>& worst_rl_db, double target_rl_db,
                                  int bins);

// The histogram as a small picture: bars, the target as a line, the axis and the share.
[[nodiscard]] rf::Picture histogram_picture(const Histogram& histogram, double width,
                                            double height);

// What the charts show of the match over the data's picture.
// The shading of the match's band on the return-loss plot.
inline constexpr rf::Colour match_band_fill{222, 240, 226};

struct MatchOverlay {
    match::Band band;
    std::optional<match::Limit> bound;      // a line on the return-loss plot with its value
    std::vector<double> f_ghz;              // the matched curve's frequencies
    std::vector<rf::Complex> matched;       // its reflections against the charts' z0
    bool handles = true;                    // the band's edges as handles to drag
    std::optional<match::ElementPath> path; // the network's element path on the chart
    double z0_ohm = 50;                     // the charts' reference
};

// The band shaded under the curves of the return-loss plot, the matched curve on both charts,
// the bound as a line across the band, the edges' handles labelled FL and FH, and the element
// path on the Smith chart.
void add_match_overlay(rf::Picture& picture, const MatchOverlay& overlay);

// The matched input's reflection against `z0_ohm` at every sample of `load`.
[[nodiscard]] std::vector<rf::Complex> matched_curve(const match::Ladder& ladder,
                                                     const match::Losses& losses,
                                                     const match::Load& load, double z0_ohm);

// The generator the network is matched to when it is not a resistance: a fixed complex
// impedance, or a port of a measured file whose impedance is interpolated to the load's samples.
struct MatchSource {
    std::optional<rf::Complex> impedance;
    std::shared_ptr<const rf::PortData> data;

    [[nodiscard]] bool resistive() const { return !impedance && !data; }
    // "30+j20 ohm", "amplifier.s2p port 1"; empty for a resistance.
    [[nodiscard]] std::string words() const;
    // The schematic's label of the generator: "source 30+j20 \u03a9", "source transceiver.s1p"
    // (the file's name without its folder); empty for a resistance.
    [[nodiscard]] std::string label() const;
};

// The bound's line when the source is not a resistance: Fano's bound of the load's section
// holds for a resistive source only.
inline constexpr std::string_view complex_source_bound =
    "Bode-Fano bound: none (the source is not a resistance)";

// The match as lines of text for "Copy results".
struct MatchReport {
    match::Band band;
    double source_ohm = 50;
    MatchSource source; // when it is not a resistance
    std::optional<match::Limit> bound;
    std::optional<match::Section> section; // the section the bound belongs to
    bool bound_beaten = false;             // a network beats it: the section misses the data
    bool from_data = false;                // the load is measured data, not the model
    std::vector<match::Design> networks;   // sizes 1, 2, ..., parts that do nothing removed
    // Per size: the smaller size (1, 2, ...) it gains nothing over, if any.
    std::vector<std::optional<std::size_t>> no_better_than;
    std::optional<std::size_t> chosen;
    std::optional<match::Design> standard;
    std::optional<rf::ESeries> series;
    std::optional<match::Design> parts; // built of measured parts (losses.parts), when given
    std::optional<match::Design> nearest_parts; // the parts of nearest value, what `parts` beats
    std::optional<match::YieldFigures> yield;
    std::string load_words; // where the load comes from: "81 samples of the data"
    match::Losses losses;
    match::DesignAim aim = match::DesignAim::Gamma;
    match::Constraints constraints;
    bool stopped = false; // the design was stopped: fewer sizes than asked for
};
[[nodiscard]] std::string match_text(const MatchReport& report);

// The bound's line: "Bode-Fano bound of the model: |Gamma| >= 0.0432, return loss <= 27.29 dB,
// gain <= -0.008118 dB", of a section fitted to the data (with its values and fit error), or
// none; marked when a network beats it. `gamma` names the reflection ("Gamma" or "\u0393").
[[nodiscard]] std::string bound_line(const std::optional<match::Limit>& bound,
                                     const std::optional<match::Section>& section, bool beaten,
                                     bool from_data, std::string_view gamma);

// Whether a network's worst |Gamma_in| lies below the bound.
[[nodiscard]] bool beaten(const std::vector<match::Design>& networks,
                          const std::optional<match::Limit>& bound);

} // namespace veltrane::views
