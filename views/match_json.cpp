#include "views/match_json.h"

#include "match/match_files.h"
#include "match/parts.h"
#include "rf/svg.h"

#include <cmath>
#include <utility>

namespace veltrane::views {

namespace {

using Json = nlohmann::ordered_json;

// A zero without its sign: a perfect match's return loss is -20 log10(1) = -0.
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
        if (match::is_line(e.kind)) {
            element["kind"] = e.kind == match::Kind::Line       ? "line"
                              : e.kind == match::Kind::OpenStub ? "open-stub"
                                                                : "short-stub";
            element["z0_ohm"] = number_json(e.z0_ohm);
            element["degrees"] = number_json(e.value);
            element["at_ghz"] = number_json(e.at_ghz);
            elements.push_back(std::move(element));
            continue;
        }
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
    // The gap as reflection and return loss: what a flat match at the bound would still win.
    o["gap_gamma"] = bound ? number_json(design.figures.worst_gamma - bound->gamma) : Json(nullptr);
    o["gap_rl_db"] = bound ? number_json(bound->rl_db - design.figures.worst_rl_db) : Json(nullptr);
    return o;
}

} // namespace

Json match_json(const MatchReport& report) {
    const std::optional<match::Limit>& bound = report.bound;
    Json o;
    o["band_ghz"] = {report.band.fl_ghz, report.band.fh_ghz};
    o["source_ohm"] = report.source_ohm;
    if (const MatchSource& source = report.source; !source.resistive()) {
        // The generator when it is not a resistance; source_ohm is then the exports' reference.
        Json s;
        if (source.impedance) {
            s["kind"] = "impedance";
            s["re_ohm"] = number_json(source.impedance->real());
            s["im_ohm"] = number_json(source.impedance->imag());
        } else {
            s["kind"] = "file";
            s["file"] = source.data->source;
            s["port"] = source.data->port;
        }
        o["source"] = std::move(s);
    }
    if (!report.losses.lossless()) {
        o["objective"] = report.aim == match::DesignAim::Gain ? "gain" : "gamma";
    }
    if (report.constraints.any()) {
        o["constraints"] = report.constraints.words();
    }
    if (const match::Losses& losses = report.losses; losses.parasitics()) {
        const auto q_json = [](const std::optional<match::PartQ>& q) {
            return q ? Json{{"q", q->q}, {"at_ghz", q->at_ghz}} : Json(nullptr);
        };
        const auto optional_json = [](const std::optional<double>& v) {
            return v ? number_json(*v) : Json(nullptr);
        };
        o["losses"] = {{"inductor_q", q_json(losses.inductor)},
                       {"capacitor_q", q_json(losses.capacitor)},
                       {"inductor_srf_ghz", optional_json(losses.inductor_srf_ghz)},
                       {"capacitor_esl_nh", optional_json(losses.capacitor_esl_nh)},
                       {"capacitor_esr_ohm", optional_json(losses.capacitor_esr_ohm)}};
    }
    o["bound"] = limit_json(bound);
    if (bound) {
        o["bound"]["section"] = section_json(report.section);
        o["bound"]["beaten"] = report.bound_beaten;
    }
    Json networks = Json::array();
    for (std::size_t k = 0; k < report.networks.size(); ++k) {
        Json network = network_json(report.networks[k], bound);
        if (const auto same =
                k < report.no_better_than.size() ? report.no_better_than[k] : std::nullopt) {
            network["no_better_than"] = *same;
        }
        networks.push_back(std::move(network));
    }
    o["networks"] = std::move(networks);
    o["standard"] = report.standard ? network_json(*report.standard, bound) : Json(nullptr);
    if (report.losses.parts) {
        const auto parts_json = [&](const match::Design& design) {
            Json parts = network_json(design, bound);
            for (std::size_t k = 0; k < design.ladder.size(); ++k) {
                const match::Part& part =
                    report.losses.parts->parts[static_cast<std::size_t>(design.ladder[k].part)];
                parts["elements"][k]["file"] = part.file;
                parts["elements"][k]["package"] = part.package;
            }
            return parts;
        };
        Json parts = report.parts ? parts_json(*report.parts) : Json(nullptr);
        if (report.parts) {
            parts["library"] = report.losses.parts->folder;
            // What the search started from and beats: each element's part of nearest value.
            parts["nearest"] =
                report.nearest_parts ? parts_json(*report.nearest_parts) : Json(nullptr);
        }
        o["parts"] = std::move(parts);
    }
    if (const auto& yield = report.yield) {
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
    return o;
}

std::vector<MatchFile> match_files(const MatchFilePaths& paths, const MatchReport& report,
                                   const rf::PortData* data, const match::Load& model_over) {
    std::vector<MatchFile> files;
    if (!paths.any() || !report.chosen || *report.chosen >= report.networks.size()) {
        return files;
    }
    // What is built: the measured parts, else the standard values, else the network designed.
    const match::Design& values =
        report.standard ? *report.standard : report.networks[*report.chosen];
    const match::Design& chosen = report.parts ? *report.parts : values;
    const match::Band& band = report.band;
    const double source = report.source_ohm;
    // Samples whose impedance is infinite (a reflection of exactly +1) have no matched input;
    // the network alone is written at every frequency of the data.
    const match::Load over = data != nullptr ? band_load(*data, -HUGE_VAL, HUGE_VAL) : model_over;
    if (paths.s2p) {
        files.push_back(
            {*paths.s2p, match::network_touchstone(chosen.ladder, report.losses, source,
                                                   data != nullptr ? data->f_ghz : over.f_ghz)});
    }
    if (paths.s1p) {
        files.push_back(
            {*paths.s1p, match::matched_touchstone(chosen.ladder, report.losses, source, over)});
    }
    if (paths.spice) {
        files.push_back(
            {*paths.spice, match::network_spice(chosen.ladder, report.losses, source, band)});
    }
    if (paths.plot) {
        // The band with one band's width either side, when the data reach that far in.
        const double width = band.fh_ghz - band.fl_ghz;
        match::Load near = over;
        if (data != nullptr) {
            near = band_load(*data, band.fl_ghz - width, band.fh_ghz + width);
            if (near.f_ghz.size() < 2) {
                near = over;
            }
        }
        const match::MatchPlot plot{chosen.ladder, report.losses, source, near, band, report.bound};
        files.push_back({*paths.plot, rf::svg_text(match::match_picture(plot))});
    }
    return files;
}

} // namespace veltrane::views
