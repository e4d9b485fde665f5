#include "views/model_summary.h"
#include "model/units.h"

#include "model/quantities.h"
#include "model/solve.h"
#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_check.h"
#include "rf/model_warnings.h"
#include "rf/numbers.h"
#include "views/people_text.h"

#include <algorithm>
#include <array>

#include <cmath>
#include <limits>
#include <variant>

namespace veltrane::views {

namespace {

using Kind = SummaryLine::Kind;

std::string number(double value, int digits = 6) {
    return rf::readable(value, digits);
}

const ChoiceRow* row_of(const Evaluation& evaluation, Choice choice) {
    for (const ChoiceRow& row : evaluation.rows) {
        if (row.choice == choice) {
            return &row;
        }
    }
    return nullptr;
}

// The check, the note on negative elements, the fits and the standard values of a model.
void add_model_lines(std::vector<SummaryLine>& lines, const SummaryInput& in, const ChoiceRow& row,
                     const Result& result) {
    const ModelFigures figures = model_figures(result, in.chosen.topology, nullptr, in.z0_ohm, {});
    const rf::ModelCheck& check = figures.check;
    lines.push_back({Kind::Blank, {}});
    lines.push_back(
        {Kind::Check, "Check: the model at F1 and F2 within " + number(check.max_error_ohm, 3) +
                          " \u03a9" +
                          (check.unreliable ? " (unreliable: ill-conditioned inputs)" : "")});
    if (figures.note) {
        lines.push_back({Kind::Note, *figures.note});
    }
    lines.push_back({Kind::Fit, "Fit over FL..FH: " + (row.band_fit ? fit_text(*row.band_fit)
                                                                    : "no sample in the band")});
    const auto model = rf::LumpedModel::from(result, in.chosen.topology);
    if (row.data_fit) {
        lines.push_back({Kind::Fit, "Fit over the data: " + fit_text(*row.data_fit)});
    }
    if (in.series) {
        const auto standard = rf::standard_model(model, *in.series);
        const std::string name(rf::e_series_name(*in.series));
        lines.push_back({Kind::Blank, {}});
        lines.push_back({Kind::Standard, name + " values: Ls " + number(standard.ls_nh, 3) +
                                             " nH, Cs " + number(standard.cs_pf, 3) + " pF, Lp " +
                                             number(standard.lp_nh, 3) + " nH, Cp " +
                                             number(standard.cp_pf, 3) + " pF"});
        if (const auto band = rf::fit(standard, *in.data, in.z0_ohm, result.FL, result.FH)) {
            lines.push_back({Kind::Standard, name + " fit over FL..FH: " + fit_text(*band)});
        }
    }
}

} // namespace

ModelFigures model_figures(const Result& result, Topology topology, const rf::PortData* data,
                           double z0_ohm, const rf::FrequencyRange& range) {
    ModelFigures figures;
    figures.check = rf::check_model(result, topology);
    figures.note = rf::negative_note(result);
    if (data != nullptr) {
        const rf::LumpedModel model = rf::LumpedModel::from(result, topology);
        figures.with_data = true;
        figures.band = rf::fit(model, *data, z0_ohm, result.FL, result.FH, range);
        figures.all = rf::fit_all(model, *data, z0_ohm);
        if (range.fmin_ghz || range.fmax_ghz) {
            figures.range = rf::fit_range(model, *data, z0_ohm, range);
        }
        figures.warnings = rf::model_warnings(result, topology, *data, z0_ohm, range);
    }
    return figures;
}

RefinedPoints refined_points(const rf::LumpedModel& model, double f1_ghz, double f2_ghz) {
    const rf::Complex z1 = rf::impedance(model, f1_ghz);
    const rf::Complex z2 = rf::impedance(model, f2_ghz);
    RefinedPoints points{
        inputs_from_ghz(f1_ghz, z1.real(), z1.imag(), f2_ghz, z2.real(), z2.imag(), model.rl_ohm),
        std::nullopt};
    double closest = std::numeric_limits<double>::infinity();
    for (const Choice& choice : rf::all_choices) {
        if (choice.topology != model.topology) {
            continue;
        }
        const auto solved = solve(points.inputs, choice);
        if (const Result* s = std::get_if<Result>(&solved)) {
            const double distance =
                std::fabs(s->Ls / model.ls_nh - 1) + std::fabs(s->Cs / model.cs_pf - 1) +
                std::fabs(s->Lp / model.lp_nh - 1) + std::fabs(s->Cp / model.cp_pf - 1);
            if (distance < closest) {
                closest = distance;
                points.choice = choice;
            }
        }
    }
    return points;
}

std::string point_text(std::string_view label, const DataPoint& p) {
    return std::string(label) + " = " + number(p.f_ghz, 9) +
           " GHz: " + impedance_text(p.z_ohm, Typography::Typographic) + ", " +
           (p.interpolated ? "interpolated" : "measured");
}

std::string row_name(Choice choice) {
    const auto at = std::find(rf::all_choices.begin(), rf::all_choices.end(), choice);
    return "Row " + std::to_string(at - rf::all_choices.begin() + 1) + ", " + choice_label(choice);
}

std::string beside_calculator(std::size_t field, const Result& state) {
    const std::array<double, 10> values = {state.Ls, state.Cs,  state.Lp, state.Cp, state.Q1,
                                           state.Q2, state.Qbp, state.FL, state.FH, state.F0};
    const double v = values[field];
    if (!std::isfinite(v)) {
        return {};
    }
    if (field >= 7) { // FL, FH, F0 in MHz
        return " (" + number(mhz_to_ghz(v)) + " GHz)";
    }
    if (field < 4 && v != 0 && std::fabs(v) < 1) { // nH or pF the calculator rounds away
        return " (" +
               si_text(field % 2 == 0 ? nh_to_h(v) : pf_to_f(v), field % 2 == 0 ? "H" : "F",
                       Typography::Typographic) +
               ")";
    }
    return {};
}

std::string fit_text(const rf::FitStats& fit) {
    return "max |\u0394\u0393| " + number(fit.max, 4) + " at " + number(fit.at_ghz) + " GHz, rms " +
           number(fit.rms, 4) + ", " + std::to_string(fit.points) + " samples";
}

Summary model_summary(const SummaryInput& in) {
    Summary out;
    if (in.data == nullptr || in.evaluation == nullptr || in.evaluation->message) {
        if (in.evaluation != nullptr && in.evaluation->message) {
            out.lines.push_back({Kind::Message, *in.evaluation->message});
        }
        return out;
    }
    const auto& [p1, p2] = in.evaluation->points;
    out.view = calculator_view(p1, p2, in.rl_ohm, in.chosen);
    const CalculatorView& view = *out.view;
    auto& lines = out.lines;
    const ChoiceRow* row = row_of(*in.evaluation, in.chosen);
    const std::string mark = row != nullptr ? row_mark(*row) : std::string{};
    lines.push_back({Kind::Heading, row_name(in.chosen) + ", RL = " + number(in.rl_ohm, 9) +
                                        " \u03a9" + (mark.empty() ? "" : ": " + mark)});
    if (row != nullptr) {
        for (const std::string& warning : row->warnings) {
            lines.push_back({Kind::Warning, "Warning: " + warning});
        }
    }
    lines.push_back({Kind::Point, point_text("F1", p1)});
    lines.push_back({Kind::Point, point_text("F2", p2)});
    lines.push_back({Kind::Blank, {}});
    if (view.message) {
        lines.push_back({Kind::Message, *view.message});
    } else {
        for (std::size_t i = 0; i < result_fields.size(); ++i) {
            const Quantity& q = quantity(result_fields[i]);
            const auto* state = row != nullptr ? std::get_if<Result>(&row->outcome) : nullptr;
            lines.push_back({Kind::Result, std::string(q.symbol) + " " + view.results[i] +
                                               unit_suffix(q.unit) +
                                               (state ? beside_calculator(i, *state) : "")});
        }
    }
    if (row != nullptr) {
        if (const auto* result = std::get_if<Result>(&row->outcome)) {
            add_model_lines(lines, in, *row, *result);
        }
    }
    return out;
}

std::string text(const std::vector<SummaryLine>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        out += lines[i].text;
    }
    return out;
}

} // namespace veltrane::views
