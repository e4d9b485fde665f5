#pragma once

#include "cli/exports.h"

#include <nlohmann/json.hpp>

namespace veltrane::cli {

// Adds "e_series" (when asked for; null after a message) and "exports" (when files were asked
// for) to the JSON output. `outcome` is none when the calculation ended with a message.
void add_export_json(nlohmann::ordered_json& object, const ExportRequest& request,
                     const ExportOutcome* outcome);

} // namespace veltrane::cli
