#pragma once

// What the front ends show of an amplifier's two-port: the stability table, the sentence that
// says where the device is unconditionally stable, the stability circles and the simultaneous
// conjugate match at one frequency, as text and as JSON.

#include "match/amplifier.h"
#include "match/bound.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace veltrane::views {

struct AmplifierSettings {
    std::optional<match::Band> band; // the summary's band; default every sample of the file
    std::optional<double> at_ghz;    // the match's frequency; default the band's centre
};

using GhzRange = std::pair<double, double>; // first and last sample of a run, GHz

struct AmplifierReport {
    std::string source;
    double reference1_ohm = 50.0;
    double reference2_ohm = 50.0;
    std::vector<match::Stability> rows;    // every sample of the file
    std::optional<match::Band> band;       // as given
    std::size_t in_band = 0;               // samples the summary covers
    bool unconditionally_stable = false;   // at every one of them
    std::vector<GhzRange> stable_ghz;      // runs of unconditionally stable samples in the band
    std::vector<GhzRange> conditional_ghz; // runs of the others
    double asked_ghz = 0.0; // the frequency asked for the match (--at, or the band's centre)
    std::size_t at_row = 0; // the sample nearest to it
};

// The figures of every sample, summarised over the band; or the message when the band holds
// no sample or the frequency asked for lies outside the file's.
[[nodiscard]] std::variant<AmplifierReport, std::string>
amplifier_report(const match::TwoPortData& data, const AmplifierSettings& settings);

// The table, the summary and the match as lines of text.
[[nodiscard]] std::string amplifier_text(const AmplifierReport& report);

// "0.1 to 13.5 GHz", "1 and 3 GHz": runs of samples as people read them; a frequency and a
// gain in dB as the table prints them.
[[nodiscard]] std::string runs_text(const std::vector<GhzRange>& runs);
[[nodiscard]] std::string ghz_text(double f_ghz);
[[nodiscard]] std::string decibel_text(double db);

// The "amplifier" object of veltrane-calc's JSON.
[[nodiscard]] nlohmann::ordered_json amplifier_json(const AmplifierReport& report);

} // namespace veltrane::views
