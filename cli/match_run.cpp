// Running a matching request: the load from the data or the model, the networks designed, the
// bound, the files, and what is printed of them.

#include "views/match_run.h"
#include "cli/calc_request.h"
#include "cli/match_options.h"
#include "cli/measured_input.h"
#include "io/safe_file.h"
#include "match/parts.h"
#include "rf/model_impedance.h"
#include "views/match_json.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>

namespace veltrane::cli {

using Json = nlohmann::ordered_json;

MatchOutcome run_match(const MatchRequest& request, const MatchContext& context) {
    MatchOutcome outcome;
    const auto fail = [&outcome](int status, std::string message) {
        outcome.status = status;
        outcome.failures.push_back(std::move(message));
        return outcome;
    };
    const double source = request.source_ohm.value_or(context.z0_ohm);
    views::MatchSubject subject;
    subject.data = context.data;
    if (context.state != nullptr) {
        if (context.topology) {
            subject.model = rf::LumpedModel::from(*context.state, *context.topology);
        }
        subject.model_band = views::model_band(*context.state);
        if (!request.band && !subject.model_band) {
            return fail(1, "The model's band cannot be matched: give --band FL:FH");
        }
    }
    views::MatchSettings settings;
    settings.elements = request.elements;
    settings.band = request.band;
    settings.source_ohm = source;
    settings.source.impedance = request.source_impedance;
    if (request.source_touchstone) {
        MeasuredInput measured =
            read_measured_data(*request.source_touchstone, request.source_port);
        if (!measured.data) {
            return fail(1, measured.message.value_or("Cannot read " + *request.source_touchstone));
        }
        settings.source.data = std::make_shared<const rf::PortData>(std::move(*measured.data));
    }
    settings.losses = request.losses;
    settings.aim = request.aim;
    settings.constraints = request.constraints;
    settings.e_series = request.e_series;
    if (request.yield) {
        settings.yield = views::YieldSettings{request.yield->tolerance_percent, request.yield->runs,
                                              request.yield->target_rl_db, request.yield->seed,
                                              request.yield->distribution};
    }
    if (const auto problem = settings.validate()) {
        return fail(2, "veltrane-calc: " + *problem);
    }
    if (const std::optional<match::Band> range_band =
            request.band ? request.band : subject.model_band) {
        if (auto message = match_range_message(request, source, *range_band)) {
            return fail(1, std::move(*message));
        }
    }
    auto prepared = views::match_setup(settings, subject);
    if (const auto* failure = std::get_if<views::MatchFailure>(&prepared)) {
        return fail(failure->usage ? 2 : 1, failure->message);
    }
    const views::MatchSetup& setup = std::get<views::MatchSetup>(prepared);
    if (request.parts) {
        auto library = match::read_parts(*request.parts);
        if (const std::string* problem = std::get_if<std::string>(&library)) {
            return fail(1, *problem);
        }
        auto parts = std::make_shared<const match::PartLibrary>(
            std::get<match::PartLibrary>(std::move(library)));
        if (auto uncovered = parts->uncovered(setup.band.fl_ghz, setup.band.fh_ghz)) {
            return fail(1, std::move(*uncovered));
        }
        settings.losses.parts = std::move(parts);
    }
    // The yield's progress on standard error once it has run a second, on one line it clears.
    const auto started = std::chrono::steady_clock::now();
    int last_percent = -1;
    const match::Progress yield_progress = [&](double done) {
        if (context.progress == nullptr ||
            std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) {
            return true;
        }
        const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
        if (percent != last_percent) {
            *context.progress << progress_line("Yield", percent) << std::flush;
            last_percent = percent;
        }
        return true;
    };
    const views::MatchReport report = views::run_match(settings, setup, {}, yield_progress);
    if (last_percent >= 0) {
        *context.progress << progress_cleared("Yield") << std::flush;
    }
    if (!report.chosen) {
        return fail(1, views::no_network_message(settings));
    }
    outcome.text = views::match_table_text(report);
    outcome.json = views::match_json(report);

    // Files: the data's frequencies, or the sweep of the model.
    const views::MatchFilePaths paths{request.s2p, request.s1p, request.spice, request.plot};
    if (!paths.any()) {
        return outcome;
    }
    match::Load model_over;
    if (context.data == nullptr) {
        const rf::Sweep sweep = context.sweep ? *context.sweep : rf::default_sweep(*context.state);
        model_over = views::model_load(*subject.model, rf::sweep_frequencies(sweep));
    }
    for (const views::MatchFile& file :
         views::match_files(paths, report, context.data, model_over)) {
        if (auto failure = write_file_safely(std::filesystem::path(file.path), file.bytes)) {
            outcome.failures.push_back(*failure);
        } else {
            outcome.written.push_back(file.path);
        }
    }
    if (!outcome.failures.empty()) {
        outcome.status = 1;
    }
    return outcome;
}

int run_data_match(const CalcRequest& request, std::ostream& out, std::ostream& err) {
    MatchContext context;
    context.data = request.data ? &*request.data : nullptr;
    context.z0_ohm = reference_ohm(request);
    context.sweep = request.exports.sweep;
    context.progress = request.json ? nullptr : request.progress;
    const MatchOutcome outcome = run_match(*request.match, context);
    if (request.json) {
        Json object = Json::object();
        add_match_json(object, outcome);
        out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    } else {
        print_match(outcome, out, err);
    }
    return outcome.status;
}

std::optional<MatchOutcome> run_model_match(const CalcRequest& request, const Result& state,
                                            const FieldSet& fields) {
    if (!request.match) {
        return std::nullopt;
    }
    MatchContext context;
    context.state = &state;
    context.topology = choice_of(fields).topology;
    context.data = request.data ? &*request.data : nullptr;
    context.z0_ohm = reference_ohm(request);
    context.sweep = request.exports.sweep;
    context.progress = request.json ? nullptr : request.progress;
    return run_match(*request.match, context);
}

void add_match_json(Json& object, const MatchOutcome& outcome) {
    if (outcome.status != 0 && outcome.json.is_null()) {
        object["match"] = nullptr;
        object["match_message"] = outcome.failures.empty() ? "" : outcome.failures.front();
        return;
    }
    object["match"] = outcome.json;
    if (!outcome.written.empty() || !outcome.failures.empty()) {
        object["match_files"] = {{"written", outcome.written}, {"messages", outcome.failures}};
    }
}

void print_match(const MatchOutcome& outcome, std::ostream& out, std::ostream& err) {
    out << outcome.text;
    for (const std::string& failure : outcome.failures) {
        err << failure << '\n';
    }
}

} // namespace veltrane::cli
