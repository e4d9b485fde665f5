#include "views/evaluation.h"
#include "model/units.h"

#include "model/field_set.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/choices.h"
#include "rf/model_warnings.h"
#include "rf/numbers.h"
#include "views/people_text.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane::views {

Inputs inputs(const DataPoint& p1, const DataPoint& p2, double rl_ohm) {
    return inputs_from_ghz(p1.f_ghz, p1.z_ohm.real(), p1.z_ohm.imag(), p2.f_ghz, p2.z_ohm.real(),
                           p2.z_ohm.imag(), rl_ohm);
}

Evaluation evaluate(const rf::PortData& data, double f1_ghz, double f2_ghz, double rl_ohm,
                    double z0_ohm, const rf::PortData* judged) {
    const rf::PortData& on = judged != nullptr ? *judged : data;
    Evaluation out;
    const std::array<std::pair<double, std::string_view>, 2> wanted = {
        {{f1_ghz, "F1"}, {f2_ghz, "F2"}}};
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        auto point = rf::impedance_at(data, wanted[k].first, wanted[k].second);
        if (auto* message = std::get_if<std::string>(&point)) {
            out.message = std::move(*message);
            return out;
        }
        out.points[k] = std::get<DataPoint>(point);
    }
    const Inputs in = inputs(out.points[0], out.points[1], rl_ohm);
    out.rows.reserve(rf::all_choices.size());
    for (const Choice& choice : rf::all_choices) {
        ChoiceRow row{choice, solve(in, choice), std::nullopt, std::nullopt, {}};
        if (const auto* state = std::get_if<Result>(&row.outcome)) {
            const auto model = rf::LumpedModel::from(*state, choice.topology);
            row.band_fit = rf::fit(model, on, z0_ohm, state->FL, state->FH);
            row.data_fit = data_fit(*state, choice.topology, on, z0_ohm);
            if (!(state->Ls < 0 || state->Cs < 0 || state->Lp < 0 || state->Cp < 0)) {
                row.warnings = rf::model_warnings(*state, choice.topology, on, z0_ohm, {});
            }
        }
        out.rows.push_back(std::move(row));
    }
    return out;
}

std::optional<Start> start(const rf::PortData& data) {
    const auto& f = data.f_ghz;
    const std::size_t n = std::min(f.size(), data.s.size());
    if (n == 0) {
        return std::nullopt;
    }
    Start out;
    out.f_ghz = {f[n / 3], f[std::min(n - 1, 2 * n / 3)]};
    out.rl_ohm = data.reference_ohm;
    out.evaluation = evaluate(data, out.f_ghz[0], out.f_ghz[1], out.rl_ohm, data.reference_ohm);
    const auto rank = [](const ChoiceRow& row) {
        const Result& s = std::get<Result>(row.outcome);
        const bool positive = all_positive(s);
        return std::pair{positive ? 0 : 1, row.band_fit->max};
    };
    const ChoiceRow* best = nullptr;
    for (const ChoiceRow& row : out.evaluation.rows) {
        if (row.band_fit && (best == nullptr || rank(row) < rank(*best))) {
            best = &row;
        }
    }
    out.choice = best != nullptr ? best->choice : rf::all_choices[0];
    return out;
}

std::string row_mark(const ChoiceRow& row) {
    const auto* state = std::get_if<Result>(&row.outcome);
    if (state == nullptr) {
        return {};
    }
    const std::array<double, 4> elements = {state->Ls, state->Cs, state->Lp, state->Cp};
    if (std::any_of(elements.begin(), elements.end(), [](double v) { return v < 0; })) {
        return "negative";
    }
    const bool degenerate =
        std::any_of(elements.begin(), elements.end(),
                    [](double v) { return v == 0 || !std::isfinite(v); }) ||
        std::any_of(row.warnings.begin(), row.warnings.end(),
                    [](const std::string& w) { return w.find(" acts as ") != std::string::npos; });
    if (degenerate) {
        return "degenerate";
    }
    return row.warnings.empty() ? std::string{} : std::string{"warning"};
}

std::optional<rf::FitStats> data_fit(const Result& state, Topology topology,
                                     const rf::PortData& data, double z0_ohm) {
    return rf::fit_all(rf::LumpedModel::from(state, topology), data, z0_ohm);
}

CalculatorView calculator_view(const DataPoint& p1, const DataPoint& p2, double rl_ohm,
                               Choice choice) {
    MemoryFieldSet fields;
    fields.set_text(Field::F1, rf::shortest(p1.f_ghz));
    fields.set_text(Field::R1, rf::shortest(p1.z_ohm.real()));
    fields.set_text(Field::X1, rf::shortest(p1.z_ohm.imag()));
    fields.set_text(Field::F2, rf::shortest(p2.f_ghz));
    fields.set_text(Field::R2, rf::shortest(p2.z_ohm.real()));
    fields.set_text(Field::X2, rf::shortest(p2.z_ohm.imag()));
    fields.set_text(Field::RL, rf::shortest(rl_ohm));
    select_choice(fields, choice);
    MemoryReport report;
    CalculatorView view;
    if (calculate(fields, report) == Outcome::Message) {
        view.message = fields.text(Field::Message);
    }
    for (std::size_t i = 0; i < result_fields.size(); ++i) {
        view.results[i] = fields.text(result_fields[i]);
    }
    view.report = report.bytes();
    return view;
}

std::string choice_label(Choice choice) {
    const auto word = [](Crossover c) { return c == Crossover::Inductive ? "ind" : "cap"; };
    return std::string(choice.topology == Topology::ParallelSeries ? "Par/Ser" : "Ser/Par") +
           ", F1 " + word(choice.f1) + ", F2 " + word(choice.f2);
}

std::string element_line(const Result& state) {
    const auto henry = [](double nh) { return si_text(nh_to_h(nh), "H", Typography::Typographic); };
    const auto farad = [](double pf) { return si_text(pf_to_f(pf), "F", Typography::Typographic); };
    return "Ls " + henry(state.Ls) + ", Cs " + farad(state.Cs) + ", Lp " + henry(state.Lp) +
           ", Cp " + farad(state.Cp);
}

} // namespace veltrane::views
