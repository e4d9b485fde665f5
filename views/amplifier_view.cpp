#include "views/amplifier_view.h"

#include "rf/numbers.h"

#include <cmath>
#include <numbers>

namespace veltrane::views {

namespace {

using Json = nlohmann::ordered_json;
using match::Complex;

// A figure for people: four significant digits, "-" for none, a zero without its sign.
std::string people(std::optional<double> value, int digits = 4) {
    if (!value || !std::isfinite(*value)) {
        return "-";
    }
    return rf::readable(*value == 0 ? 0.0 : *value, digits);
}

std::string decibels(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) {
        return "-";
    }
    std::string text;
    rf::append_fixed(text, *value, 2);
    return text;
}

Json number_json(std::optional<double> value) {
    return value && std::isfinite(*value) ? Json(*value == 0 ? 0.0 : *value) : Json(nullptr);
}

// "0.812 at -123.4 deg"
std::string polar(Complex gamma) {
    std::string text = people(std::abs(gamma), 4) + " at ";
    rf::append_fixed(text, std::arg(gamma) * 180 / std::numbers::pi, 1);
    return text + " deg";
}

// "12.3 + j45.6 ohm", or "an open circuit" at Gamma = 1.
std::string impedance_text(Complex gamma, double reference_ohm) {
    const auto z = match::impedance(gamma, reference_ohm);
    if (!z) {
        return "an open circuit";
    }
    return people(z->real()) + (z->imag() < 0 ? " - j" : " + j") + people(std::abs(z->imag())) +
           " ohm";
}

} // namespace

std::string ghz_text(double f_ghz) {
    return people(f_ghz);
}

std::string decibel_text(double db) {
    return decibels(db);
}

std::string runs_text(const std::vector<GhzRange>& ranges) {
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        text += i == 0 ? "" : i + 1 == ranges.size() ? " and " : ", ";
        text += people(ranges[i].first);
        if (ranges[i].second != ranges[i].first) {
            text += " to " + people(ranges[i].second);
        }
    }
    return text + " GHz";
}

namespace {

bool in_band(double f_ghz, const std::optional<match::Band>& band) {
    return !band || (f_ghz >= band->fl_ghz && f_ghz <= band->fh_ghz);
}

std::string circle_text(const std::optional<match::Circle>& c) {
    if (!c) {
        return "a straight line";
    }
    return "centre " + polar(c->centre) + ", radius " + people(c->radius);
}

Json circle_json(const std::optional<match::Circle>& c) {
    if (!c) {
        return nullptr;
    }
    Json o;
    o["centre_re"] = number_json(c->centre.real());
    o["centre_im"] = number_json(c->centre.imag());
    o["radius"] = number_json(c->radius);
    return o;
}

std::string_view note_words(match::Note note) {
    switch (note) {
    case match::Note::Unilateral:
        return "unilateral";
    case match::Note::NoTransmission:
        return "no transmission";
    case match::Note::None:
        break;
    }
    return "";
}

} // namespace

std::variant<AmplifierReport, std::string> amplifier_report(const match::TwoPortData& data,
                                                            const AmplifierSettings& settings) {
    AmplifierReport report;
    report.source = data.source;
    report.reference1_ohm = data.reference1_ohm;
    report.reference2_ohm = data.reference2_ohm;
    report.band = settings.band;
    if (data.samples.empty()) {
        return data.source + " holds no frequency";
    }
    const double first = data.samples.front().f_ghz;
    const double last = data.samples.back().f_ghz;
    for (const match::TwoPortSample& sample : data.samples) {
        report.rows.push_back(match::stability(sample));
        const match::Stability& row = report.rows.back();
        if (!in_band(row.f_ghz, settings.band)) {
            continue;
        }
        ++report.in_band;
        auto& runs = row.stable ? report.stable_ghz : report.conditional_ghz;
        // A run goes on while the previous sample in the band was of the same kind.
        const bool continues = report.rows.size() >= 2 && !runs.empty() &&
                               runs.back().second == report.rows[report.rows.size() - 2].f_ghz &&
                               in_band(runs.back().second, settings.band);
        if (continues) {
            runs.back().second = row.f_ghz;
        } else {
            runs.emplace_back(row.f_ghz, row.f_ghz);
        }
    }
    if (report.in_band == 0) {
        return "No sample of " + data.source + " (" + people(first) + " to " + people(last) +
               " GHz) lies in the band " + people(settings.band->fl_ghz) + " to " +
               people(settings.band->fh_ghz) + " GHz";
    }
    report.unconditionally_stable = report.conditional_ghz.empty();
    report.asked_ghz = settings.at_ghz ? *settings.at_ghz
                       : settings.band ? (settings.band->fl_ghz + settings.band->fh_ghz) / 2
                                       : (first + last) / 2;
    if (settings.at_ghz && (*settings.at_ghz < first || *settings.at_ghz > last)) {
        return "--at " + people(*settings.at_ghz, 6) + " GHz lies outside " + data.source + "'s " +
               people(first) + " to " + people(last) + " GHz";
    }
    for (std::size_t i = 1; i < report.rows.size(); ++i) {
        if (std::abs(report.rows[i].f_ghz - report.asked_ghz) <
            std::abs(report.rows[report.at_row].f_ghz - report.asked_ghz)) {
            report.at_row = i;
        }
    }
    return report;
}

std::string amplifier_text(const AmplifierReport& r) {
    std::string text = "Amplifier: " + r.source + ", " + std::to_string(r.rows.size()) +
                       " samples, references " + people(r.reference1_ohm) + " and " +
                       people(r.reference2_ohm) + " ohm\n";
    text += "       GHz         K   |Delta|        mu       mu'   gain dB  kind  stable\n";
    std::vector<std::string> notes;
    for (const match::Stability& row : r.rows) {
        std::string line;
        const auto column = [&line](const std::string& cell, std::size_t width) {
            line.append(width > cell.size() ? width - cell.size() : 1, ' ');
            line += cell;
        };
        column(people(row.f_ghz, 6), 10);
        column(people(row.k), 10);
        column(people(row.delta_mag), 10);
        column(people(row.mu), 10);
        column(people(row.mu_prime), 10);
        column(decibels(row.gain_db), 10);
        column(row.gain_kind == match::GainKind::MAG ? "MAG" : "MSG", 6);
        line += row.stable ? "  yes" : "  no";
        if (row.note != match::Note::None) {
            line += " (" + std::string{note_words(row.note)} + ")";
        }
        text += line + "\n";
    }
    // "from 14 to 20 GHz" for one run, "at 1 to 2 GHz and 5 GHz" for several.
    const auto where_text = [](const std::vector<GhzRange>& runs) {
        return runs.size() == 1 && runs.front().first != runs.front().second
                   ? "from " + runs_text(runs)
                   : "at " + runs_text(runs);
    };
    std::string summary;
    if (r.unconditionally_stable) {
        summary = "unconditionally stable " + where_text(r.stable_ghz) + ".";
    } else {
        summary =
            "conditionally stable " + where_text(r.conditional_ghz) +
            " (K < 1 or |Delta| >= 1 there: some terminations make it oscillate); " +
            (r.stable_ghz.empty() ? std::string{"unconditionally stable at no sample."}
                                  : "unconditionally stable " + where_text(r.stable_ghz) + ".");
    }
    if (r.band) {
        text += "In the band " + people(r.band->fl_ghz) + " to " + people(r.band->fh_ghz) +
                " GHz: " + summary + "\n";
    } else {
        summary[0] = static_cast<char>(summary[0] - 'a' + 'A');
        text += summary + "\n";
    }
    bool unilateral = false, no_transmission = false;
    for (const match::Stability& row : r.rows) {
        unilateral = unilateral || row.note == match::Note::Unilateral;
        no_transmission = no_transmission || row.note == match::Note::NoTransmission;
    }
    if (unilateral) {
        text += "Where S12 = 0 the device is unilateral: K and MSG are unbounded and not shown.\n";
    }
    if (no_transmission) {
        text += "Where S21 = 0 the device has no gain and K is undefined.\n";
    }

    const match::Stability& at = r.rows[r.at_row];
    std::string f = people(at.f_ghz, 6) + " GHz";
    if (at.f_ghz != r.asked_ghz) {
        f += " (the sample nearest " + people(r.asked_ghz, 6) + " GHz)";
    }
    text += "Stability circles at " + f + ": input (source plane) " + circle_text(at.input_circle) +
            "; output (load plane) " + circle_text(at.output_circle) + "\n";
    if (at.match) {
        const match::ConjugateMatch& m = *at.match;
        text += "Simultaneous conjugate match at " + f + ": Gamma_S " + polar(m.gamma_s) +
                " (Z_S " + impedance_text(m.gamma_s, r.reference1_ohm) + "), Gamma_L " +
                polar(m.gamma_l) + " (Z_L " + impedance_text(m.gamma_l, r.reference2_ohm) + "), " +
                (at.gain_db ? "MAG " + decibels(at.gain_db) + " dB" : "no gain (S21 = 0)") + "\n";
    } else {
        text += "No simultaneous conjugate match at " + f +
                ": the device is not unconditionally stable there";
        text += at.gain_db ? " (MSG " + decibels(at.gain_db) + " dB)" : std::string{};
        text += "; keep Gamma_S and Gamma_L on the stable side of the circles.\n";
    }
    return text;
}

Json amplifier_json(const AmplifierReport& r) {
    Json o;
    o["source"] = r.source;
    o["unconditionally_stable"] = r.unconditionally_stable;
    Json rows = Json::array();
    for (const match::Stability& row : r.rows) {
        Json j;
        j["ghz"] = number_json(row.f_ghz);
        j["k"] = number_json(row.k);
        j["delta_mag"] = number_json(row.delta_mag);
        j["mu"] = number_json(row.mu);
        j["mu_prime"] = number_json(row.mu_prime);
        j["stable"] = row.stable;
        j["gain_db"] = number_json(row.gain_db);
        j["gain_kind"] = row.gain_kind == match::GainKind::MAG ? "MAG" : "MSG";
        j["input_circle"] = circle_json(row.input_circle);
        j["output_circle"] = circle_json(row.output_circle);
        if (row.note != match::Note::None) {
            j["note"] = std::string{note_words(row.note)};
        }
        rows.push_back(std::move(j));
    }
    o["stability"] = std::move(rows);
    Json ranges = Json::array();
    for (const GhzRange& range : r.conditional_ghz) {
        ranges.push_back(Json::array({number_json(range.first), number_json(range.second)}));
    }
    o["conditional_ghz"] = std::move(ranges);
    const match::Stability& at = r.rows[r.at_row];
    if (at.match) {
        Json m;
        m["ghz"] = number_json(at.f_ghz);
        m["gamma_s_re"] = number_json(at.match->gamma_s.real());
        m["gamma_s_im"] = number_json(at.match->gamma_s.imag());
        m["gamma_l_re"] = number_json(at.match->gamma_l.real());
        m["gamma_l_im"] = number_json(at.match->gamma_l.imag());
        m["mag_db"] = number_json(at.gain_db);
        o["match"] = std::move(m);
    } else {
        o["match"] = nullptr;
    }
    return o;
}

} // namespace veltrane::views
