#include "views/match_run.h"

#include "match/match_files.h"
#include "match/parts.h"
#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace veltrane::views {

namespace {

// A figure as printed: "-" for none, and a zero without its sign (a perfect match's return loss
// is -20 log10(1) = -0).
std::string people(double value) {
    return std::isfinite(value) ? rf::readable(value == 0 ? 0.0 : value) : "-";
}

// One row of the table of networks.
// `first_width`: of the first figure's column after the label (a longer label, a narrower one).
std::string network_row(std::string label, const match::Design& design,
                        const std::optional<match::Limit>& bound, std::size_t first_width = 10) {
    std::string row = std::move(label);
    const auto column = [&row](const std::string& text, std::size_t width) {
        row.append(width > text.size() ? width - text.size() : 1, ' ');
        row += text;
    };
    column(people(design.figures.worst_gamma), first_width);
    column(people(design.figures.worst_rl_db), 9);
    column(people(design.figures.gain_db), 10);
    column(people(design.figures.at_ghz), 10);
    const auto gap = gap_db(design, bound);
    column(gap ? people(*gap) : "-", 9);
    column(bound ? people(bound->rl_db - design.figures.worst_rl_db) : "-", 10);
    row += "  " + match::ladder_summary(design.ladder) + "\n";
    return row;
}

// "inductors self-resonant at 6 GHz, capacitors with 0.4 nH and 0.2 ohm in series".
std::string parasitic_words(const match::Losses& losses) {
    std::string text;
    if (losses.inductor_srf_ghz) {
        text = "inductors self-resonant at " + people(*losses.inductor_srf_ghz) + " GHz";
    }
    const auto& esl = losses.capacitor_esl_nh;
    const auto& esr = losses.capacitor_esr_ohm;
    if (esl || esr) {
        text += std::string{text.empty() ? "" : ", "} + "capacitors with " +
                (esl ? people(*esl) + " nH" : "") + (esl && esr ? " and " : "") +
                (esr ? people(*esr) + " ohm" : "") + " in series";
    }
    return text;
}

bool finite_number(double value) {
    return std::isfinite(value);
}

} // namespace

std::optional<match::Range> part_range(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto lo = rf::read_number(text.substr(0, colon));
    const auto hi = rf::read_number(text.substr(colon + 1));
    if (!lo || !hi || !(*lo > 0) || !(*hi >= *lo) || !finite_number(*hi)) {
        return std::nullopt;
    }
    return match::Range{*lo, *hi};
}

std::optional<std::string> MatchSettings::validate() const {
    if (elements < 1 || elements > match::max_elements) {
        return "The number of elements must lie from 1 to " + std::to_string(match::max_elements);
    }
    if (band && !(band->fl_ghz > 0 && band->fh_ghz > band->fl_ghz && finite_number(band->fh_ghz))) {
        return std::string{"The band's FL must be above 0 and FH above FL"};
    }
    if (!(source_ohm > 0) || !finite_number(source_ohm)) {
        return std::string{"The source resistance must be a positive number of ohm"};
    }
    if (source.impedance &&
        !(source.impedance->real() > 0 && finite_number(source.impedance->real()) &&
          finite_number(source.impedance->imag()))) {
        return std::string{"The source impedance must have a positive, finite resistance"};
    }
    for (const auto& part : {losses.inductor, losses.capacitor}) {
        if (part && !(part->q > 0 && part->at_ghz > 0 && finite_number(part->q) &&
                      finite_number(part->at_ghz))) {
            return std::string{"A part's Q and its frequency must be positive"};
        }
    }
    if ((losses.inductor_srf_ghz && !(*losses.inductor_srf_ghz > 0)) ||
        (losses.capacitor_esl_nh && !(*losses.capacitor_esl_nh >= 0)) ||
        (losses.capacitor_esr_ohm && !(*losses.capacitor_esr_ohm >= 0))) {
        return std::string{"An inductor's self-resonance must be positive, a capacitor's series L "
                           "and R positive or 0"};
    }
    for (const auto& range : {constraints.l_nh, constraints.c_pf}) {
        if (range && !(range->lo > 0 && range->hi >= range->lo && finite_number(range->hi))) {
            return std::string{"A part's range must be MIN:MAX with 0 < MIN <= MAX"};
        }
    }
    if (constraints.lowpass && constraints.highpass) {
        return std::string{"A ladder cannot be both low-pass and high-pass"};
    }
    if (yield &&
        !(yield->tolerance_percent > 0 && yield->tolerance_percent < 100 && yield->runs >= 1 &&
          yield->runs <= 10'000'000 && finite_number(yield->target_rl_db.value_or(0)))) {
        return std::string{"The yield's tolerance must lie between 0 and 100 % and its runs "
                           "from 1 to 10000000"};
    }
    return std::nullopt;
}

match::Load model_load(const rf::LumpedModel& model, const std::vector<double>& f_ghz) {
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

BandLimits band_limits(const rf::PortData& data, const match::Band& band, double source_ohm,
                       const std::optional<rf::LumpedModel>& model) {
    BandLimits limits{band, source_ohm, model, band_load(data, band.fl_ghz, band.fh_ghz), {}};
    if (const auto found = match::data_bound(limits.load, band, source_ohm, model)) {
        limits.limits = {found->limit, found->section};
    }
    return limits;
}

match::Band opening_band(const rf::PortData& data, const std::optional<match::Band>& user_band,
                         const std::optional<match::Band>& model_band) {
    if (data.f_ghz.empty()) {
        return user_band.value_or(match::Band{1, 2});
    }
    const double lo = data.f_ghz.front();
    const double hi = data.f_ghz.back();
    if (user_band && user_band->fl_ghz >= lo && user_band->fh_ghz <= hi) {
        return *user_band;
    }
    if (model_band) {
        const match::Band inside{std::max(model_band->fl_ghz, lo),
                                 std::min(model_band->fh_ghz, hi)};
        if (inside.fh_ghz > inside.fl_ghz) {
            return inside;
        }
    }
    return {lo + (hi - lo) / 3, lo + 2 * (hi - lo) / 3};
}

std::optional<BandLimits> limits_ahead(const rf::PortData& data, const MatchAhead& ahead,
                                       const std::optional<rf::LumpedModel>& model,
                                       const std::optional<match::Band>& model_band) {
    const match::Band band = opening_band(data, ahead.user_band, model_band);
    if (band_problem(data, band)) {
        return std::nullopt;
    }
    return band_limits(data, band, ahead.source_ohm, model);
}

MatchPrepared match_prepared(const rf::PortData& data, const MatchAhead& ahead,
                             const std::optional<rf::LumpedModel>& model,
                             const std::optional<match::Band>& model_band) {
    return {band_load(data, 0, HUGE_VAL), limits_ahead(data, ahead, model, model_band)};
}

MatchLimits match_limits(const MatchSubject& subject, const match::Band& band, double source_ohm) {
    MatchLimits limits;
    if (subject.data != nullptr) {
        limits = band_limits(*subject.data, band, source_ohm, subject.model).limits;
    } else if (subject.model) {
        limits.bound = match::model_bound(*subject.model, band);
        if (limits.bound) {
            limits.section = match::model_section(*subject.model, {}, source_ohm);
        }
    }
    return limits;
}

std::variant<MatchSetup, MatchFailure> match_setup(const MatchSettings& settings,
                                                   const MatchSubject& subject) {
    MatchSetup setup;
    if (settings.band) {
        setup.band = *settings.band;
    } else if (subject.model_band) {
        setup.band = *subject.model_band;
    } else if (subject.model) {
        return MatchFailure{false, "The model's band cannot be matched: give --band FL:FH"};
    } else {
        return MatchFailure{true, "veltrane-calc: --match needs --band FL:FH when no model is "
                                  "calculated"};
    }
    const match::Band& band = setup.band;
    if (subject.data != nullptr) {
        if (const auto problem = band_problem(*subject.data, band)) {
            return MatchFailure{false, *problem};
        }
        setup.load = band_load(*subject.data, band.fl_ghz, band.fh_ghz);
        setup.load_words = std::to_string(setup.load.f_ghz.size()) + " samples of the data";
        setup.from_data = true;
    } else if (subject.model) {
        std::vector<double> f;
        for (int i = 0; i < model_samples; ++i) {
            f.push_back(band.fl_ghz + (band.fh_ghz - band.fl_ghz) * i / (model_samples - 1));
        }
        setup.load = model_load(*subject.model, f);
        if (setup.load.f_ghz.size() < 3) {
            return MatchFailure{false, "The model has no impedance in the band"};
        }
        setup.load_words = std::to_string(setup.load.f_ghz.size()) + " samples of the model";
    } else {
        return MatchFailure{true, "Nothing to match: no data and no model"};
    }
    if (!settings.source.resistive()) {
        // The bound of the load's section holds for a resistive source only: none is given.
        auto source = source_samples(settings.source, setup.load.f_ghz);
        if (auto* problem = std::get_if<std::string>(&source)) {
            return MatchFailure{false, std::move(*problem)};
        }
        setup.load.source_z_ohm = std::move(std::get<std::vector<rf::Complex>>(source));
        return setup;
    }
    const MatchLimits limits = match_limits(subject, band, settings.source_ohm);
    setup.bound = limits.bound;
    setup.section = limits.section;
    return setup;
}

match::DesignInput design_input(const MatchSettings& settings, const match::Load& load) {
    match::DesignInput input;
    input.load = load;
    input.source_ohm = settings.source_ohm;
    input.losses = settings.losses;
    input.max_elements = settings.elements;
    input.constraints = settings.constraints;
    input.aim = settings.aim.value_or(settings.losses.lossless() ? match::DesignAim::Gamma
                                                                 : match::DesignAim::Gain);
    return input;
}

std::optional<std::string> match_range_problem(const match::Losses& losses, double source_ohm,
                                               const std::optional<match::Band>& band,
                                               std::string_view inductor_word,
                                               std::string_view capacitor_word) {
    const auto outside = [](double value, double lo, double hi) {
        return !(value >= lo && value <= hi);
    };
    const auto range_text = [](double lo, double hi, std::string_view unit) {
        return " is out of range (" + rf::readable(lo) + " to " + rf::readable(hi) +
               (unit.empty() ? "" : " " + std::string{unit}) + ")";
    };
    if (band && (outside(band->fl_ghz, match_min_ghz, match_max_ghz) ||
                 outside(band->fh_ghz, match_min_ghz, match_max_ghz))) {
        return "The band " + rf::shortest(band->fl_ghz) + " to " + rf::shortest(band->fh_ghz) +
               " GHz" + range_text(match_min_ghz, match_max_ghz, "GHz");
    }
    if (outside(source_ohm, match_min_ohm, match_max_ohm)) {
        return "The source resistance " + rf::shortest(source_ohm) + " ohm" +
               range_text(match_min_ohm, match_max_ohm, "ohm");
    }
    for (const auto& [name, part] : {std::pair{inductor_word, &losses.inductor},
                                     std::pair{capacitor_word, &losses.capacitor}}) {
        if (!*part) {
            continue;
        }
        if (outside((*part)->q, match_min_q, match_max_q)) {
            return std::string{name} + ": Q " + rf::shortest((*part)->q) +
                   range_text(match_min_q, match_max_q, "");
        }
        if (outside((*part)->at_ghz, match_min_ghz, match_max_ghz)) {
            return std::string{name} + ": " + rf::shortest((*part)->at_ghz) + " GHz" +
                   range_text(match_min_ghz, match_max_ghz, "GHz");
        }
    }
    if (const auto srf = losses.inductor_srf_ghz;
        srf && outside(*srf, match_min_ghz, match_max_ghz)) {
        return "The inductors' self-resonance " + rf::shortest(*srf) + " GHz" +
               range_text(match_min_ghz, match_max_ghz, "GHz");
    }
    if (const auto esl = losses.capacitor_esl_nh; esl && outside(*esl, 0, match_max_esl_nh)) {
        return "The capacitors' series inductance " + rf::shortest(*esl) + " nH" +
               range_text(0, match_max_esl_nh, "nH");
    }
    if (const auto esr = losses.capacitor_esr_ohm; esr && outside(*esr, 0, match_max_esr_ohm)) {
        return "The capacitors' series resistance " + rf::shortest(*esr) + " ohm" +
               range_text(0, match_max_esr_ohm, "ohm");
    }
    return std::nullopt;
}

MatchParts match_parts(const match::Design& design, const match::DesignInput& input,
                       std::optional<rf::ESeries> series, const std::optional<YieldSettings>& yield,
                       const match::Progress& yield_progress) {
    MatchParts parts;
    if (series) {
        parts.standard = match::standard_network(design, input, *series);
    }
    if (input.losses.parts) {
        parts.parts = match::parts_network(design, input);
        parts.nearest_parts = match::nearest_parts(design, input);
    }
    const match::Design& varied = parts.parts      ? *parts.parts
                                  : parts.standard ? *parts.standard
                                                   : design;
    if (yield && yield->tolerance_percent > 0 && std::isfinite(yield->tolerance_percent) &&
        yield->runs > 0) {
        parts.yield_runs = match::yield_runs(varied.ladder, input.load, input.source_ohm,
                                             input.losses, yield->tolerance_percent, yield->runs,
                                             yield->seed, yield->distribution, 0, yield_progress);
        if (parts.yield_runs.empty()) {
            return parts;
        }
        const double goal = yield->target_rl_db.value_or(varied.figures.worst_rl_db - 1);
        parts.yield = match::yield_figures(parts.yield_runs, yield->tolerance_percent, goal,
                                           yield->seed, yield->distribution);
    }
    return parts;
}

SimplifiedNetworks simplified(std::vector<match::Design> networks,
                              const match::DesignInput& input) {
    SimplifiedNetworks out;
    std::optional<std::size_t> kept; // the last size that gained
    for (std::size_t k = 0; k < networks.size(); ++k) {
        match::Design design = match::without_idle_parts(networks[k], input.load, input.source_ohm,
                                                         input.losses, input.constraints);
        std::optional<std::size_t> same;
        if (kept && match::no_better(design.figures, out.networks[*kept].figures)) {
            same = out.networks[*kept].size != 0 ? out.networks[*kept].size : *kept + 1;
        } else {
            kept = k;
        }
        out.networks.push_back(std::move(design));
        out.no_better_than.push_back(same);
    }
    return out;
}

MatchReport run_match(const MatchSettings& settings, const MatchSetup& setup,
                      const match::Progress& progress, const match::Progress& yield_progress) {
    MatchReport report;
    report.band = setup.band;
    report.source_ohm = settings.source_ohm;
    report.source = settings.source;
    report.bound = setup.bound;
    report.section = setup.section;
    report.from_data = setup.from_data;
    report.load_words = setup.load_words;
    report.losses = settings.losses;
    report.series = settings.e_series;
    report.constraints = settings.constraints;
    match::DesignInput input = design_input(settings, setup.load);
    report.aim = input.aim;
    input.progress = progress;
    match::DesignResult designed = match::design_networks(input);
    report.stopped = designed.stopped;
    SimplifiedNetworks networks = simplified(std::move(designed.networks), input);
    report.networks = std::move(networks.networks);
    report.no_better_than = std::move(networks.no_better_than);
    for (std::size_t k = 0; k < report.networks.size(); ++k) {
        if (!report.no_better_than[k]) {
            report.chosen = k;
        }
    }
    report.bound_beaten = beaten(report.networks, report.bound);
    if (!report.chosen) {
        return report;
    }
    MatchParts parts = match_parts(report.networks[*report.chosen], input, settings.e_series,
                                   settings.yield, yield_progress);
    report.standard = std::move(parts.standard);
    report.yield = parts.yield;
    report.parts = std::move(parts.parts);
    report.nearest_parts = std::move(parts.nearest_parts);
    return report;
}

std::string no_network_message(const MatchSettings& settings) {
    return settings.constraints.any()
               ? "No ladder of 1 to " + std::to_string(settings.elements) +
                     " elements meets the constraints (" + settings.constraints.words() + ")"
               : std::string{"No network could be designed"};
}

std::string match_table_text(const MatchReport& r) {
    std::string text;
    const std::string source =
        r.source.resistive() ? people(r.source_ohm) + " ohm" : r.source.words();
    text += "\nMatching network: source " + source + ", band " + people(r.band.fl_ghz) + " to " +
            people(r.band.fh_ghz) + " GHz, " + r.load_words;
    if (!r.losses.lossless()) {
        text += r.aim == match::DesignAim::Gain ? ", lossy parts, for the smallest gain"
                                                : ", lossy parts, for the worst |Gamma|";
    }
    if (r.constraints.any()) {
        text += ", " + r.constraints.words();
    }
    if (r.losses.parasitics()) {
        text += ", " + parasitic_words(r.losses);
    }
    text += "\n";
    text +=
        (r.source.resistive() ? bound_line(r.bound, r.section, r.bound_beaten, r.from_data, "Gamma")
                              : std::string{complex_source_bound}) +
        "\n";
    text +=
        " N  worst |G|    RL dB   gain dB    at GHz   gap dB gap RL dB  ladder from the source\n";
    for (std::size_t k = 0; k < r.networks.size(); ++k) {
        std::string label = std::to_string(r.networks[k].size != 0 ? r.networks[k].size : k + 1);
        label.insert(0, label.size() < 2 ? 2 - label.size() : 0, ' ');
        const auto same = k < r.no_better_than.size() ? r.no_better_than[k] : std::nullopt;
        text += same ? label + "  no better than " + std::to_string(*same) + "\n"
                     : network_row(label, r.networks[k], r.bound);
    }
    if (r.standard && r.series) {
        text += network_row(std::string{rf::e_series_name(*r.series)}.substr(0, 4), *r.standard,
                            r.bound);
    }
    if (r.parts && r.losses.parts) {
        const auto files = [&r](const match::Design& d) {
            std::string names;
            for (const match::Element& e : d.ladder) {
                const match::Part& part = r.losses.parts->parts[static_cast<std::size_t>(e.part)];
                names += (names.empty() ? "" : ", ") + part.file;
            }
            return names;
        };
        if (r.nearest_parts) {
            text += network_row("near", *r.nearest_parts, r.bound, 8);
        }
        text += network_row("parts", *r.parts, r.bound, 7);
        if (r.nearest_parts) {
            text += "      nearest parts: " + files(*r.nearest_parts) + "\n";
        }
        text +=
            "      measured parts from " + r.losses.parts->folder + ": " + files(*r.parts) + "\n";
    } else if (r.losses.parts && r.chosen) {
        text += "parts  none: " + r.losses.parts->folder +
                " has no part of some element's kind (within the ranges)\n";
    }
    if (r.yield) {
        const match::YieldFigures& y = *r.yield;
        text += "Yield: parts within +-" + people(y.tolerance_percent) + " % (" +
                std::string{match::distribution_name(y.distribution)} +
                (y.distribution == match::YieldDistribution::Normal ? ", 3 sigma" : "") + "), " +
                std::to_string(y.runs) + " runs, seed " + std::to_string(y.seed) + ": " +
                people(100 * y.share) + " % (95 % interval " + people(100 * y.share_low) + " to " +
                people(100 * y.share_high) + " %) reach return loss " + people(y.target_rl_db) +
                " dB; worst return loss min " + people(y.min_rl_db) + ", median " +
                people(y.median_rl_db) + ", max " + people(y.max_rl_db) + " dB\n";
    }
    return text;
}

} // namespace veltrane::views
