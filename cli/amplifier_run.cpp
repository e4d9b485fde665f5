#include "cli/amplifier_run.h"

#include "cli/calc_request.h"
#include "rf/numbers.h"
#include "rf/touchstone.h"
#include "views/amplifier_match.h"
#include "views/amplifier_view.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <new>
#include <ostream>
#include <variant>

namespace veltrane::cli {

namespace {

using Json = nlohmann::ordered_json;

// What --amplifier goes with; any other option is a usage error.
constexpr std::array<std::string_view, 7> amplifier_companions = {
    amplifier_option, "--at", "--band", "--match", "--json", "--no-report", "--threads"};

} // namespace

bool asks_for_amplifier(const CLI::App& app, const std::vector<std::string>& words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--") {
            return false;
        }
        if (words[i] == amplifier_option) {
            return true;
        }
        const CLI::Option* option = app.get_option_no_throw(words[i]);
        if (option != nullptr && option->get_expected_min() > 0) {
            ++i; // its value, whatever it looks like
        }
    }
    return false;
}

void add_amplifier_options(CLI::App& app, std::string& file, std::string& at) {
    CLI::Option* amplifier =
        app.add_option(std::string{amplifier_option}, file,
                       "the stability, gain and conjugate match of this two-port (.s2p); with "
                       "--band the summary covers FL:FH, with --match N also both ports' ladders")
            ->option_text("FILE");
    app.add_option("--at", at,
                   "with --amplifier: the conjugate match at the sample nearest GHZ (default: the "
                   "band's centre)")
        ->option_text("GHZ")
        ->needs(amplifier);
}

std::optional<std::string> amplifier_request(const CLI::App& app, const std::string& file,
                                             const std::string& at, const std::string& band,
                                             std::optional<AmplifierRequest>& request) {
    const auto given = [&app](std::string_view name) {
        return app.get_option(std::string{name})->count() > 0;
    };
    if (!given(amplifier_option)) {
        return std::nullopt;
    }
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        if (option->count() > 0 &&
            std::find(amplifier_companions.begin(), amplifier_companions.end(), name) ==
                amplifier_companions.end()) {
            return "--amplifier cannot be combined with " + name;
        }
    }
    AmplifierRequest r;
    r.file = file;
    if (file.empty()) {
        return std::string{"--amplifier: the file name is empty"};
    }
    if (given("--band")) {
        const std::size_t colon = band.find(':');
        const auto lo =
            colon == std::string::npos ? std::nullopt : rf::read_number(band.substr(0, colon));
        const auto hi =
            colon == std::string::npos ? std::nullopt : rf::read_number(band.substr(colon + 1));
        if (!lo || !hi) {
            return "--band: \"" + band + "\" is not FL:FH in GHz";
        }
        if (!(*lo > 0) || !(*hi > *lo)) {
            return std::string{"--band: FL must be above 0 and FH above FL"};
        }
        r.band = match::Band{*lo, *hi};
    }
    if (given("--match") && !r.band) {
        return std::string{"--amplifier with --match needs --band FL:FH"};
    }
    if (given("--at")) {
        const auto f = rf::read_number(at);
        if (!f || !(*f > 0)) {
            return "--at: \"" + at + "\" is not a frequency above 0 GHz";
        }
        r.at_ghz = *f;
    }
    request = std::move(r);
    return std::nullopt;
}

int run_amplifier(const AmplifierRequest& request, std::optional<int> match_elements, bool json,
                  std::ostream& out, std::ostream& err) {
    const auto message = [&](const std::string& text) {
        if (json) {
            Json object = Json::object();
            object["message"] = text;
            object["amplifier"] = nullptr;
            out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
        } else {
            err << text << '\n';
        }
        return exit_message;
    };
    std::variant<views::AmplifierReport, std::string> report;
    std::optional<std::variant<views::AmplifierMatch, std::string>> matched;
    try {
        auto network = rf::read_touchstone_file(request.file);
        if (const auto* text = std::get_if<std::string>(&network)) {
            return message(*text);
        }
        auto data = match::two_port_data(std::get<rf::Network>(network));
        if (const auto* text = std::get_if<std::string>(&data)) {
            return message(*text);
        }
        report = views::amplifier_report(std::get<match::TwoPortData>(data),
                                         {request.band, request.at_ghz});
        if (match_elements && request.band &&
            std::holds_alternative<views::AmplifierReport>(report)) {
            matched = views::amplifier_match(std::get<match::TwoPortData>(data), *match_elements,
                                             *request.band);
        }
    } catch (const std::bad_alloc&) {
        return message("Not enough memory for the data of " + request.file);
    }
    if (const auto* text = std::get_if<std::string>(&report)) {
        return message(*text);
    }
    const auto& figures = std::get<views::AmplifierReport>(report);
    const std::string* match_message = matched ? std::get_if<std::string>(&*matched) : nullptr;
    if (json) {
        Json object = Json::object();
        object["amplifier"] = views::amplifier_json(figures);
        if (matched) {
            if (match_message != nullptr) {
                object["amplifier_match"] = nullptr;
                object["amplifier_match_message"] = *match_message;
            } else {
                object["amplifier_match"] =
                    views::amplifier_match_json(std::get<views::AmplifierMatch>(*matched));
            }
        }
        out << object.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    } else {
        out << views::amplifier_text(figures);
        if (matched) {
            if (match_message != nullptr) {
                err << *match_message << '\n';
            } else {
                out << views::amplifier_match_text(std::get<views::AmplifierMatch>(*matched));
            }
        }
    }
    return match_message != nullptr ? exit_message : exit_results;
}

} // namespace veltrane::cli
