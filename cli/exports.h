#pragma once

#include "model/field_set.h"
#include "model/result.h"
#include "rf/e_series.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "rf/sweep.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace CLI {
class App;
}

namespace veltrane::cli {

// What veltrane-calc writes from a finished calculation besides the result lines and the report.
struct ExportRequest {
    std::optional<rf::Sweep> sweep;      // --sweep; default from the calculation
    bool sweep_data = false;             // --sweep data: the measured file's own frequencies
    std::optional<std::string> s1p;      // --s1p FILE: Touchstone one-port
    std::optional<std::string> spice;    // --spice FILE: SPICE subcircuit
    std::optional<std::string> plot;     // --plot FILE.svg: Smith chart and return loss
    std::optional<rf::ESeries> e_series; // --e-series: standard values in place of the elements

    [[nodiscard]] bool any() const { return s1p || spice || plot || e_series; }
};

// The words of the export options as the command line holds them, before they are checked.
struct ExportOptions {
    std::string sweep, s1p, spice, plot, e_series;
};

// Adds --sweep, --s1p, --spice, --plot and --e-series to the command line.
void add_export_options(CLI::App& app, ExportOptions& words);

// The request the parsed words ask for, or the text of a usage error: a bad sweep, output paths
// equal to each other or to the report (`report`: the report's path, if one is written).
[[nodiscard]] std::variant<ExportRequest, std::string>
export_request(const CLI::App& app, const ExportOptions& words,
               const std::optional<std::string>& report);

// The model with standard values beside the calculated one: both evaluated at F1 and F2, and the
// band of each from its resonating pair.
struct ModelFigures {
    rf::LumpedModel model;
    rf::Complex z1, z2;  // impedance at F1, F2 (ohm)
    double gamma1 = 0.0; // |Gamma| of the model's impedance against the point at F1
    double gamma2 = 0.0;
    std::optional<Result> band; // FL, FH, F0, Qbp; none when the pair gives no band
    std::string band_message;   // why not
    // With measured data: |Gamma_model - Gamma_data| over the calculation's FL..FH and over the
    // range (fmin..fmax, or every sample).
    std::optional<rf::FitStats> band_fit, range_fit;
};

struct StandardComparison {
    rf::ESeries series = rf::ESeries::E24;
    ModelFigures calculated;
    ModelFigures standard;
};

// The calculation the exports start from.
struct ExportContext {
    const Result& state;           // full precision, as the calculation left it
    const FieldSet& fields;        // its option buttons
    const rf::PortData* data;      // measured data, if given
    double z0_ohm;                 // reference for reflections
    rf::FrequencyRange range = {}; // the range the data are judged over
};

struct ExportOutcome {
    std::optional<StandardComparison> comparison;
    std::vector<std::string> written;  // paths of the files written
    std::vector<std::string> failures; // "Cannot write FILE: reason"
};

// Works out the standard values (if asked) and writes the files of `request`.
[[nodiscard]] ExportOutcome run_exports(const ExportRequest& request, const ExportContext& context);

// The side-by-side table of the standard values, for the result lines.
void print_comparison(const StandardComparison& comparison, std::ostream& out);

} // namespace veltrane::cli
