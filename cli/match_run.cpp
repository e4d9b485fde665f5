// Running a matching request: the load from the data or the model, the networks designed, the
// bound, the files, and what is printed of them.

#include "views/match_run.h"
#include "cli/calc_request.h"
#include "cli/match_options.h"
#include "io/safe_file.h"
#include "match/match_files.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/svg.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace veltrane::cli {

namespace {

using Json = nlohmann::ordered_json;

Json number_json(double value) {
    return std::isfinite(value) ? Json(value == 0 ? 0.0 : value) : Json(nullptr);
}

Json limit_json(const std::optional<match::Limit>& limit) {
    if (!limit) {
        return nullptr;
    }
    Json o;
    o["gamma"] = number_json(limit->gamma);
    o["rl_db"] = number_json(limit->rl_db);
    o["gain_db"] = number_json(limit->gain_db);
    return o;
}

Json section_json(const std::optional<match::Section>& section) {
    if (!section) {
        return nullptr;
    }
    Json o;
    o["kind"] = std::string{match::section_name(section->kind)};
    o["r_ohm"] = number_json(section->r_ohm);
    o["l_nh"] = section->l_nh > 0 ? number_json(section->l_nh) : Json(nullptr);
    o["c_pf"] = section->c_pf > 0 ? number_json(section->c_pf) : Json(nullptr);
    o["fit_max"] = number_json(section->fit_max);
    return o;
}

Json network_json(const match::Design& design, const std::optional<match::Limit>& bound) {
    Json elements = Json::array();
    for (const match::Element& e : design.ladder) {
        Json element;
        element["position"] = std::string{match::position_name(e.position)};
        element["kind"] = std::string{match::kind_name(e.kind)};
        element["value"] = number_json(e.value);
        element["unit"] = std::string{match::unit_name(e.kind)};
        elements.push_back(std::move(element));
    }
    Json o;
    o["elements"] = std::move(elements);
    o["worst_gamma"] = number_json(design.figures.worst_gamma);
    o["worst_rl_db"] = number_json(design.figures.worst_rl_db);
    o["gain_db"] = number_json(design.figures.gain_db);
    o["at_ghz"] = number_json(design.figures.at_ghz);
    const auto gap = views::gap_db(design, bound);
    o["gap_db"] = gap ? number_json(*gap) : Json(nullptr);
    // The gap as reflection and return loss: what a flat match at the bound would still win.
    o["gap_gamma"] = bound ? number_json(design.figures.worst_gamma - bound->gamma) : Json(nullptr);
    o["gap_rl_db"] = bound ? number_json(bound->rl_db - design.figures.worst_rl_db) : Json(nullptr);
    return o;
}

} // namespace

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
    if (const std::optional<match::Band> range_band = request.band ? request.band
                                                                    : subject.model_band) {
        if (auto message = match_range_message(request, source, *range_band)) {
            return fail(1, std::move(*message));
        }
    }
    auto prepared = views::match_setup(settings, subject);
    if (const auto* failure = std::get_if<views::MatchFailure>(&prepared)) {
        return fail(failure->usage ? 2 : 1, failure->message);
    }
    const views::MatchSetup& setup = std::get<views::MatchSetup>(prepared);
    const match::Band band = setup.band;
    const std::optional<match::Limit>& bound = setup.bound;
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
            *context.progress << "\rYield: " << percent << " %" << std::flush;
            last_percent = percent;
        }
        return true;
    };
    const views::MatchReport report = views::run_match(settings, setup, {}, yield_progress);
    if (last_percent >= 0) {
        *context.progress << "\r           \r" << std::flush;
    }
    if (!report.chosen) {
        return fail(1, settings.constraints.any()
                           ? "No ladder of 1 to " + std::to_string(settings.elements) +
                                 " elements meets the constraints (" +
                                 settings.constraints.words() + ")"
                           : std::string{"No network could be designed"});
    }
    const std::optional<match::Design>& standard = report.standard;
    const match::Design& chosen = standard ? *standard : report.networks[*report.chosen];
    const std::optional<match::YieldFigures>& yield = report.yield;
    std::optional<rf::LumpedModel> model = subject.model;
    outcome.text = views::match_table_text(report);

    // JSON.
    Json& o = outcome.json;
    o["band_ghz"] = {band.fl_ghz, band.fh_ghz};
    o["source_ohm"] = source;
    if (!request.losses.lossless()) {
        o["objective"] = report.aim == match::DesignAim::Gain ? "gain" : "gamma";
    }
    if (settings.constraints.any()) {
        o["constraints"] = settings.constraints.words();
    }
    o["bound"] = limit_json(bound);
    if (bound) {
        o["bound"]["section"] = section_json(setup.section);
        o["bound"]["beaten"] = report.bound_beaten;
    }
    Json networks = Json::array();
    for (std::size_t k = 0; k < report.networks.size(); ++k) {
        Json network = network_json(report.networks[k], bound);
        if (const auto same = report.no_better_than[k]) {
            network["no_better_than"] = *same;
        }
        networks.push_back(std::move(network));
    }
    o["networks"] = std::move(networks);
    o["standard"] = standard ? network_json(*standard, bound) : Json(nullptr);
    if (yield) {
        Json y;
        y["tolerance_percent"] = yield->tolerance_percent;
        y["runs"] = yield->runs;
        y["target_rl_db"] = number_json(yield->target_rl_db);
        y["share"] = yield->share;
        y["share_95"] = {yield->share_low, yield->share_high};
        y["seed"] = yield->seed;
        y["distribution"] = std::string{match::distribution_name(yield->distribution)};
        y["worst_rl_db"] = {{"min", number_json(yield->min_rl_db)},
                            {"median", number_json(yield->median_rl_db)},
                            {"max", number_json(yield->max_rl_db)}};
        o["yield"] = std::move(y);
    } else {
        o["yield"] = nullptr;
    }

    // Files: the data's frequencies, or the sweep of the model.
    if (!(request.s2p || request.s1p || request.spice || request.plot)) {
        return outcome;
    }
    match::Load over;
    if (context.data != nullptr) {
        // Samples whose impedance is infinite (a reflection of exactly +1) have no matched
        // input; the network alone is written at every frequency of the data.
        over = views::band_load(*context.data, -HUGE_VAL, HUGE_VAL);
    } else {
        const rf::Sweep sweep = context.sweep ? *context.sweep : rf::default_sweep(*context.state);
        over = views::model_load(*model, rf::sweep_frequencies(sweep));
    }
    const auto write = [&outcome](const std::string& path, const std::string& bytes) {
        if (auto failure = write_file_safely(std::filesystem::path(path), bytes)) {
            outcome.failures.push_back(*failure);
        } else {
            outcome.written.push_back(path);
        }
    };
    if (request.s2p) {
        write(*request.s2p, match::network_touchstone(chosen.ladder, request.losses, source,
                                                      context.data != nullptr ? context.data->f_ghz
                                                                              : over.f_ghz));
    }
    if (request.s1p) {
        write(*request.s1p, match::matched_touchstone(chosen.ladder, request.losses, source, over));
    }
    if (request.spice) {
        write(*request.spice, match::network_spice(chosen.ladder, request.losses, source, band));
    }
    if (request.plot) {
        // The band with one band's width either side, when the data reach that far in.
        const double width = band.fh_ghz - band.fl_ghz;
        match::Load near = over;
        if (context.data != nullptr) {
            near = views::band_load(*context.data, band.fl_ghz - width, band.fh_ghz + width);
            if (near.f_ghz.size() < 2) {
                near = over;
            }
        }
        match::MatchPlot plot{chosen.ladder, request.losses, source, near, band, bound};
        write(*request.plot, rf::svg_text(match::match_picture(plot)));
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
