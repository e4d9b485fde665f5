#pragma once

// What the measured-data window computes from its inputs, without Qt: the two points taken
// from the data, the eight choices with their fit, and the chosen one as the calculator shows it.

#include "model/result.h"
#include "model/solve.h"
#include "rf/fit.h"
#include "rf/interpolate.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrane::views {

// One impedance point read off the data (rf::impedance_at).
using DataPoint = rf::ImpedancePoint;

// The calculation's inputs for two points and RL: F1, F2 in MHz as the calculator holds them.
[[nodiscard]] Inputs inputs(const DataPoint& p1, const DataPoint& p2, double rl_ohm);

// One of the eight choices for the current points and RL.
struct ChoiceRow {
    Choice choice;
    std::variant<Result, std::string> outcome; // the final state, or the calculator's message
    std::optional<rf::FitStats> band_fit;      // over the samples in FL..FH
    std::optional<rf::FitStats> data_fit;      // over every sample: the figure a row shows
    std::vector<std::string> warnings;         // rf::model_warnings over the data
};

// What a row must say before its model is trusted, as a word: "negative" (an element below
// zero), "degenerate" (an element zero, not finite, or acting as a short or an open over the
// data), "warning" (any other warning), or empty.
[[nodiscard]] std::string row_mark(const ChoiceRow& row);

// The one figure by which a model is judged against the data wherever it is shown, and its
// label: the largest |ΔΓ| over every sample.
inline constexpr std::string_view data_fit_label = "max |\u0394\u0393|";
[[nodiscard]] std::optional<rf::FitStats> data_fit(const Result& state, Topology topology,
                                                   const rf::PortData& data, double z0_ohm);

struct Evaluation {
    std::optional<std::string> message; // why there are no rows (a point off the data)
    std::array<DataPoint, 2> points{};
    std::vector<ChoiceRow> rows; // the eight, in rf::all_choices order, or none
};

// Takes both points off the data and runs all eight choices with RL, each with its fit over its
// own band and over the data, reflections compared against `z0_ohm`, and the warnings of each
// model without a negative element (a negative one is marked as such already). The fits and
// warnings are judged on `judged` when given (fewer samples of the same data, for speed), on
// `data` otherwise; the points are always read off `data`.
[[nodiscard]] Evaluation evaluate(const rf::PortData& data, double f1_ghz, double f2_ghz,
                                  double rl_ohm, double z0_ohm,
                                  const rf::PortData* judged = nullptr);

// Where newly opened data start: the samples at a third and two thirds of the data, RL = the
// data's reference, and the choice that fits best over its band (four positive elements before
// any other). Nothing for data without samples.
struct Start {
    std::array<double, 2> f_ghz{};
    double rl_ohm = 50.0;
    Choice choice;
    Evaluation evaluation;
};
[[nodiscard]] std::optional<Start> start(const rf::PortData& data);

// The chosen model as the calculator window shows it: the ten result texts (or the message)
// and the report bytes, from the very texts the calculator would hold.
struct CalculatorView {
    std::optional<std::string> message;
    std::array<std::string, 10> results; // Ls_txt ... F0_txt
    std::string report;                  // Model.prt, empty after a message
};
[[nodiscard]] CalculatorView calculator_view(const DataPoint& p1, const DataPoint& p2,
                                             double rl_ohm, Choice choice);

// "Par/Ser, F1 ind, F2 cap": a short name for a table row.
[[nodiscard]] std::string choice_label(Choice choice);

// "Ls 1.234 nH, Cs 114.2 fF, ..." with four significant digits and the SI prefix that suits each
// value, for the table of choices.
[[nodiscard]] std::string element_line(const Result& state);

} // namespace veltrane::views
