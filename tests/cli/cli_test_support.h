#pragma once
// veltrane-calc run in process, for the command-line tests.

#include "cli/calc_cli.h"

#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::testing {

using CalcArgs = std::vector<std::string>;

// What one run printed and its exit status.
struct CalcRun {
    int status = -1;
    std::string out;
    std::string err;
};

// veltrane-calc on `args`; `data`, when given, stands in the request as a file's data would.
inline CalcRun calc(const CalcArgs& args, const std::optional<rf::PortData>& data = std::nullopt) {
    std::ostringstream out;
    std::ostringstream err;
    CalcRun run;
    auto parsed = cli::parse_calc_args(args, out, err);
    if (const int* status = std::get_if<int>(&parsed)) {
        run.status = *status;
    } else {
        cli::CalcRequest& request = std::get<cli::CalcRequest>(parsed);
        request.data = data;
        run.status = cli::run_request(request, out, err);
    }
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace veltrane::testing
