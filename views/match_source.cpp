// The source the network is matched to when it is not a resistance: its words, the
// impedance people type, and its samples at the load's frequencies.
#include "views/match_run.h"

#include "rf/numbers.h"

#include <cmath>
#include <string>

namespace veltrane::views {

namespace {

// A figure as printed: "-" for none, a zero without its sign.
std::string people(double value) {
    return std::isfinite(value) ? rf::readable(value == 0 ? 0.0 : value) : "-";
}

bool finite_number(double value) {
    return std::isfinite(value);
}

} // namespace

std::optional<rf::Complex> typed_impedance(std::string_view text) {
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            compact += c;
        }
    }
    const std::size_t j = compact.find_first_of("jJ");
    if (j == std::string::npos) {
        const auto r = rf::read_number(compact);
        return r && finite_number(*r) ? std::optional<rf::Complex>{rf::Complex{*r, 0.0}}
                                      : std::nullopt;
    }
    if (j < 2 || (compact[j - 1] != '+' && compact[j - 1] != '-')) {
        return std::nullopt;
    }
    const auto r = rf::read_number(std::string_view{compact}.substr(0, j - 1));
    const auto x = rf::read_number(std::string_view{compact}.substr(j + 1));
    if (!r || !x || !finite_number(*r) || !finite_number(*x) || compact[j + 1] == '+' ||
        compact[j + 1] == '-') {
        return std::nullopt;
    }
    return rf::Complex{*r, compact[j - 1] == '-' ? -*x : *x};
}

std::string MatchSource::words() const {
    if (impedance) {
        const double x = impedance->imag();
        return people(impedance->real()) + (x < 0 ? "-j" : "+j") + people(std::abs(x)) + " ohm";
    }
    if (data) {
        return data->source + " port " + std::to_string(data->port);
    }
    return {};
}

std::string MatchSource::label() const {
    if (impedance) {
        std::string text = words();
        return "source " + text.substr(0, text.size() - 4) + " \u03a9";
    }
    if (data) {
        const std::size_t slash = data->source.find_last_of("/\\");
        return "source " + data->source.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    return {};
}

std::variant<std::vector<rf::Complex>, std::string>
source_samples(const MatchSource& source, const std::vector<double>& f_ghz) {
    std::vector<rf::Complex> z(f_ghz.size(), source.impedance.value_or(rf::Complex{}));
    if (source.data) {
        const rf::PortData& data = *source.data;
        match::Load measured;
        const std::size_t n = std::min(data.f_ghz.size(), data.s.size());
        for (std::size_t i = 0; i < n; ++i) {
            const rf::Complex zi = rf::impedance_from_reflection(data.s[i], data.reference_ohm);
            if (std::isfinite(zi.real()) && std::isfinite(zi.imag())) {
                measured.f_ghz.push_back(data.f_ghz[i]);
                measured.z_ohm.push_back(zi);
            }
        }
        if (!f_ghz.empty() && (measured.f_ghz.empty() || f_ghz.front() < measured.f_ghz.front() ||
                               f_ghz.back() > measured.f_ghz.back())) {
            const auto lo = measured.f_ghz.empty() ? 0.0 : measured.f_ghz.front();
            const auto hi = measured.f_ghz.empty() ? 0.0 : measured.f_ghz.back();
            return "The source " + source.words() + " (" + people(lo) + " to " + people(hi) +
                   " GHz) does not cover the band " + people(f_ghz.front()) + " to " +
                   people(f_ghz.back()) + " GHz";
        }
        for (std::size_t i = 0; i < f_ghz.size(); ++i) {
            z[i] = match::load_at(measured, f_ghz[i]);
        }
    }
    for (std::size_t i = 0; i < f_ghz.size(); ++i) {
        if (!(z[i].real() > 0) || !std::isfinite(z[i].real()) || !std::isfinite(z[i].imag())) {
            return "The source " + source.words() + " has no positive resistance at " +
                   people(f_ghz[i]) + " GHz: it cannot deliver power";
        }
    }
    return z;
}

} // namespace veltrane::views
