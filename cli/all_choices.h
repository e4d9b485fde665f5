#pragma once

#include "cli/calc_request.h"

#include <iosfwd>

namespace veltrane::cli {

// The whole run of --all-choices: one row per choice, the RL ranges; no report.
[[nodiscard]] int run_all_choices(CalcRequest& request, std::ostream& out, std::ostream& err);

} // namespace veltrane::cli
