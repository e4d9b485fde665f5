#pragma once

#include "cli/exports.h"
#include "cli/match_options.h"
#include "cli/measured_input.h"
#include "cli/model_options.h"
#include "model/field_set.h"
#include "rf/port_data.h"

#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::cli {

// Exit status of veltrane-calc.
inline constexpr int exit_results = 0; // results produced (and the report written, if asked)
inline constexpr int exit_message = 1; // the calculation ended with a message
inline constexpr int exit_usage = 2;   // the command line could not be used

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
};

// Reads the arguments (without the program name). Returns the request, or the exit status of
// a command line that asks for no calculation: --help (help printed to `out`) or a usage error
// (message and usage printed to `err`).
[[nodiscard]] std::variant<CalcRequest, int> parse_calc_args(const std::vector<std::string>& args,
                                                             std::ostream& out, std::ostream& err);

// The reference resistance for reflections: --z0, else the data's reference, else 50 ohm.
[[nodiscard]] double reference_ohm(const CalcRequest& request);

// Runs CALCULATE on the request's fields and prints the outcome: the result lines or the JSON
// object to `out`, a message to `err`. Returns the exit status.
int run_request(CalcRequest& request, std::ostream& out, std::ostream& err);

// parse_calc_args, then run_request: the whole of veltrane-calc.
int run_calc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Puts what a run printed on the program's standard output and standard error, in that order,
// checking every write and the final flush. A failure is told on `err` as "veltrane-calc: write
// error: <reason>" (as far as `err` still takes it) and turns the status of a successful run into
// exit_message, so that a full disk or a closed output never passes for success. Returns the
// exit status.
int deliver(int status, std::string_view out_text, std::string_view err_text, std::FILE* out,
            std::FILE* err);

} // namespace veltrane::cli
