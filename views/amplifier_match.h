#pragma once

// An amplifier matched at both ports over a band: the input network designed for the device's
// input reflection (S11, the output in its reference) and the output network for its output
// reflection (S22), each with the designer of the match (the unilateral approach); then the
// device with both networks in place: the transducer gain over the band, and at every sample of
// the file whether the terminations the networks present keep it stable.

#include "match/amplifier.h"
#include "match/bound.h"
#include "views/match_view.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::views {

struct AmplifierCascadeSample {
    double f_ghz = 0.0;
    match::Complex gamma_s;        // what the input network presents to the device
    match::Complex gamma_l;        // what the output network presents to it
    std::optional<double> gain_db; // transducer gain of the whole, in the band
    bool in_band = false;
    bool oscillates = false; // |Gamma_in| >= 1 or |Gamma_out| >= 1 with these terminations
};

struct AmplifierMatch {
    MatchReport input;  // from port 1's reference (the source) to the device
    MatchReport output; // from port 2's reference (the load) to the device
    std::vector<AmplifierCascadeSample> samples;    // every sample of the file
    std::optional<double> gain_min_db, gain_max_db; // over the band
};

// Designs ladders of 1 to `elements` parts at each port over `band` and evaluates the whole; or
// the message (no sample in the band, no network designed).
[[nodiscard]] std::variant<AmplifierMatch, std::string>
amplifier_match(const match::TwoPortData& data, int elements, const match::Band& band);

[[nodiscard]] std::string amplifier_match_text(const AmplifierMatch& m);
[[nodiscard]] nlohmann::ordered_json amplifier_match_json(const AmplifierMatch& m);

} // namespace veltrane::views
