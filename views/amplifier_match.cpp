#include "views/amplifier_match.h"

#include "match/network.h"
#include "views/amplifier_view.h"
#include "views/match_json.h"
#include "views/match_run.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane::views {

namespace {

using Json = nlohmann::ordered_json;
using match::Complex;

bool finite(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag());
}

// The port's reflection as data the designer matches.
rf::PortData port_of(const match::TwoPortData& data, int port) {
    rf::PortData p;
    p.source = data.source;
    p.port = port;
    p.reference_ohm = port == 1 ? data.reference1_ohm : data.reference2_ohm;
    for (const match::TwoPortSample& s : data.samples) {
        p.f_ghz.push_back(s.f_ghz);
        p.s.push_back(port == 1 ? s.s11 : s.s22);
    }
    return p;
}

std::variant<MatchReport, std::string> design_port(const rf::PortData& port, int elements,
                                                   const match::Band& band) {
    MatchSettings settings;
    settings.elements = elements;
    settings.band = band;
    settings.source_ohm = port.reference_ohm;
    if (auto problem = settings.validate()) {
        return *problem;
    }
    if (auto problem = match_range_problem(settings.losses, settings.source_ohm, band, "", "")) {
        return *problem;
    }
    MatchSubject subject;
    subject.data = &port;
    auto prepared = match_setup(settings, subject);
    if (const auto* failure = std::get_if<MatchFailure>(&prepared)) {
        return failure->message;
    }
    MatchReport report = run_match(settings, std::get<MatchSetup>(prepared));
    if (!report.chosen) {
        return no_network_message(settings);
    }
    return report;
}

// What a ladder designed from the resistance `r_ohm` to the device presents to the device at
// `f_ghz`: the reflection looking into its device end, the far end in `r_ohm`.
std::optional<Complex> presented(const match::Ladder& ladder, double f_ghz, double r_ohm) {
    const match::Ladder reversed(ladder.rbegin(), ladder.rend());
    const Complex z = match::input_impedance(match::chain_matrix(reversed, f_ghz, {}), r_ohm);
    const Complex gamma = (z - r_ohm) / (z + r_ohm);
    return finite(gamma) ? std::optional<Complex>{gamma} : std::nullopt;
}

} // namespace

std::variant<AmplifierMatch, std::string> amplifier_match(const match::TwoPortData& data,
                                                          int elements, const match::Band& band) {
    const rf::PortData input_port = port_of(data, 1);
    const rf::PortData output_port = port_of(data, 2);
    auto input = design_port(input_port, elements, band);
    if (auto* message = std::get_if<std::string>(&input)) {
        return "Input network: " + *message;
    }
    auto output = design_port(output_port, elements, band);
    if (auto* message = std::get_if<std::string>(&output)) {
        return "Output network: " + *message;
    }
    AmplifierMatch m;
    m.input = std::get<MatchReport>(std::move(input));
    m.output = std::get<MatchReport>(std::move(output));
    const match::Ladder& in_ladder = m.input.networks[*m.input.chosen].ladder;
    const match::Ladder& out_ladder = m.output.networks[*m.output.chosen].ladder;
    for (const match::TwoPortSample& s : data.samples) {
        if (!(s.f_ghz > 0)) {
            continue; // no ladder's impedance at DC
        }
        const auto gamma_s = presented(in_ladder, s.f_ghz, data.reference1_ohm);
        const auto gamma_l = presented(out_ladder, s.f_ghz, data.reference2_ohm);
        if (!gamma_s || !gamma_l) {
            continue;
        }
        AmplifierCascadeSample c;
        c.f_ghz = s.f_ghz;
        c.gamma_s = *gamma_s;
        c.gamma_l = *gamma_l;
        c.in_band = s.f_ghz >= band.fl_ghz && s.f_ghz <= band.fh_ghz;
        // Gamma_in = S11 + S12 S21 Gamma_L / (1 - S22 Gamma_L), Gamma_out the same turned round.
        const Complex in_den = 1.0 - s.s22 * c.gamma_l;
        const Complex out_den = 1.0 - s.s11 * c.gamma_s;
        const Complex gamma_in = s.s11 + s.s12 * s.s21 * c.gamma_l / in_den;
        const Complex gamma_out = s.s22 + s.s12 * s.s21 * c.gamma_s / out_den;
        c.oscillates = !finite(gamma_in) || !finite(gamma_out) || !(std::abs(gamma_in) < 1) ||
                       !(std::abs(gamma_out) < 1);
        if (c.in_band) {
            const double num =
                (1 - std::norm(c.gamma_s)) * std::norm(s.s21) * (1 - std::norm(c.gamma_l));
            const double den = std::norm(out_den * in_den - s.s12 * s.s21 * c.gamma_s * c.gamma_l);
            c.gain_db = den > 0 ? match::ratio_db(num / den) : std::nullopt;
            if (c.gain_db) {
                m.gain_min_db = std::min(m.gain_min_db.value_or(*c.gain_db), *c.gain_db);
                m.gain_max_db = std::max(m.gain_max_db.value_or(*c.gain_db), *c.gain_db);
            }
        }
        m.samples.push_back(c);
    }
    return m;
}

std::string amplifier_match_text(const AmplifierMatch& m) {
    std::string text = "\nInput network, from port 1's reference to the device's input (S11):";
    text += match_table_text(m.input);
    text += "\nOutput network, from port 2's reference to the device's output (S22):";
    text += match_table_text(m.output);
    std::size_t in_band = 0;
    std::vector<GhzRange> oscillating;
    for (std::size_t i = 0; i < m.samples.size(); ++i) {
        in_band += m.samples[i].in_band ? 1 : 0;
        if (!m.samples[i].oscillates) {
            continue;
        }
        if (!oscillating.empty() && i > 0 && m.samples[i - 1].oscillates) {
            oscillating.back().second = m.samples[i].f_ghz;
        } else {
            oscillating.emplace_back(m.samples[i].f_ghz, m.samples[i].f_ghz);
        }
    }
    const auto parts = [](const MatchReport& r) {
        return std::to_string(r.networks[*r.chosen].ladder.size());
    };
    text += "With both networks (" + parts(m.input) + " parts at the input, " + parts(m.output) +
            " at the output), " + ghz_text(m.input.band.fl_ghz) + " to " +
            ghz_text(m.input.band.fh_ghz) + " GHz: transducer gain ";
    text += m.gain_min_db ? decibel_text(*m.gain_min_db) + " to " + decibel_text(*m.gain_max_db) +
                                " dB over " + std::to_string(in_band) + " samples"
                          : std::string{"none"};
    text += oscillating.empty() ? "; stable with these terminations at all " +
                                      std::to_string(m.samples.size()) + " samples of the file.\n"
                                : "; with these terminations |Gamma_in| or |Gamma_out| >= 1 at " +
                                      runs_text(oscillating) + ": it would oscillate there.\n";
    return text;
}

Json amplifier_match_json(const AmplifierMatch& m) {
    const auto number = [](const std::optional<double>& value) {
        return value && std::isfinite(*value) ? Json(*value == 0 ? 0.0 : *value) : Json(nullptr);
    };
    Json o;
    // Each side's "chosen": the index in its "networks" of the ladder put in place.
    o["input"] = match_json(m.input);
    o["input"]["chosen"] = *m.input.chosen;
    o["output"] = match_json(m.output);
    o["output"]["chosen"] = *m.output.chosen;
    o["gain_db_min"] = number(m.gain_min_db);
    o["gain_db_max"] = number(m.gain_max_db);
    Json samples = Json::array();
    for (const AmplifierCascadeSample& c : m.samples) {
        Json j;
        j["ghz"] = number(c.f_ghz);
        j["gamma_s_re"] = number(c.gamma_s.real());
        j["gamma_s_im"] = number(c.gamma_s.imag());
        j["gamma_l_re"] = number(c.gamma_l.real());
        j["gamma_l_im"] = number(c.gamma_l.imag());
        j["gain_db"] = number(c.gain_db);
        j["oscillates"] = c.oscillates;
        samples.push_back(std::move(j));
    }
    o["samples"] = std::move(samples);
    return o;
}

} // namespace veltrane::views
