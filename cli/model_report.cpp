#include "cli/model_report.h"

#include "format/text_number.h"
#include "model/field_set.h"
#include "model/solve.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/choices.h"
#include "rf/model_impedance.h"
#include "rf/model_warnings.h"
#include "rf/numbers.h"
#include "views/people_text.h"

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

using rf::read_number;

using Json = nlohmann::ordered_json;

constexpr std::string_view rl_auto_text = "auto";

// A number for a person: six significant digits. Every number printed is finite; a value
// that is not would print as "-" rather than as "nan" or "inf".
std::string people(double value) {
    return views::people_number(value);
}

std::string complex_text(rf::Complex z) {
    return views::impedance_text(z, views::Typography::Ascii);
}

Json number_or_null(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json fit_json(const std::optional<rf::FitStats>& stats) {
    Json object = Json::object();
    object["max"] = stats ? number_or_null(stats->max) : Json(nullptr);
    object["rms"] = stats ? number_or_null(stats->rms) : Json(nullptr);
    object["at_ghz"] = stats ? number_or_null(stats->at_ghz) : Json(nullptr);
    object["points"] = stats ? stats->points : 0;
    return object;
}

std::string fit_text(const std::optional<rf::FitStats>& stats) {
    if (!stats) {
        return "no samples";
    }
    return "largest " + people(stats->max) + " at " + people(stats->at_ghz) + " GHz, RMS " +
           people(stats->rms) + ", " + std::to_string(stats->points) +
           (stats->points == 1 ? " sample" : " samples");
}

// A field's text without the blanks its pattern puts in front.
std::string trimmed(const FieldSet& fields, Field field) {
    std::string text = fields.text(field);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// Rows of cells printed in columns: words left-aligned, numbers right-aligned. The columns are
// as wide as the cells of the full rows (those as long as the first); a shorter row's last cell,
// a message, is not padded.
void print_table(const std::vector<std::vector<std::string>>& rows,
                 const std::vector<bool>& left_aligned, std::ostream& out) {
    std::vector<std::size_t> widths(left_aligned.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; row.size() == widths.size() && c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            const bool last_of_short_row = row.size() < widths.size() && c + 1 == row.size();
            const std::string padding(
                last_of_short_row ? 0 : widths[c] - std::min(widths[c], row[c].size()), ' ');
            if (c > 0) {
                line += "  ";
            }
            line += left_aligned[c] ? row[c] + padding : padding + row[c];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

// The fields of a choice's row, in the window's reading order.
constexpr std::array<Field, 8> choice_fields = {Field::Ls, Field::Cs, Field::Lp, Field::Cp,
                                                Field::Q0, Field::FL, Field::FH, Field::F0};

std::optional<double> field_number(const FieldSet& fields, Field field) {
    return text_to_number(fields.text(field));
}

Json range_json(const std::optional<rf::RlRange>& range) {
    Json object = Json::object();
    object["min"] = range && range->min_ohm ? number_or_null(*range->min_ohm) : Json(nullptr);
    object["max"] = range && range->max_ohm ? number_or_null(*range->max_ohm) : Json(nullptr);
    return object;
}

std::string range_text(Topology topology, const std::optional<rf::RlRange>& range) {
    std::string text{rf::topology_word(topology)};
    if (!range) {
        return text + " none (a resistance is not positive)";
    }
    if (topology == Topology::ParallelSeries) {
        return text + " RL >= " + people(*range->min_ohm) + " ohm";
    }
    return text + " 0 < RL <= " + people(*range->max_ohm) + " ohm";
}

Json candidate_json(const rf::Candidate& c) {
    Json object = Json::object();
    object["f1_ghz"] = c.f1_ghz;
    object["f2_ghz"] = c.f2_ghz;
    object["f1_crossover"] = rf::crossover_word(c.choice.f1);
    object["f2_crossover"] = rf::crossover_word(c.choice.f2);
    object["topology"] = rf::topology_word(c.choice.topology);
    object["rl_ohm"] = number_or_null(c.rl_ohm);
    object["ls_nh"] = number_or_null(c.state.Ls);
    object["cs_pf"] = number_or_null(c.state.Cs);
    object["lp_nh"] = number_or_null(c.state.Lp);
    object["cp_pf"] = number_or_null(c.state.Cp);
    object["f0_mhz"] = number_or_null(c.state.F0);
    object["fl_mhz"] = number_or_null(c.state.FL);
    object["fh_mhz"] = number_or_null(c.state.FH);
    object["max"] = number_or_null(c.max_error);
    object["rms"] = number_or_null(c.rms_error);
    object["at_ghz"] = number_or_null(c.at_ghz);
    object["positive"] = c.positive;
    return object;
}

} // namespace

void add_model_options(CLI::App& app, ModelArgs& args) {
    const auto number = [](bool positive) {
        return CLI::Validator(
            [positive](std::string& text) -> std::string {
                const std::optional<double> value = read_number(text);
                if (!value || (positive ? !(*value > 0.0) : *value < 0.0)) {
                    return "\"" + text + "\" is not a " +
                           (positive ? "positive number" : "number of at least 0");
                }
                return {};
            },
            "");
    };
    args.z0_given = app.add_option("--z0", args.z0,
                                   "reference for reflections [ohm] (default: the data's, else 50)")
                        ->type_name("OHMS")
                        ->check(number(true));
    app.add_flag("--check", args.check, "print the model's impedance at F1 and F2")
        ->disable_flag_override();
    CLI::Option* all = app.add_flag("--all-choices", args.all_choices,
                                    "all eight choices and the RL ranges; no report")
                           ->disable_flag_override();
    CLI::Option* best = app.add_flag("--best-fit", args.best_fit,
                                     "calculate the model that fits the data best "
                                     "(--rl auto: search RL too)")
                            ->disable_flag_override();
    args.fmin_given = app.add_option("--fmin", args.fmin, "lowest frequency for --best-fit [GHz]")
                          ->type_name("GHZ")
                          ->check(number(false))
                          ->needs(best);
    args.fmax_given = app.add_option("--fmax", args.fmax, "highest frequency for --best-fit [GHz]")
                          ->type_name("GHZ")
                          ->check(number(false))
                          ->needs(best);
    app.add_flag("--allow-negative", args.allow_negative,
                 "let models with negative elements compete")
        ->disable_flag_override()
        ->needs(best);
    app.add_flag("--refine", args.refine,
                 "move Ls, Cs, Lp, Cp and RL of the best fit together to the smallest largest "
                 "error")
        ->disable_flag_override()
        ->needs(best);
    for (const char* choice : {"--f1-crossover", "--f2-crossover", "--topology"}) {
        all->excludes(app.get_option(choice));
        best->excludes(app.get_option(choice));
    }
    best->excludes(app.get_option("--f1"));
    best->excludes(app.get_option("--f2"));
    best->excludes(all);
    app.callback([&app, &args] {
        const CLI::Option* rl = app.get_option("--rl");
        if (rl->count() > 0 && rl->as<std::string>() == rl_auto_text && !args.best_fit) {
            throw CLI::ValidationError("--rl auto needs --best-fit");
        }
        if (args.fmin_given->count() > 0 && args.fmax_given->count() > 0 &&
            *read_number(args.fmin) > *read_number(args.fmax)) {
            throw CLI::ValidationError("--fmin is above --fmax");
        }
    });
}

void finish_model_options(const ModelArgs& args, CalcRequest& request) {
    ModelOptions& model = request.model;
    model.check = args.check;
    model.all_choices = args.all_choices;
    model.best_fit = args.best_fit;
    model.allow_negative = args.allow_negative;
    model.refine = args.refine;
    model.rl_auto = args.best_fit && request.fields.text(Field::RL) == rl_auto_text;
    if (args.z0_given->count() > 0) {
        request.z0_ohm = read_number(args.z0);
    }
    if (args.fmin_given->count() > 0) {
        model.fmin_ghz = read_number(args.fmin);
    }
    if (args.fmax_given->count() > 0) {
        model.fmax_ghz = read_number(args.fmax);
    }
}

int run_all_choices(CalcRequest& request, std::ostream& out, std::ostream& /*err*/) {
    const double z0_ohm = reference_ohm(request);
    Json choices = Json::array();
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row_warnings;
    bool any_results = false;
    for (const Choice& choice : rf::all_choices) {
        MemoryFieldSet fields = request.fields;
        select_choice(fields, choice);
        NoReport no_report;
        Result state;
        const bool results = calculate(fields, no_report, &state) == Outcome::Results;
        any_results = any_results || results;

        std::vector<std::string> row = {std::string{rf::crossover_word(choice.f1)},
                                        std::string{rf::crossover_word(choice.f2)},
                                        std::string{rf::topology_word(choice.topology)}};
        Json entry = Json::object();
        entry["f1_crossover"] = rf::crossover_word(choice.f1);
        entry["f2_crossover"] = rf::crossover_word(choice.f2);
        entry["topology"] = rf::topology_word(choice.topology);
        if (!results) {
            row.push_back(fields.text(Field::Message));
            entry["message"] = fields.text(Field::Message);
            choices.push_back(std::move(entry));
            rows.push_back(std::move(row));
            continue;
        }
        entry["message"] = nullptr;
        Json texts = Json::object();
        for (const Field field : choice_fields) {
            texts[std::string{field_name(field)}] = fields.text(field);
            row.push_back(trimmed(fields, field));
        }
        entry["fields"] = std::move(texts);
        const std::optional<std::string> note = rf::negative_note(state);
        entry["note"] = note ? Json(*note) : Json(nullptr);
        if (request.data) {
            const auto band = rf::fit(rf::LumpedModel::from(state, choice.topology), *request.data,
                                      z0_ohm, state.FL, state.FH);
            entry["fit"] = fit_json(band);
            row.push_back(band ? people(band->max) : "-");
            row.push_back(band ? people(band->rms) : "-");
            const std::vector<std::string> warnings = rf::model_warnings(
                state, choice.topology, *request.data, z0_ohm, rf::FrequencyRange{});
            if (!warnings.empty()) {
                entry["warnings"] = warnings;
            }
            for (const std::string& warning : warnings) {
                row_warnings.push_back("Warning: " + std::string{rf::crossover_word(choice.f1)} +
                                       " " + std::string{rf::crossover_word(choice.f2)} + " " +
                                       std::string{rf::topology_word(choice.topology)} + ": " +
                                       warning);
            }
        }
        row.push_back(note.value_or(""));
        choices.push_back(std::move(entry));
        rows.push_back(std::move(row));
    }

    const std::optional<double> r1 = field_number(request.fields, Field::R1);
    const std::optional<double> x1 = field_number(request.fields, Field::X1);
    const std::optional<double> r2 = field_number(request.fields, Field::R2);
    const std::optional<double> x2 = field_number(request.fields, Field::X2);
    std::array<std::optional<rf::RlRange>, 2> ranges;
    const std::array<Topology, 2> topologies = {Topology::ParallelSeries, Topology::SeriesParallel};
    if (r1 && x1 && r2 && x2) {
        for (std::size_t t = 0; t < topologies.size(); ++t) {
            ranges[t] = rf::rl_range(topologies[t], *r1, *x1, *r2, *x2);
        }
    }

    if (request.json) {
        Json object = Json::object();
        object["choices"] = std::move(choices);
        Json range = Json::object();
        for (std::size_t t = 0; t < topologies.size(); ++t) {
            range[std::string{rf::topology_word(topologies[t])}] = range_json(ranges[t]);
        }
        object["rl_range"] = std::move(range);
        if (request.points) {
            object["points"] = points_json(*request.points);
        }
        out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    } else {
        std::vector<std::string> header = {"F1",    "F2", "topology", "Ls nH",  "Cs pF", "Lp nH",
                                           "Cp pF", "Q0", "FL MHz",   "FH MHz", "F0 MHz"};
        if (request.data) {
            header.insert(header.end(), {"band largest", "band RMS"});
        }
        header.emplace_back("note");
        std::vector<bool> left(header.size(), false);
        left[0] = left[1] = left[2] = left.back() = true;
        rows.insert(rows.begin(), std::move(header));
        print_table(rows, left, out);
        out << "RL range: " << range_text(topologies[0], ranges[0]) << "; "
            << range_text(topologies[1], ranges[1]) << '\n';
        for (const std::string& warning : row_warnings) {
            out << warning << '\n';
        }
    }
    return any_results ? exit_results : exit_message;
}

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
    const rf::BestFitProgress progress = [&](double done) {
        if (request.json || std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) {
            return true;
        }
        const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
        if (percent != last_percent) {
            err << "\rBest fit: " << percent << " %" << std::flush;
            last_percent = percent;
            progress_shown = true;
        }
        return true;
    };
    auto found = model.rl_auto || options.rl_ohm
                     ? rf::best_fit(data, options, progress)
                     : std::variant<rf::BestFit, std::string>{std::string{"RL is too large"}};
    if (progress_shown) {
        err << "\r               \r" << std::flush;
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
    if (!best_fit_ || best_fit_->best.empty()) {
        return;
    }
    std::vector<rf::LumpedModel> starts;
    for (const rf::Candidate& c : best_fit_->best) {
        starts.push_back(rf::LumpedModel::from(c.state, c.choice.topology));
    }
    const rf::FrequencyRange range{request.model.fmin_ghz, request.model.fmax_ghz};
    refined_ = rf::refine(starts, *request.data, z0_ohm_, range);
    if (!refined_) {
        return;
    }
    const rf::LumpedModel& m = refined_->model;
    const rf::Candidate& best = best_fit_->best.front();
    const rf::Complex z1 = rf::impedance(m, best.f1_ghz);
    const rf::Complex z2 = rf::impedance(m, best.f2_ghz);
    MemoryFieldSet& fields = request.fields;
    fields.set_text(Field::R1, rf::shortest(z1.real()));
    fields.set_text(Field::X1, rf::shortest(z1.imag()));
    fields.set_text(Field::R2, rf::shortest(z2.real()));
    fields.set_text(Field::X2, rf::shortest(z2.imag()));
    fields.set_text(Field::RL, rf::shortest(m.rl_ohm));
    // The choices under which the calculation gives the refined elements back.
    const Inputs inputs = inputs_from_ghz(best.f1_ghz, z1.real(), z1.imag(), best.f2_ghz, z2.real(),
                                          z2.imag(), m.rl_ohm);
    double closest = std::numeric_limits<double>::infinity();
    for (const Choice& choice : rf::all_choices) {
        if (choice.topology != m.topology) {
            continue;
        }
        const auto solved = solve(inputs, choice);
        if (const Result* s = std::get_if<Result>(&solved)) {
            const double distance = std::fabs(s->Ls / m.ls_nh - 1) +
                                    std::fabs(s->Cs / m.cs_pf - 1) +
                                    std::fabs(s->Lp / m.lp_nh - 1) + std::fabs(s->Cp / m.cp_pf - 1);
            if (distance < closest) {
                closest = distance;
                select_choice(fields, choice);
            }
        }
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
    const Topology topology = choice_of(fields).topology;
    check_ = rf::check_model(state, topology);
    note_ = rf::negative_note(state);
    if (request_.data) {
        const rf::LumpedModel model = rf::LumpedModel::from(state, topology);
        const rf::FrequencyRange range{request_.model.fmin_ghz, request_.model.fmax_ghz};
        band_fit_ = rf::fit(model, *request_.data, z0_ohm_, state.FL, state.FH, range);
        all_fit_ = rf::fit_all(model, *request_.data, z0_ohm_);
        if (range.fmin_ghz || range.fmax_ghz) {
            range_fit_ = rf::fit_range(model, *request_.data, z0_ohm_, range);
        }
        warnings_ = rf::model_warnings(state, topology, *request_.data, z0_ohm_, range);
    }
}

void ModelReport::print_lines(std::ostream& out) const {
    if (!check_) {
        return;
    }
    out << "Model at F1  " << complex_text(check_->z1) << '\n';
    out << "Model at F2  " << complex_text(check_->z2) << '\n';
    out << "Largest distance from the points  " << people(check_->max_error_ohm) << " ohm\n";
    if (check_->unreliable) {
        out << "Warning: the model does not meet its own points: the inputs are ill-conditioned "
               "and the results are not reliable\n";
    }
    if (note_) {
        out << "Note: " << *note_ << '\n';
    }
    if (request_.data) {
        out << "Fit |Gamma_model - Gamma_data| referred to " << people(z0_ohm_) << " ohm\n";
        out << "  in FL..FH    " << fit_text(band_fit_) << '\n';
        if (range_fit_) {
            out << "  in the range " << fit_text(range_fit_) << '\n';
        }
        out << "  all samples  " << fit_text(all_fit_) << '\n';
        for (const std::string& warning : warnings_) {
            out << "Warning: " << warning << '\n';
        }
    }
}

void ModelReport::add_json_before(nlohmann::ordered_json& object) const {
    if (!best_fit_) {
        return;
    }
    Json list = Json::array();
    for (const rf::Candidate& c : best_fit_->best) {
        list.push_back(candidate_json(c));
    }
    if (best_fit_->thinned > 0) {
        object["best_fit_thinned"] = best_fit_->thinned;
    }
    object["best_fit"] = std::move(list);
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
    if (!check_) {
        return;
    }
    Json check = Json::object();
    check["z1"] = Json::array({check_->z1.real(), check_->z1.imag()});
    check["z2"] = Json::array({check_->z2.real(), check_->z2.imag()});
    check["max_error_ohm"] = number_or_null(check_->max_error_ohm);
    check["reliable"] = !check_->unreliable;
    check["note"] = note_ ? Json(*note_) : Json(nullptr);
    object["check"] = std::move(check);
    if (request_.data) {
        Json fit = Json::object();
        fit["z0_ohm"] = z0_ohm_;
        fit["band"] = fit_json(band_fit_);
        if (range_fit_) {
            fit["range"] = fit_json(range_fit_);
        }
        fit["all"] = fit_json(all_fit_);
        object["fit"] = std::move(fit);
        if (!warnings_.empty()) {
            object["warnings"] = warnings_;
        }
    }
}

} // namespace veltrane::cli
