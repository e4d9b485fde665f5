#pragma once

#include "match/bound.h"
#include "match/design.h"
#include "model/choice.h"
#include "model/field_set.h"
#include "model/result.h"
#include "rf/e_series.h"
#include "rf/port_data.h"
#include "rf/sweep.h"

#include <nlohmann/json.hpp>

#include <complex>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace veltrane::cli {

// --yield TOL:RUNS[:TARGET_DB]
struct YieldRequest {
    double tolerance_percent = 0.0;
    long runs = 0;
    std::optional<double> target_rl_db; // default: the nominal worst return loss less 1 dB
    std::uint64_t seed = 1;             // --seed
    match::YieldDistribution distribution = match::YieldDistribution::Uniform; // --yield-dist
};

// What --match and its companions ask for.
struct MatchRequest {
    int elements = 0;                 // --match N
    std::optional<match::Band> band;  // --band FL:FH; default the model's FL..FH
    std::optional<double> source_ohm; // --source; default --z0, else 50
    std::optional<std::complex<double>> source_impedance; // --source R+jX
    std::optional<std::string> source_touchstone;         // --source-touchstone
    int source_port = 1;                                  // --source-port
    std::optional<rf::ESeries> e_series;                  // --match-e-series
    match::Losses losses; // --inductor-q, --capacitor-q, --inductor-srf, --capacitor-esl/-esr
    std::optional<match::DesignAim> aim; // --match-objective
    match::Constraints constraints;      // --dc-path ... --c-range
    std::optional<YieldRequest> yield;   // --yield
    std::optional<std::string> parts;    // --parts DIR: a library of measured parts
    std::optional<std::string> s2p, s1p, spice, plot;
    bool data_only = false; // with --touchstone and no choices: no model is calculated
};

// The words of the options as the command line holds them.
struct MatchWords {
    std::string elements, band, source, source_touchstone, source_port, e_series, inductor_q,
        capacitor_q, yield, objective, seed, distribution, first, last, l_range, c_range, parts,
        inductor_srf, capacitor_esl, capacitor_esr;
    bool dc_path = false, dc_block = false, lowpass = false, highpass = false;
    std::string s2p, s1p, spice, plot;
    CLI::Option* match = nullptr;
};

void add_match_options(CLI::App& app, MatchWords& words);

// The request (none without --match), or the text of a usage error. `paths`: the other files
// the run writes (report, exports), which the match's files may not be.
[[nodiscard]] std::variant<std::optional<MatchRequest>, std::string>
match_request(const CLI::App& app, const MatchWords& words, const std::vector<std::string>& paths);

// The message naming the first value out of the ranges the designer gives finite, non-zero
// parts in (views::match_range_problem); none when all lie inside.
[[nodiscard]] std::optional<std::string>
match_range_message(const MatchRequest& request, double source_ohm,
                    const std::optional<match::Band>& band);

// What the match works on: a finished calculation (model and band), measured data, or both.
struct MatchContext {
    const Result* state = nullptr; // the calculation, when a model was calculated
    std::optional<Topology> topology;
    const rf::PortData* data = nullptr;
    double z0_ohm = 50; // --z0, else the data's reference, else 50
    std::optional<rf::Sweep> sweep;
    std::ostream* progress = nullptr; // the yield's progress past a second, as it happens
};

struct MatchOutcome {
    int status = 0;              // 0, 1 (data), 2 (usage)
    std::string text;            // for the text output
    nlohmann::ordered_json json; // the "match" object
    std::vector<std::string> written;
    std::vector<std::string> failures; // "Cannot write FILE: reason", or the error when status != 0
};

// Designs the networks and writes the files.
[[nodiscard]] MatchOutcome run_match(const MatchRequest& request, const MatchContext& context);

// How veltrane-calc uses the above.
struct CalcRequest;

// Sets request.match from the parsed words; returns the text of a usage error.
[[nodiscard]] std::optional<std::string>
finish_match_options(const CLI::App& app, const MatchWords& words, CalcRequest& request);

// The match on measured data alone, without a calculation: prints it and returns the status.
int run_data_match(const CalcRequest& request, std::ostream& out, std::ostream& err);

// The match after a calculation that gave results (none when not asked for).
[[nodiscard]] std::optional<MatchOutcome>
run_model_match(const CalcRequest& request, const Result& state, const FieldSet& fields);

// Adds "match" (and "match_files", "match_message") to the JSON output.
void add_match_json(nlohmann::ordered_json& object, const MatchOutcome& outcome);

// The text output: the table to `out`, errors and files not written to `err`.
void print_match(const MatchOutcome& outcome, std::ostream& out, std::ostream& err);

} // namespace veltrane::cli
