#pragma once
// veltrane-calc run in process, for the command-line tests.

#include "cli/calc_cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace veltrane::testing {

using CalcArgs = std::vector<std::string>;

// What one run printed and its exit status.
struct CalcRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline CalcRun calc(const CalcArgs& args) {
    std::ostringstream out;
    std::ostringstream err;
    CalcRun run;
    run.status = cli::run_calc(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace veltrane::testing
