#include "cli/all_choices.h"

#include "cli/model_text.h"
#include "model/field_set.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/choices.h"
#include "rf/fit.h"
#include "rf/model_check.h"
#include "rf/model_warnings.h"

#include <array>
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace veltrane::cli {

namespace {

using model_text::field_number;
using model_text::fit_json;
using model_text::Json;
using model_text::number_or_null;
using model_text::people;
using model_text::print_table;
using model_text::trimmed;

// The fields of a choice's row, in the window's reading order.
constexpr std::array<Field, 8> choice_fields = {Field::Ls, Field::Cs, Field::Lp, Field::Cp,
                                                Field::Q0, Field::FL, Field::FH, Field::F0};

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

} // namespace

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

} // namespace veltrane::cli
