#include "cli/calc_cli.h"

#include "cli/all_choices.h"
#include "cli/batch.h"
#include "cli/exports_json.h"
#include "cli/measured_input.h"
#include "cli/model_report.h"
#include "io/path_text.h"
#include "io/reason_text.h"
#include "model/field_set.h"
#include "model/quantities.h"
#include "model/result.h"
#include "output/calculate.h"
#include "output/display.h"
#include "output/report.h"
#include "parallel/pool.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>
namespace veltrane::cli {

namespace {

// Prints the ten result fields, one per line: label, text right-aligned in one column, unit.
void print_results(const FieldSet& fields, std::ostream& out) {
    std::size_t width = 0;
    for (const Field field : result_fields) {
        width = std::max(width, fields.text(field).size());
    }
    for (const Field field : result_fields) {
        const std::string text = fields.text(field);
        std::string row{quantity(field).symbol};
        row.append(2 + width - text.size(), ' ');
        row += text;
        row += unit_suffix(quantity(field).unit);
        row += '\n';
        out << row;
    }
}

void print_json(const MemoryFieldSet& fields, const std::optional<std::string>& report_written,
                const ModelReport* model, const std::vector<MeasuredPoint>* points,
                const ExportRequest& exports, const ExportOutcome* export_outcome,
                std::ostream& out, const MatchOutcome* match = nullptr) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    if (model != nullptr) {
        model->add_json_before(object);
    }
    if (fields.is_message_visible()) {
        object["message"] = fields.text(Field::Message);
    } else {
        object["message"] = nullptr;
    }
    nlohmann::ordered_json results = nlohmann::ordered_json::object();
    for (const Field field : result_fields) {
        results[std::string{field_name(field)}] = fields.text(field);
    }
    object["fields"] = std::move(results);
    if (report_written) {
        object["report"] = *report_written;
    } else {
        object["report"] = nullptr;
    }
    if (points != nullptr) {
        object["points"] = points_json(*points);
    }
    if (model != nullptr) {
        model->add_json_after(object);
    }
    add_export_json(object, exports, export_outcome);
    if (match != nullptr) {
        add_match_json(object, *match);
    }
    // Texts the program did not make (a report path) may not be valid UTF-8: replace such
    // bytes rather than fail.
    out << object.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

} // namespace

int run_request(CalcRequest& request, std::ostream& out, std::ostream& err) {
    parallel::set_threads(request.threads);
    if (request.amplifier) {
        return run_amplifier(*request.amplifier,
                             request.match ? std::optional<int>{request.match->elements}
                                           : std::nullopt,
                             request.json, out, err);
    }
    MemoryFieldSet& fields = request.fields;
    const auto print_points = [&] {
        if (!request.json && request.points) {
            for (const MeasuredPoint& point : *request.points) {
                out << point_line(point) << '\n';
            }
        }
    };
    // A stop before the calculation: no results, the message, and in JSON the usual object.
    const auto stop = [&](const std::string& message, const ModelReport* model) {
        clear_results(fields);
        fields.set_message_visible(true);
        fields.set_text(Field::Message, message);
        if (request.json) {
            print_json(fields, std::nullopt, model, request.points ? &*request.points : nullptr,
                       request.exports, nullptr, out);
        } else {
            err << message << '\n';
        }
        return exit_message;
    };
    // The points at F1 and F2 of the data (read from the file, or as the request holds them).
    const auto take_data_points = [&]() -> std::optional<std::string> {
        MeasuredInput input;
        input.data = request.data;
        take_points(input, fields);
        request.points = std::move(input.points);
        print_points();
        return input.message;
    };

    if (request.touchstone) {
        MeasuredInput measured = read_measured_data(*request.touchstone, request.port);
        if (measured.message) {
            return stop(*measured.message, nullptr);
        }
        request.data = std::move(measured.data);
        request.points.emplace(); // the file was read
    }
    // A band, source or Q the designer cannot give finite parts for stops the run before any
    // file is written.
    if (request.match) {
        const double source = request.match->source_ohm.value_or(reference_ohm(request));
        if (auto message = match_range_message(*request.match, source, request.match->band)) {
            if (!request.match->data_only) {
                return stop(*message, nullptr);
            }
            MatchOutcome outcome;
            outcome.status = exit_message;
            outcome.failures.push_back(std::move(*message));
            if (request.json) {
                nlohmann::ordered_json object = nlohmann::ordered_json::object();
                add_match_json(object, outcome);
                out << object.dump(2) << '\n';
            } else {
                print_match(outcome, out, err);
            }
            return exit_message;
        }
    }
    if (request.model.best_fit && !request.data) {
        err << "veltrane-calc: --best-fit needs --touchstone\n"
            << "Run with --help for more information.\n";
        return exit_usage;
    }
    if (request.match && request.match->data_only) {
        return run_data_match(request, out, err);
    }
    // The best fit chooses its own points; every other run takes them at F1 and F2.
    if (request.data && !request.model.best_fit) {
        if (const auto message = take_data_points()) {
            return stop(*message, nullptr);
        }
    }

    if (request.model.all_choices) {
        return run_all_choices(request, out, err);
    }
    ModelReport model{request};
    if (request.model.best_fit) {
        if (const auto message = model.prepare_best_fit(request, out, err)) {
            return stop(*message, &model);
        }
        if (const auto message = take_data_points()) {
            return stop(*message, &model);
        }
    }
    if (request.model.refine) {
        if (!request.data) {
            err << "veltrane-calc: --refine needs --touchstone\n"
                << "Run with --help for more information.\n";
            return exit_usage;
        }
        model.refine(request, out);
    }

    std::unique_ptr<ReportSink> report;
    if (request.report) {
        report = std::make_unique<FileReport>(path_from_utf8(*request.report));
    } else {
        report = std::make_unique<NoReport>();
    }

    Result state;
    const Outcome outcome = calculate(fields, *report, &state);
    if (outcome != Outcome::Message) {
        model.calculated(state, fields);
    }

    std::optional<std::string> report_written;
    if (outcome == Outcome::Results) {
        report_written = request.report;
    }

    std::optional<ExportOutcome> exported;
    if (outcome != Outcome::Message && request.exports.any()) {
        const rf::PortData* data = request.data ? &*request.data : nullptr;
        exported = run_exports(
            request.exports, {state, fields, data, reference_ohm(request),
                              rf::FrequencyRange{request.model.fmin_ghz, request.model.fmax_ghz}});
    }
    const bool exports_failed = exported && !exported->failures.empty();
    const std::optional<MatchOutcome> matched =
        outcome != Outcome::Message ? run_model_match(request, state, fields) : std::nullopt;

    if (request.json) {
        print_json(fields, report_written, &model, request.points ? &*request.points : nullptr,
                   request.exports, exported ? &*exported : nullptr, out,
                   matched ? &*matched : nullptr);
    } else {
        if (outcome != Outcome::Message) {
            print_results(fields, out);
            model.print_lines(out);
        }
        if (exported && exported->comparison) {
            print_comparison(*exported->comparison, out);
        }
        if (fields.is_message_visible()) {
            err << fields.text(Field::Message) << '\n';
        }
        if (exported) {
            for (const std::string& failure : exported->failures) {
                err << failure << '\n';
            }
        }
        if (matched) {
            print_match(*matched, out, err);
        }
    }
    if (matched && matched->status != 0) {
        return matched->status;
    }
    return outcome == Outcome::Results && !exports_failed ? exit_results : exit_message;
}

int run_calc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             std::ostream* progress) {
    if (asks_for_batch(args)) {
        return run_batch(args, out, err);
    }
    auto parsed = parse_calc_args(args, out, err);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    CalcRequest& request = std::get<CalcRequest>(parsed);
    request.progress = progress;
    return run_request(request, out, err);
}

namespace {

// Writes and flushes all of `text`; returns 0 or the error.
int put(std::string_view text, std::FILE* file) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

} // namespace

int deliver(int status, std::string_view out_text, std::string_view err_text, std::FILE* out,
            std::FILE* err) {
    int error = put(out_text, out);
    if (error == 0) {
        error = put(err_text, err);
    } else {
        put(err_text, err);
    }
    if (error == 0) {
        return status;
    }
    std::string line{program_name};
    line += ": write error: ";
    line += reason_text(std::error_code(error, std::generic_category()));
    line += '\n';
    put(line, err);
    return status == exit_results ? exit_message : status;
}

} // namespace veltrane::cli
