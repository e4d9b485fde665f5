// Running a matching request: the load from the data or the model, the networks designed, the
// bound, the files, and what is printed of them.

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

// Samples of the model over the band when no data is read.
constexpr int model_samples = 201;

// A figure as printed: "-" for none, and a zero without its sign (a perfect match's return loss
// is -20 log10(1) = -0).
std::string people(double value) {
    return std::isfinite(value) ? rf::readable(value == 0 ? 0.0 : value) : "-";
}

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

// Gap between the bound's gain and the network's smallest in-band gain (dB): how much
// transmission a better network could still win at most. Never negative for the load the
// bound belongs to; measured data may differ from its model.
std::optional<double> gap_db(const match::Design& design,
                             const std::optional<match::Limit>& bound) {
    if (!bound) {
        return std::nullopt;
    }
    return bound->gain_db - design.figures.gain_db;
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
    const auto gap = gap_db(design, bound);
    o["gap_db"] = gap ? number_json(*gap) : Json(nullptr);
    return o;
}

std::string limit_text(const match::Limit& limit, std::string_view relation) {
    return "|Gamma| " + std::string{relation} + " " + people(limit.gamma) + ", return loss " +
           (relation == ">=" ? "<= " : "~ ") + people(limit.rl_db) + " dB, gain " +
           (relation == ">=" ? "<= " : "~ ") + people(limit.gain_db) + " dB";
}

// One row of the table of networks.
std::string network_row(std::string label, const match::Design& design,
                        const std::optional<match::Limit>& bound) {
    std::string row = std::move(label);
    const auto column = [&row](const std::string& text, std::size_t width) {
        row.append(width > text.size() ? width - text.size() : 1, ' ');
        row += text;
    };
    column(people(design.figures.worst_gamma), 10);
    column(people(design.figures.worst_rl_db), 9);
    column(people(design.figures.gain_db), 10);
    column(people(design.figures.at_ghz), 10);
    const auto gap = gap_db(design, bound);
    column(gap ? people(*gap) : "-", 9);
    row += "  " + match::ladder_summary(design.ladder) + "\n";
    return row;
}

match::Load load_from_data(const rf::PortData& data, double lo_ghz, double hi_ghz) {
    match::Load load;
    for (std::size_t i = 0; i < data.f_ghz.size(); ++i) {
        const double f = data.f_ghz[i];
        if (f < lo_ghz || f > hi_ghz) {
            continue;
        }
        const rf::Complex z = rf::impedance_from_reflection(data.s[i], data.reference_ohm);
        if (std::isfinite(z.real()) && std::isfinite(z.imag())) {
            load.f_ghz.push_back(f);
            load.z_ohm.push_back(z);
        }
    }
    return load;
}

match::Load load_from_model(const rf::LumpedModel& model, const std::vector<double>& f_ghz) {
    match::Load load;
    for (double f : f_ghz) {
        const rf::Complex z = rf::impedance(model, std::max(f, 1e-9));
        if (std::isfinite(z.real()) && std::isfinite(z.imag())) {
            load.f_ghz.push_back(f);
            load.z_ohm.push_back(z);
        }
    }
    return load;
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
    std::optional<rf::LumpedModel> model;
    if (context.state != nullptr && context.topology) {
        model = rf::LumpedModel::from(*context.state, *context.topology);
    }
    match::Band band;
    if (request.band) {
        band = *request.band;
    } else if (context.state != nullptr) {
        const double a = std::fabs(context.state->FL) / 1000;
        const double b = std::fabs(context.state->FH) / 1000;
        band = {std::min(a, b), std::max(a, b)};
        if (!(band.fl_ghz > 0 && band.fh_ghz > band.fl_ghz && std::isfinite(band.fh_ghz))) {
            return fail(1, "The model's band cannot be matched: give --band FL:FH");
        }
    } else {
        return fail(2, "veltrane-calc: --match needs --band FL:FH when no model is calculated");
    }
    if (auto message = match_range_message(request, source, band)) {
        return fail(1, std::move(*message));
    }

    match::Load load;
    std::string load_words;
    if (context.data != nullptr) {
        const rf::PortData& data = *context.data;
        if (data.f_ghz.empty() || band.fl_ghz < data.f_ghz.front() ||
            band.fh_ghz > data.f_ghz.back()) {
            return fail(1, "The band " + people(band.fl_ghz) + " to " + people(band.fh_ghz) +
                               " GHz lies outside the data (" +
                               people(data.f_ghz.empty() ? 0.0 : data.f_ghz.front()) + " to " +
                               people(data.f_ghz.empty() ? 0.0 : data.f_ghz.back()) + " GHz)");
        }
        load = load_from_data(data, band.fl_ghz, band.fh_ghz);
        if (load.f_ghz.size() < 3) {
            return fail(1, "Only " + std::to_string(load.f_ghz.size()) +
                               " samples of the data lie in the band " + people(band.fl_ghz) +
                               " to " + people(band.fh_ghz) + " GHz: at least 3 are needed");
        }
        load_words = std::to_string(load.f_ghz.size()) + " samples of the data";
    } else {
        std::vector<double> f;
        for (int i = 0; i < model_samples; ++i) {
            f.push_back(band.fl_ghz + (band.fh_ghz - band.fl_ghz) * i / (model_samples - 1));
        }
        load = load_from_model(*model, f);
        if (load.f_ghz.size() < 3) {
            return fail(1, "The model has no impedance in the band");
        }
        load_words = std::to_string(load.f_ghz.size()) + " samples of the model";
    }

    const std::optional<match::Limit> bound =
        model ? match::model_bound(*model, band) : std::nullopt;
    std::optional<match::Limit> estimate;
    if (context.data != nullptr) {
        estimate = match::data_estimate(load_from_data(*context.data, 0, HUGE_VAL), band, source);
    }

    match::DesignInput input;
    input.load = load;
    input.source_ohm = source;
    input.losses = request.losses;
    input.max_elements = request.elements;
    const match::DesignResult designed = match::design_networks(input);
    if (designed.networks.empty()) {
        return fail(1, "No network could be designed");
    }
    std::optional<match::Design> standard;
    if (request.e_series) {
        standard = match::standard_network(designed.networks.back(), input, *request.e_series);
    }
    const match::Design& chosen = standard ? *standard : designed.networks.back();
    std::optional<match::YieldFigures> yield;
    if (request.yield) {
        const auto started = std::chrono::steady_clock::now();
        int last_percent = -1;
        const match::Progress progress = [&](double done) {
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
        yield = match::network_yield(
            chosen.ladder, load, source, request.losses, request.yield->tolerance_percent,
            request.yield->runs,
            request.yield->target_rl_db.value_or(chosen.figures.worst_rl_db - 1), 1, progress);
        if (last_percent >= 0) {
            *context.progress << "\r           \r" << std::flush;
        }
    }

    // Text.
    std::string& text = outcome.text;
    text += "\nMatching network: source " + people(source) + " ohm, band " + people(band.fl_ghz) +
            " to " + people(band.fh_ghz) + " GHz, " + load_words;
    if (!request.losses.lossless()) {
        text += ", lossy parts";
    }
    text += "\n";
    text += bound ? "Bode-Fano bound of the model: " + limit_text(*bound, ">=") + "\n"
                  : std::string{"Bode-Fano bound: none (no model with a positive section)\n"};
    if (estimate) {
        text += "Estimate from the data (not a bound): " + limit_text(*estimate, "~") + "\n";
    }
    text += " N  worst |G|    RL dB   gain dB    at GHz   gap dB  ladder from the source\n";
    for (const match::Design& design : designed.networks) {
        std::string label = std::to_string(design.ladder.size());
        label.insert(0, label.size() < 2 ? 2 - label.size() : 0, ' ');
        text += network_row(label, design, bound);
    }
    if (standard) {
        text += network_row(std::string{rf::e_series_name(*request.e_series)}.substr(0, 4),
                            *standard, bound);
    }
    if (yield) {
        text += "Yield: parts within +-" + people(yield->tolerance_percent) + " %, " +
                std::to_string(yield->runs) + " runs: " + people(100 * yield->share) +
                " % reach return loss " + people(yield->target_rl_db) +
                " dB; worst return loss min " + people(yield->min_rl_db) + ", median " +
                people(yield->median_rl_db) + ", max " + people(yield->max_rl_db) + " dB\n";
    }

    // JSON.
    Json& o = outcome.json;
    o["band_ghz"] = {band.fl_ghz, band.fh_ghz};
    o["source_ohm"] = source;
    o["bound"] = limit_json(bound);
    o["estimate"] = limit_json(estimate);
    Json networks = Json::array();
    for (const match::Design& design : designed.networks) {
        networks.push_back(network_json(design, bound));
    }
    o["networks"] = std::move(networks);
    o["standard"] = standard ? network_json(*standard, bound) : Json(nullptr);
    if (yield) {
        Json y;
        y["tolerance_percent"] = yield->tolerance_percent;
        y["runs"] = yield->runs;
        y["target_rl_db"] = number_json(yield->target_rl_db);
        y["share"] = yield->share;
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
        over = load_from_data(*context.data, -HUGE_VAL, HUGE_VAL);
    } else {
        const rf::Sweep sweep = context.sweep ? *context.sweep : rf::default_sweep(*context.state);
        over = load_from_model(*model, rf::sweep_frequencies(sweep));
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
            near = load_from_data(*context.data, band.fl_ghz - width, band.fh_ghz + width);
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
