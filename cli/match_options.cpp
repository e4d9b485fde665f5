#include "cli/match_options.h"

#include "views/match_run.h"

#include "cli/calc_request.h"
#include "io/path_text.h"
#include "io/safe_file.h"
#include "io/same_file.h"
#include "match/match_files.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/svg.h"
#include "rf/touchstone.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <utility>

namespace veltrane::cli {

namespace {

using rf::read_number;

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

} // namespace

void add_match_options(CLI::App& app, MatchWords& words) {
    words.match = app.add_option("--match", words.elements,
                                 "design matching ladders of 1 to N elements (N up to 8)")
                      ->type_name("N");
    const auto needs_match = [&](CLI::Option* option) { option->needs(words.match); };
    needs_match(app.add_option("--band", words.band, "band to match [GHz] (default FL:FH)")
                    ->type_name("FL:FH"));
    needs_match(app.add_option("--source", words.source,
                               "source resistance or impedance [ohm] (default --z0, else 50)")
                    ->type_name("R|R+jX"));
    needs_match(app.add_option("--source-touchstone", words.source_touchstone,
                               "a measured source: its port's impedance over the band")
                    ->type_name("FILE"));
    needs_match(app.add_option("--source-port", words.source_port,
                               "the port of --source-touchstone (default 1)")
                    ->type_name("N"));
    needs_match(app.add_option("--match-e-series", words.e_series,
                               "round the network to standard values and re-optimise")
                    ->type_name("E6|E12|E24|E48|E96|E192"));
    needs_match(app.add_option("--inductor-q", words.inductor_q,
                               "inductors' Q at a frequency (series loss ~ sqrt(f))")
                    ->type_name("Q@GHZ"));
    needs_match(
        app.add_option("--capacitor-q", words.capacitor_q, "capacitors' Q (constant loss tangent)")
            ->type_name("Q@GHZ"));
    needs_match(app.add_option("--inductor-srf", words.inductor_srf,
                               "inductors self-resonate at this frequency (a parallel C of "
                               "1/((2 pi f)^2 L))")
                    ->type_name("GHZ"));
    needs_match(app.add_option("--capacitor-esl", words.capacitor_esl,
                               "capacitors' series inductance, the same for every value")
                    ->type_name("NH"));
    needs_match(app.add_option("--capacitor-esr", words.capacitor_esr,
                               "capacitors' series resistance, the same for every value")
                    ->type_name("OHM"));
    needs_match(app.add_option("--yield", words.yield,
                               "vary the parts within +-TOL %, RUNS times (target RL dB)")
                    ->type_name("TOL:RUNS[:TARGET_DB]"));
    needs_match(app.add_flag("--dc-path", words.dc_path, "no series capacitor"));
    needs_match(app.add_flag("--dc-block", words.dc_block, "at least one series capacitor"));
    needs_match(app.add_flag("--lowpass", words.lowpass, "series L and shunt C only"));
    needs_match(app.add_flag("--highpass", words.highpass, "series C and shunt L only"));
    needs_match(app.add_option("--first", words.first, "the element at the source")
                    ->type_name("series|shunt"));
    needs_match(
        app.add_option("--last", words.last, "the element at the load")->type_name("series|shunt"));
    needs_match(app.add_option("--l-range", words.l_range, "inductors within MIN:MAX [nH]")
                    ->type_name("MIN:MAX"));
    needs_match(app.add_option("--c-range", words.c_range, "capacitors within MIN:MAX [pF]")
                    ->type_name("MIN:MAX"));
    needs_match(
        app.add_option("--seed", words.seed, "the yield's seed (default 1)")->type_name("N"));
    needs_match(app.add_option("--yield-dist", words.distribution,
                               "how the yield draws a part: uniform within TOL, or normal with TOL "
                               "at 3 sigma (default uniform)")
                    ->type_name("uniform|normal"));
    needs_match(app.add_option("--match-objective", words.objective,
                               "what to design for: the smallest in-band transducer gain, or the "
                               "worst |Gamma| (default: gain with a part's Q, else gamma)")
                    ->type_name("gain|gamma"));
    needs_match(app.add_option("--parts", words.parts,
                               "also build the network of measured parts: DIR holds parts.csv "
                               "(kind,value,unit,file[,package]) and the parts' two-ports")
                    ->type_name("DIR"));
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
        const auto z = views::typed_impedance(words.source);
        if (!z || !(z->real() > 0)) {
            return "--source: \"" + words.source + "\" is not a positive resistance or R+jX";
        }
        if (z->imag() == 0) {
            request.source_ohm = z->real();
        } else {
            request.source_impedance = *z;
        }
    }
    if (given("--source-touchstone")) {
        if (given("--source")) {
            return std::string{"--source and --source-touchstone cannot both be given"};
        }
        request.source_touchstone = words.source_touchstone;
    }
    if (given("--source-port")) {
        const auto port = read_number(words.source_port);
        if (!given("--source-touchstone")) {
            return std::string{"--source-port needs --source-touchstone"};
        }
        if (!port || !(*port >= 1 && *port <= rf::max_ports) || *port != std::floor(*port)) {
            return "--source-port: \"" + words.source_port + "\" is not a port number";
        }
        request.source_port = static_cast<int>(*port);
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
    for (auto [name, word, parasitic, what] :
         {std::tuple{"--inductor-srf", &words.inductor_srf, &request.losses.inductor_srf_ghz,
                     "a frequency above 0 GHz"},
          std::tuple{"--capacitor-esl", &words.capacitor_esl, &request.losses.capacitor_esl_nh,
                     "an inductance of 0 nH or more"},
          std::tuple{"--capacitor-esr", &words.capacitor_esr, &request.losses.capacitor_esr_ohm,
                     "a resistance of 0 ohm or more"}}) {
        if (given(name)) {
            const auto value = read_number(*word);
            const bool srf = parasitic == &request.losses.inductor_srf_ghz;
            if (!value || !(srf ? *value > 0 : *value >= 0)) {
                return std::string{name} + ": \"" + *word + "\" is not " + what;
            }
            *parasitic = *value;
        }
    }
    request.constraints.dc_path = words.dc_path;
    request.constraints.dc_block = words.dc_block;
    request.constraints.lowpass = words.lowpass;
    request.constraints.highpass = words.highpass;
    for (auto [name, word, position] :
         {std::tuple{"--first", &words.first, &request.constraints.first},
          std::tuple{"--last", &words.last, &request.constraints.last}}) {
        if (given(name)) {
            if (*word == "series") {
                *position = match::Position::Series;
            } else if (*word == "shunt") {
                *position = match::Position::Shunt;
            } else {
                return std::string{name} + ": " + *word + " not in {series,shunt}";
            }
        }
    }
    for (auto [name, word, range] :
         {std::tuple{"--l-range", &words.l_range, &request.constraints.l_nh},
          std::tuple{"--c-range", &words.c_range, &request.constraints.c_pf}}) {
        if (given(name)) {
            *range = views::part_range(*word);
            if (!*range) {
                return std::string{name} + ": \"" + *word + "\" is not MIN:MAX with 0 < MIN <= MAX";
            }
        }
    }
    if (given("--match-objective")) {
        if (words.objective == "gain") {
            request.aim = match::DesignAim::Gain;
        } else if (words.objective == "gamma") {
            request.aim = match::DesignAim::Gamma;
        } else {
            return "--match-objective: " + words.objective + " not in {gain,gamma}";
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
    if ((given("--seed") || given("--yield-dist")) && !request.yield) {
        return std::string{"--seed and --yield-dist need --yield"};
    }
    if (given("--seed")) {
        std::uint64_t seed = 0;
        const char* end = words.seed.data() + words.seed.size();
        const auto [ptr, ec] = std::from_chars(words.seed.data(), end, seed);
        if (ec != std::errc{} || ptr != end || words.seed.empty()) {
            return "--seed: \"" + words.seed + "\" is not a whole number from 0 to 2^64 - 1";
        }
        request.yield->seed = seed;
    }
    if (given("--yield-dist")) {
        if (words.distribution == "uniform") {
            request.yield->distribution = match::YieldDistribution::Uniform;
        } else if (words.distribution == "normal") {
            request.yield->distribution = match::YieldDistribution::Normal;
        } else {
            return "--yield-dist: " + words.distribution + " not in {uniform,normal}";
        }
    }
    if (given("--parts")) {
        if (words.parts.empty()) {
            return std::string{"--parts: the folder name is empty"};
        }
        request.parts = words.parts;
    }
    std::vector<std::string> taken = paths;
    for (const PathOption& path : path_options) {
        if (given(path.name)) {
            const std::string& file = words.*path.word;
            if (file.empty()) {
                return std::string{path.name} + ": the file name is empty";
            }
            for (const std::string& other : taken) {
                if (same_file(path_from_utf8(other), path_from_utf8(file))) {
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

std::optional<std::string> match_range_message(const MatchRequest& request, double source_ohm,
                                               const std::optional<match::Band>& band) {
    return views::match_range_problem(request.losses, source_ohm, band, "--inductor-q",
                                      "--capacitor-q");
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

} // namespace veltrane::cli
