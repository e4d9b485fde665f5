#pragma once

#include "cli/amplifier_run.h"
#include "cli/exports.h"
#include "cli/match_options.h"
#include "cli/measured_input.h"
#include "cli/model_options.h"
#include "model/field_set.h"
#include "rf/port_data.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::cli {

// Exit status of veltrane-calc.
inline constexpr int exit_results = 0; // results produced (and the report written, if asked)
inline constexpr int exit_message = 1; // the calculation ended with a message
inline constexpr int exit_usage = 2;   // the command line could not be used

// A long run's progress on one line of standard error: "LABEL: N %", and the blanks that clear
// the longest such line ("LABEL: 100 %") when the run ends.
[[nodiscard]] inline std::string progress_line(std::string_view label, int percent) {
    return "\r" + std::string{label} + ": " + std::to_string(percent) + " %";
}
[[nodiscard]] inline std::string progress_cleared(std::string_view label) {
    return "\r" + std::string(label.size() + std::string_view{": 100 %"}.size(), ' ') + "\r";
}

// One calculation asked for on the command line.
struct CalcRequest {
    MemoryFieldSet fields;                 // the window as the options leave it
    std::optional<std::string> report;     // the report file; none for --no-report
    bool json = false;                     // print one JSON object instead of the result lines
    std::optional<std::string> touchstone; // --touchstone: R1 + jX1, R2 + jX2 from this file
    int port = 1;                          // --port: the file's port, counted from 1
    std::optional<rf::PortData> data;      // measured data read from --touchstone, if given
    std::optional<std::vector<MeasuredPoint>> points; // the points taken from the data
    std::optional<double> z0_ohm;      // --z0: reference for reflections; default the data's
                                       // reference resistance, else 50 ohm
    ModelOptions model;                // the check, --all-choices, --best-fit
    ExportRequest exports;             // --sweep, --s1p, --spice, --plot, --e-series
    std::optional<MatchRequest> match; // --match and its companions
    std::optional<AmplifierRequest> amplifier; // --amplifier, --at and --band: this alone
    std::size_t threads = 0;                   // --threads: threads to work on; 0 for every core
    std::ostream* progress = nullptr;          // where the progress of long runs goes as it happens
                                               // (standard error); none: with the other messages
};

// The reference resistance for reflections: --z0, else the data's reference, else 50 ohm.
[[nodiscard]] double reference_ohm(const CalcRequest& request);

} // namespace veltrane::cli
