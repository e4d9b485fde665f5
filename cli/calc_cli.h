#pragma once

#include "cli/calc_request.h"

#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::cli {

inline constexpr std::string_view program_name = "veltrane-calc";

// Reads the arguments (without the program name). Returns the request, or the exit status of
// a command line that asks for no calculation: --help (help printed to `out`) or a usage error
// (message and usage printed to `err`).
[[nodiscard]] std::variant<CalcRequest, int> parse_calc_args(const std::vector<std::string>& args,
                                                             std::ostream& out, std::ostream& err);

// Runs CALCULATE on the request's fields and prints the outcome: the result lines or the JSON
// object to `out`, a message to `err`. Returns the exit status.
int run_request(CalcRequest& request, std::ostream& out, std::ostream& err);

// parse_calc_args, then run_request: the whole of veltrane-calc. The progress of runs longer
// than a second goes to `progress` as it happens (to `err` with the rest when none).
int run_calc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             std::ostream* progress = nullptr);

// Puts what a run printed on the program's standard output and standard error, in that order,
// checking every write and the final flush. A failure is told on `err` as "veltrane-calc: write
// error: <reason>" (as far as `err` still takes it) and turns the status of a successful run into
// exit_message, so that a full disk or a closed output never passes for success. Returns the
// exit status.
int deliver(int status, std::string_view out_text, std::string_view err_text, std::FILE* out,
            std::FILE* err);

} // namespace veltrane::cli
