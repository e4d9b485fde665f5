#include "cli/model_report.h"

#include "cli/model_text.h"

#include "format/text_number.h"
#include "model/field_set.h"
#include "model/solve.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/choices.h"
#include "rf/model_impedance.h"
#include "rf/model_warnings.h"
#include "rf/numbers.h"
#include "views/fit_json.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace veltrane::cli {

namespace {

using model_text::complex_text;
using model_text::field_number;
using model_text::fit_json;
using model_text::fit_text;
using model_text::Json;
using model_text::number_or_null;
using model_text::people;
using model_text::print_table;

} // namespace

ModelReport::ModelReport(const CalcRequest& request)
    : request_(request), z0_ohm_(reference_ohm(request)),
      shown_(request.data || request.z0_ohm || request.model.check || request.model.best_fit) {}

std::optional<std::string> ModelReport::prepare_best_fit(CalcRequest& request, std::ostream& out,
                                                         std::ostream& err) {
    const rf::PortData& data = *request.data;
    const ModelOptions& model = request.model;
    rf::BestFitOptions options{z0_ohm_, model.fmin_ghz, model.fmax_ghz, std::nullopt,
                               model.allow_negative};
    if (!model.rl_auto) {
        options.rl_ohm = field_number(request.fields, Field::RL);
    }
    const auto started = std::chrono::steady_clock::now();
    bool progress_shown = false;
    int last_percent = -1;
    std::ostream& shown = request.progress != nullptr ? *request.progress : err;
    const rf::BestFitProgress progress = [&](double done) {
        if (request.json || std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) {
            return true;
        }
        const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
        if (percent != last_percent) {
            shown << progress_line("Best fit", percent) << std::flush;
            last_percent = percent;
            progress_shown = true;
        }
        return true;
    };
    auto found = model.rl_auto || options.rl_ohm
                     ? rf::best_fit(data, options, progress)
                     : std::variant<rf::BestFit, std::string>{std::string{"RL is too large"}};
    if (progress_shown) {
        shown << progress_cleared("Best fit") << std::flush;
    }
    if (const std::string* message = std::get_if<std::string>(&found)) {
        best_fit_.emplace(); // "best_fit": [] in the JSON object
        return *message;
    }
    best_fit_ = std::move(std::get<rf::BestFit>(found));

    // The points' impedances come from the data at these sample frequencies.
    const rf::Candidate& best = best_fit_->best.front();
    MemoryFieldSet& fields = request.fields;
    fields.set_text(Field::F1, rf::shortest(best.f1_ghz));
    fields.set_text(Field::F2, rf::shortest(best.f2_ghz));
    if (model.rl_auto) {
        fields.set_text(Field::RL, rf::shortest(best.rl_ohm));
    }
    select_choice(fields, best.choice);

    if (!request.json) {
        const auto& samples = best_fit_->samples;
        out << "Best fit: " << samples << " samples, "
            << people(model.fmin_ghz.value_or(data.f_ghz.front())) << " to "
            << people(model.fmax_ghz.value_or(data.f_ghz.back()))
            << " GHz, reflections referred to " << people(z0_ohm_) << " ohm, RL "
            << (model.rl_auto ? std::string{"searched"} : people(best.rl_ohm) + " ohm") << '\n';
        if (best_fit_->thinned > 0) {
            out << "Pairs chosen among " << best_fit_->thinned
                << " evenly spaced samples, the best moved to its best neighbouring pair, the "
                   "models judged on all "
                << samples << " samples\n";
        }
        if (!best_fit_->positive_found) {
            out << "No model with four positive elements exists in this range: the best of the "
                   "others, marked *\n";
        }
        std::vector<std::vector<std::string>> rows = {
            {"#", "F1 GHz", "F2 GHz", "F1", "F2", "topology", "RL ohm", "Ls nH", "Cs pF", "Lp nH",
             "Cp pF", "F0 MHz", "FL MHz", "FH MHz", "largest", "RMS"}};
        for (std::size_t i = 0; i < best_fit_->best.size(); ++i) {
            const rf::Candidate& c = best_fit_->best[i];
            rows.push_back({std::to_string(i + 1) + (c.positive ? "" : "*"), people(c.f1_ghz),
                            people(c.f2_ghz), std::string{rf::crossover_word(c.choice.f1)},
                            std::string{rf::crossover_word(c.choice.f2)},
                            std::string{rf::topology_word(c.choice.topology)}, people(c.rl_ohm),
                            people(c.state.Ls), people(c.state.Cs), people(c.state.Lp),
                            people(c.state.Cp), people(c.state.F0), people(c.state.FL),
                            people(c.state.FH), people(c.max_error), people(c.rms_error)});
        }
        std::vector<bool> left(16, false);
        left[3] = left[4] = left[5] = true;
        print_table(rows, left, out);
        out << '\n';
    }
    return std::nullopt;
}

void ModelReport::refine(CalcRequest& request, std::ostream& out) {
    MemoryFieldSet& fields = request.fields;
    // The starts: the best candidates, or the model calculated from the points at F1 and F2.
    std::vector<rf::LumpedModel> starts;
    double f1_ghz = 0.0;
    double f2_ghz = 0.0;
    if (best_fit_) {
        for (const rf::Candidate& c : best_fit_->best) {
            starts.push_back(rf::LumpedModel::from(c.state, c.choice.topology));
        }
        if (!starts.empty()) {
            f1_ghz = best_fit_->best.front().f1_ghz;
            f2_ghz = best_fit_->best.front().f2_ghz;
        }
    } else {
        MemoryFieldSet calculated = fields;
        NoReport no_report;
        Result state;
        const std::optional<double> f1 = field_number(fields, Field::F1);
        const std::optional<double> f2 = field_number(fields, Field::F2);
        if (f1 && f2 && calculate(calculated, no_report, &state) != Outcome::Message) {
            starts.push_back(rf::LumpedModel::from(state, choice_of(fields).topology));
            f1_ghz = *f1;
            f2_ghz = *f2;
        }
    }
    if (starts.empty()) {
        return; // the calculation below gives its message
    }
    const rf::FrequencyRange range{request.model.fmin_ghz, request.model.fmax_ghz};
    refined_ = rf::refine(starts, *request.data, z0_ohm_, range);
    if (!refined_) {
        return;
    }
    const rf::LumpedModel& m = refined_->model;
    const views::RefinedPoints points = views::refined_points(m, f1_ghz, f2_ghz);
    fields.set_text(Field::R1, rf::shortest(points.inputs.R1));
    fields.set_text(Field::X1, rf::shortest(points.inputs.X1));
    fields.set_text(Field::R2, rf::shortest(points.inputs.R2));
    fields.set_text(Field::X2, rf::shortest(points.inputs.X2));
    fields.set_text(Field::RL, rf::shortest(points.inputs.RL));
    // The choices under which the calculation gives the refined elements back.
    if (points.choice) {
        select_choice(fields, *points.choice);
    }
    if (!request.json) {
        const rf::FitStats& f = refined_->fit;
        out << "Refined (Ls, Cs, Lp, Cp and RL together): " << rf::topology_word(m.topology)
            << ", Ls " << people(m.ls_nh) << " nH, Cs " << people(m.cs_pf) << " pF, Lp "
            << people(m.lp_nh) << " nH, Cp " << people(m.cp_pf) << " pF, RL " << people(m.rl_ohm)
            << " ohm; largest " << people(f.max) << " at " << people(f.at_ghz) << " GHz, RMS "
            << people(f.rms) << '\n';
        out << "Calculated below from the refined model's impedances at F1 and F2\n\n";
    }
}

void ModelReport::calculated(const Result& state, const FieldSet& fields) {
    if (!shown_) {
        return;
    }
    figures_ = views::model_figures(state, choice_of(fields).topology,
                                    request_.data ? &*request_.data : nullptr, z0_ohm_,
                                    {request_.model.fmin_ghz, request_.model.fmax_ghz});
}

void ModelReport::print_lines(std::ostream& out) const {
    if (!figures_) {
        return;
    }
    const views::ModelFigures& f = *figures_;
    out << "Model at F1  " << complex_text(f.check.z1) << '\n';
    out << "Model at F2  " << complex_text(f.check.z2) << '\n';
    out << "Largest distance from the points  " << people(f.check.max_error_ohm) << " ohm\n";
    if (f.check.unreliable) {
        out << "Warning: the model does not meet its own points: the inputs are ill-conditioned "
               "and the results are not reliable\n";
    }
    if (f.note) {
        out << "Note: " << *f.note << '\n';
    }
    if (f.with_data) {
        out << "Fit |Gamma_model - Gamma_data| referred to " << people(z0_ohm_) << " ohm\n";
        out << "  in FL..FH    " << fit_text(f.band) << '\n';
        if (f.range) {
            out << "  in the range " << fit_text(f.range) << '\n';
        }
        out << "  all samples  " << fit_text(f.all) << '\n';
        for (const std::string& warning : f.warnings) {
            out << "Warning: " << warning << '\n';
        }
    }
}

void ModelReport::add_json_before(nlohmann::ordered_json& object) const {
    if (best_fit_) {
        Json list = Json::array();
        for (const rf::Candidate& c : best_fit_->best) {
            list.push_back(views::candidate_json(c));
        }
        if (best_fit_->thinned > 0) {
            object["best_fit_thinned"] = best_fit_->thinned;
        }
        object["best_fit"] = std::move(list);
    }
    if (refined_) {
        const rf::LumpedModel& m = refined_->model;
        Json refined = Json::object();
        refined["topology"] = rf::topology_word(m.topology);
        refined["ls_nh"] = number_or_null(m.ls_nh);
        refined["cs_pf"] = number_or_null(m.cs_pf);
        refined["lp_nh"] = number_or_null(m.lp_nh);
        refined["cp_pf"] = number_or_null(m.cp_pf);
        refined["rl_ohm"] = number_or_null(m.rl_ohm);
        refined["max"] = number_or_null(refined_->fit.max);
        refined["rms"] = number_or_null(refined_->fit.rms);
        refined["at_ghz"] = number_or_null(refined_->fit.at_ghz);
        object["refined"] = std::move(refined);
    }
}

void ModelReport::add_json_after(nlohmann::ordered_json& object) const {
    if (!figures_) {
        return;
    }
    const views::ModelFigures& f = *figures_;
    Json check = Json::object();
    check["z1"] = Json::array({f.check.z1.real(), f.check.z1.imag()});
    check["z2"] = Json::array({f.check.z2.real(), f.check.z2.imag()});
    check["max_error_ohm"] = number_or_null(f.check.max_error_ohm);
    check["reliable"] = !f.check.unreliable;
    check["note"] = f.note ? Json(*f.note) : Json(nullptr);
    object["check"] = std::move(check);
    if (f.with_data) {
        Json fit = Json::object();
        fit["z0_ohm"] = z0_ohm_;
        fit["band"] = fit_json(f.band);
        if (f.range) {
            fit["range"] = fit_json(f.range);
        }
        fit["all"] = fit_json(f.all);
        object["fit"] = std::move(fit);
        if (!f.warnings.empty()) {
            object["warnings"] = f.warnings;
        }
    }
}

} // namespace veltrane::cli
