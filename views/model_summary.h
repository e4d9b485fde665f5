#pragma once

// The chosen model of the measured-data window as lines for a person: the choice and RL, the two
// points, the calculator's ten results (or its message), the check, the fits over the band and
// over the data, and the model with standard part values. Each line says what it is, so that a
// front end can lay the lines out as it likes; text() gives them as one text.

#include "model/inputs.h"
#include "rf/e_series.h"
#include "rf/fit.h"
#include "rf/model_check.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "views/evaluation.h"

#include <optional>
#include <string>
#include <vector>

namespace veltrane::views {

struct SummaryLine {
    enum class Kind {
        Heading,  // the row, its choice and RL, and its mark ("negative")
        Warning,  // what to know before trusting the model, right under the heading
        Point,    // F1 or F2 as taken off the data
        Blank,    // between groups
        Message,  // the calculator's message, or why there is no model
        Result,   // one of the ten result fields with its unit
        Check,    // the model at F1 and F2
        Note,     // negative elements
        Fit,      // over FL..FH or over the data
        Standard, // the model with standard part values, and its fit
    };
    Kind kind;
    std::string text;
};

struct SummaryInput {
    const Evaluation* evaluation = nullptr;
    const rf::PortData* data = nullptr;
    Choice chosen;
    double rl_ohm = 50.0;
    double z0_ohm = 50.0;
    std::optional<rf::ESeries> series;
};

// The lines, and the calculator's view of the chosen model they were made from. Without data or
// with an evaluation message, that message alone.
struct Summary {
    std::vector<SummaryLine> lines;
    std::optional<CalculatorView> view;
};
[[nodiscard]] Summary model_summary(const SummaryInput& input);

// What every front end says of a calculated model after its results: the model checked against
// its points, the note on negative elements and, with data, its fits (over FL..FH within the
// range, over the range when one is given, over all samples) and the warnings. The window lays
// them out in its summary; veltrane-calc prints them as lines or JSON members.
struct ModelFigures {
    rf::ModelCheck check;
    std::optional<std::string> note;
    bool with_data = false;
    std::optional<rf::FitStats> band, range, all;
    std::vector<std::string> warnings;
};
[[nodiscard]] ModelFigures model_figures(const Result& result, Topology topology,
                                         const rf::PortData* data, double z0_ohm,
                                         const rf::FrequencyRange& range);

// The calculation that gives a refined model back: its impedances at F1 and F2 (GHz) as the two
// points and its RL, under the choice of its topology whose elements come closest to the
// model's (none when no choice of that topology gives a model). veltrane-calc and the Python
// module calculate from these after --refine.
struct RefinedPoints {
    Inputs inputs;
    std::optional<Choice> choice;
};
[[nodiscard]] RefinedPoints refined_points(const rf::LumpedModel& model, double f1_ghz,
                                           double f2_ghz);

// The lines one per text line.
[[nodiscard]] std::string text(const std::vector<SummaryLine>& lines);

// "Row 3, Par/Ser, F1 cap, F2 ind": the row of the table of choices and its name.
[[nodiscard]] std::string row_name(Choice choice);

// "F1 = 2.2 GHz: 30.6829 − j32.4467 Ω, measured".
[[nodiscard]] std::string point_text(std::string_view label, const DataPoint& p);
// "max |ΔΓ| 0.2295 at 3.01 GHz, rms 0.1274, 82 samples".
[[nodiscard]] std::string fit_text(const rf::FitStats& fit);

} // namespace veltrane::views
