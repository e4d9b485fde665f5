#include "cli/match_options.h"

#include "cli/calc_request.h"
#include "io/safe_file.h"
#include "match/match_files.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/svg.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace veltrane::cli {

namespace {

using rf::read_number;

using Json = nlohmann::ordered_json;

// Samples of the model over the band when no data is read.
constexpr int model_samples = 201;

struct PathOption {
    std::string_view name;
    std::string MatchWords::*word;
    std::string_view placeholder;
    std::string_view help;
};

constexpr std::array<PathOption, 4> path_options = {{
    {"--match-s2p", &MatchWords::s2p, "FILE", "write the network as a Touchstone two-port"},
    {"--match-s1p", &MatchWords::s1p, "FILE", "write the matched input as a Touchstone one-port"},
    {"--match-spice", &MatchWords::spice, "FILE", "write the network as a SPICE subcircuit"},
    {"--match-plot", &MatchWords::plot, "FILE.svg", "draw the load and the matched input (SVG)"},
}};

// "A:B" or "A:B:C" split at the colons.
std::vector<std::string_view> fields_of(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string_view::npos) {
            return fields;
        }
        start = colon + 1;
    }
}

std::variant<match::PartQ, std::string> read_q(std::string_view option, std::string_view text) {
    const std::size_t at = text.find('@');
    const auto q = read_number(text.substr(0, at));
    const auto f = at == std::string_view::npos ? std::nullopt : read_number(text.substr(at + 1));
    if (!q || !f) {
        return std::string{option} + ": \"" + std::string{text} + "\" is not Q@GHZ";
    }
    if (!(*q > 0) || !(*f > 0)) {
        return std::string{option} + ": Q and the frequency must be positive";
    }
    return match::PartQ{*q, *f};
}

std::string people(double value) {
    return std::isfinite(value) ? rf::readable(value) : "-";
}

Json number_json(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
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

void add_match_options(CLI::App& app, MatchWords& words) {
    words.match = app.add_option("--match", words.elements,
                                 "design matching ladders of 1 to N elements (N up to 8)")
                      ->type_name("N");
    const auto needs_match = [&](CLI::Option* option) { option->needs(words.match); };
    needs_match(app.add_option("--band", words.band, "band to match [GHz] (default FL:FH)")
                    ->type_name("FL:FH"));
    needs_match(
        app.add_option("--source", words.source, "source resistance [ohm] (default --z0, else 50)")
            ->type_name("OHMS"));
    needs_match(app.add_option("--match-e-series", words.e_series,
                               "round the network to standard values and re-optimise")
                    ->type_name("E6|E12|E24|E48|E96|E192"));
    needs_match(app.add_option("--inductor-q", words.inductor_q,
                               "inductors' Q at a frequency (series loss ~ sqrt(f))")
                    ->type_name("Q@GHZ"));
    needs_match(
        app.add_option("--capacitor-q", words.capacitor_q, "capacitors' Q (constant loss tangent)")
            ->type_name("Q@GHZ"));
    needs_match(app.add_option("--yield", words.yield,
                               "vary the parts within +-TOL %, RUNS times (target RL dB)")
                    ->type_name("TOL:RUNS[:TARGET_DB]"));
    for (const PathOption& path : path_options) {
        needs_match(app.add_option(std::string{path.name}, words.*path.word, std::string{path.help})
                        ->type_name(std::string{path.placeholder}));
    }
    words.match->excludes(app.get_option("--all-choices"));
}

std::variant<std::optional<MatchRequest>, std::string>
match_request(const CLI::App& app, const MatchWords& words, const std::vector<std::string>& paths) {
    if (words.match->count() == 0) {
        return std::optional<MatchRequest>{};
    }
    const auto given = [&app](std::string_view name) {
        return app.get_option(std::string{name})->count() > 0;
    };
    MatchRequest request;
    const auto n = read_number(words.elements);
    if (!n || *n != std::floor(*n) || *n < 1 || *n > match::max_elements) {
        return "--match: \"" + words.elements + "\" is not a number of elements from 1 to 8";
    }
    request.elements = static_cast<int>(*n);
    if (given("--band")) {
        const auto fields = fields_of(words.band);
        const auto lo = fields.size() == 2 ? read_number(fields[0]) : std::nullopt;
        const auto hi = fields.size() == 2 ? read_number(fields[1]) : std::nullopt;
        if (!lo || !hi) {
            return "--band: \"" + words.band + "\" is not FL:FH in GHz";
        }
        if (!(*lo > 0) || !(*hi > *lo)) {
            return std::string{"--band: FL must be above 0 and FH above FL"};
        }
        request.band = match::Band{*lo, *hi};
    }
    if (given("--source")) {
        const auto r = read_number(words.source);
        if (!r || !(*r > 0)) {
            return "--source: \"" + words.source + "\" is not a positive resistance";
        }
        request.source_ohm = *r;
    }
    if (given("--match-e-series")) {
        request.e_series = rf::e_series_from_name(words.e_series);
        if (!request.e_series) {
            return "--match-e-series: " + words.e_series + " not in {E6,E12,E24,E48,E96,E192}";
        }
    }
    for (auto [name, word, part] :
         {std::tuple{"--inductor-q", &words.inductor_q, &request.losses.inductor},
          std::tuple{"--capacitor-q", &words.capacitor_q, &request.losses.capacitor}}) {
        if (given(name)) {
            auto q = read_q(name, *word);
            if (const std::string* error = std::get_if<std::string>(&q)) {
                return *error;
            }
            *part = std::get<match::PartQ>(q);
        }
    }
    if (given("--yield")) {
        const auto fields = fields_of(words.yield);
        const auto tolerance = fields.size() >= 2 ? read_number(fields[0]) : std::nullopt;
        const auto runs = fields.size() >= 2 ? read_number(fields[1]) : std::nullopt;
        const auto target = fields.size() == 3 ? read_number(fields[2]) : std::nullopt;
        if (!tolerance || !runs || fields.size() > 3 || (fields.size() == 3 && !target)) {
            return "--yield: \"" + words.yield + "\" is not TOL:RUNS or TOL:RUNS:TARGET_DB";
        }
        if (!(*tolerance > 0 && *tolerance < 100) || *runs != std::floor(*runs) || *runs < 1 ||
            *runs > 10'000'000) {
            return std::string{
                "--yield: TOL must lie between 0 and 100 % and RUNS from 1 to 10000000"};
        }
        request.yield = YieldRequest{*tolerance, static_cast<long>(*runs), target};
    }
    std::vector<std::string> taken = paths;
    for (const PathOption& path : path_options) {
        if (given(path.name)) {
            const std::string& file = words.*path.word;
            const std::filesystem::path mine = std::filesystem::path(file).lexically_normal();
            for (const std::string& other : taken) {
                if (std::filesystem::path(other).lexically_normal() == mine) {
                    return std::string{path.name} + ": " + file + " is written by another output";
                }
            }
            taken.push_back(file);
        }
    }
    const auto path_word = [&](std::string_view name, const std::string& word) {
        return given(name) ? std::optional<std::string>{word} : std::nullopt;
    };
    request.s2p = path_word("--match-s2p", words.s2p);
    request.s1p = path_word("--match-s1p", words.s1p);
    request.spice = path_word("--match-spice", words.spice);
    request.plot = path_word("--match-plot", words.plot);
    request.data_only = given("--touchstone") && !given("--f1-crossover") &&
                        !given("--f2-crossover") && !given("--topology") && !given("--best-fit");
    return std::optional<MatchRequest>{std::move(request)};
}

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
        yield = match::network_yield(
            chosen.ladder, load, source, request.losses, request.yield->tolerance_percent,
            request.yield->runs,
            request.yield->target_rl_db.value_or(chosen.figures.worst_rl_db - 1));
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

std::optional<std::string> finish_match_options(const CLI::App& app, const MatchWords& words,
                                                CalcRequest& request) {
    std::vector<std::string> taken;
    for (const auto& path :
         {request.report, request.exports.s1p, request.exports.spice, request.exports.plot}) {
        if (path) {
            taken.push_back(*path);
        }
    }
    auto parsed = match_request(app, words, taken);
    if (std::string* error = std::get_if<std::string>(&parsed)) {
        return std::move(*error);
    }
    request.match = std::get<std::optional<MatchRequest>>(std::move(parsed));
    return std::nullopt;
}

int run_data_match(const CalcRequest& request, std::ostream& out, std::ostream& err) {
    MatchContext context;
    context.data = request.data ? &*request.data : nullptr;
    context.z0_ohm = reference_ohm(request);
    context.sweep = request.exports.sweep;
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
