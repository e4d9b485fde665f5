#pragma once

// Which files a model export writes and how, for every front end: the model described with its
// standard values when a series is chosen, and the bytes of a Touchstone file, a SPICE
// subcircuit or a picture. The front ends choose the paths and write the bytes safely.

#include "model/choice.h"
#include "model/result.h"
#include "rf/e_series.h"
#include "rf/model_files.h"
#include "rf/model_impedance.h"
#include "rf/picture.h"
#include "rf/sweep.h"

#include <optional>
#include <string>
#include <vector>

namespace veltrane::views {

enum class ModelExport { Touchstone, Spice, Picture };

// The calculated model as the files describe it: with a series, its standard values with the
// calculated ones beside them.
[[nodiscard]] rf::DescribedModel described_model(const rf::LumpedModel& exact,
                                                 std::optional<rf::ESeries> series);

// What an export is made of. The Touchstone file takes `f_ghz` (rising, >= 0), the SPICE
// example of use `sweep`, the picture `picture`.
struct ModelExportInput {
    rf::DescribedModel described;
    const Result* calculation = nullptr; // needed by the SPICE subcircuit
    Choice choice;
    std::vector<double> f_ghz;
    rf::Sweep sweep;
    double z0_ohm = 50.0;
    const rf::Picture* picture = nullptr;
};

// The bytes of one export; empty when its input is missing.
[[nodiscard]] std::string model_export_bytes(ModelExport kind, const ModelExportInput& input);

} // namespace veltrane::views
