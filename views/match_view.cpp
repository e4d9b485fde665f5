#include "views/match_view.h"

#include "match/parts.h"
#include "model/units.h"

#include "match/match_files.h"
#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace veltrane::views {

namespace {

constexpr rf::Colour black{0, 0, 0};
constexpr rf::Colour match_green{0, 120, 60};
constexpr rf::Colour bound_orange{200, 90, 0};
constexpr rf::Colour bar_grey{150, 150, 150};

// A number for people with a real minus sign.
std::string people(double value, int digits = 4) {
    std::string text = rf::readable(value + 0.0, digits);
    if (!text.empty() && text.front() == '-') {
        text.replace(0, 1, "\u2212");
    }
    return text;
}

// Points closer than a unit (about a pixel) to the last one kept add nothing to a curve.
void add_point(std::vector<rf::Point>& points, rf::Point p) {
    if (!points.empty()) {
        const double dx = p.x - points.back().x;
        const double dy = p.y - points.back().y;
        if (dx * dx + dy * dy < 1.0) {
            return;
        }
    }
    points.push_back(p);
}

bool finite(rf::Complex z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

} // namespace

std::optional<match::Band> model_band(const Result& state) {
    const double a = mhz_to_ghz(std::fabs(state.FL));
    const double b = mhz_to_ghz(std::fabs(state.FH));
    const match::Band band{std::min(a, b), std::max(a, b)};
    if (!(band.fl_ghz > 0 && band.fh_ghz > band.fl_ghz && std::isfinite(band.fh_ghz))) {
        return std::nullopt;
    }
    return band;
}

ChosenModel chosen_model(const Evaluation& evaluation, const Choice& choice) {
    for (const ChoiceRow& row : evaluation.rows) {
        if (row.choice == choice) {
            if (const auto* state = std::get_if<Result>(&row.outcome)) {
                return {rf::LumpedModel::from(*state, choice.topology), model_band(*state)};
            }
            break;
        }
    }
    return {};
}

match::Load band_load(const rf::PortData& data, double lo_ghz, double hi_ghz) {
    match::Load load;
    const std::size_t n = std::min(data.f_ghz.size(), data.s.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double f = data.f_ghz[i];
        if (!(f >= lo_ghz && f <= hi_ghz) || !(f > 0)) {
            continue;
        }
        const rf::Complex z = rf::impedance_from_reflection(data.s[i], data.reference_ohm);
        if (finite(z)) {
            load.f_ghz.push_back(f);
            load.z_ohm.push_back(z);
        }
    }
    return load;
}

std::optional<std::string> band_problem(const rf::PortData& data, const match::Band& band) {
    const auto words = [](double value) {
        return std::isfinite(value) ? rf::readable(value) : std::string{"-"};
    };
    if (!(band.fh_ghz > band.fl_ghz)) {
        return std::string{"The band's FL must lie below FH"};
    }
    if (data.f_ghz.empty() || !(band.fl_ghz >= data.f_ghz.front()) ||
        !(band.fh_ghz <= data.f_ghz.back())) {
        return "The band " + words(band.fl_ghz) + " to " + words(band.fh_ghz) +
               " GHz lies outside the data (" +
               words(data.f_ghz.empty() ? 0.0 : data.f_ghz.front()) + " to " +
               words(data.f_ghz.empty() ? 0.0 : data.f_ghz.back()) + " GHz)";
    }
    const std::size_t n = band_load(data, band.fl_ghz, band.fh_ghz).f_ghz.size();
    if (n < 3) {
        return "Only " + std::to_string(n) + " samples of the data lie in the band " +
               words(band.fl_ghz) + " to " + words(band.fh_ghz) + " GHz: at least 3 are needed";
    }
    return std::nullopt;
}

std::optional<BandEdge> band_edge_at(const rf::ChartFrame& frame, const match::Band& band,
                                     rf::Point p, double reach) {
    const rf::Rect& a = frame.plot_area;
    if (p.y < a.y - reach || p.y > a.y + a.height + reach) {
        return std::nullopt;
    }
    const double low = std::fabs(p.x - rf::plot_x(frame, band.fl_ghz));
    const double high = std::fabs(p.x - rf::plot_x(frame, band.fh_ghz));
    if (std::min(low, high) > reach) {
        return std::nullopt;
    }
    // Edges drawn on top of each other: the high one moves right, the low one left.
    if (low == high) {
        return p.x > rf::plot_x(frame, band.fh_ghz) ? BandEdge::High : BandEdge::Low;
    }
    return low < high ? BandEdge::Low : BandEdge::High;
}

match::Band moved_band(const match::Band& band, BandEdge edge, double f_ghz, double lo_ghz,
                       double hi_ghz, double min_width_ghz) {
    match::Band out = band;
    if (!std::isfinite(f_ghz)) {
        return out;
    }
    if (edge == BandEdge::Low) {
        out.fl_ghz = std::max(lo_ghz, std::min(f_ghz, band.fh_ghz - min_width_ghz));
    } else {
        out.fh_ghz = std::min(hi_ghz, std::max(f_ghz, band.fl_ghz + min_width_ghz));
    }
    return out;
}

std::optional<double> gap_db(const match::Design& design,
                             const std::optional<match::Limit>& bound) {
    if (!bound) {
        return std::nullopt;
    }
    return bound->gain_db - design.figures.gain_db;
}

SizeRow size_row(const match::Design& design, const std::optional<match::Limit>& bound) {
    return {design.ladder.size(), design.figures, gap_db(design, bound),
            match::ladder_summary(design.ladder)};
}

std::string size_row_text(const SizeRow& row) {
    std::string text =
        std::to_string(row.elements) + "   |\u0393| " + people(row.figures.worst_gamma) + "   RL " +
        people(row.figures.worst_rl_db) + " dB   gain " + people(row.figures.gain_db) + " dB";
    if (row.gap_db) {
        text += "   gap " + people(*row.gap_db, 3) + " dB";
    }
    return text;
}

Histogram histogram(const std::vector<double>& worst_rl_db, double target_rl_db, int bins) {
    Histogram h;
    h.target_rl_db = target_rl_db;
    h.runs = static_cast<long>(worst_rl_db.size());
    h.counts.assign(static_cast<std::size_t>(std::max(bins, 1)), 0);
    if (worst_rl_db.empty()) {
        return h;
    }
    const auto [lo, hi] = std::minmax_element(worst_rl_db.begin(), worst_rl_db.end());
    h.lo_db = *lo;
    h.hi_db = *hi > *lo ? *hi : *lo + 1;
    long meeting = 0;
    const double n = static_cast<double>(h.counts.size());
    for (double v : worst_rl_db) {
        const double t = (v - h.lo_db) / (h.hi_db - h.lo_db) * n;
        const auto bin = static_cast<std::size_t>(std::clamp(t, 0.0, n - 1));
        ++h.counts[bin];
        if (v >= target_rl_db) {
            ++meeting;
        }
    }
    h.share = static_cast<double>(meeting) / static_cast<double>(h.runs);
    return h;
}

rf::Picture histogram_picture(const Histogram& h, double width, double height) {
    rf::Picture picture;
    picture.width = width;
    picture.height = height;
    auto& ops = picture.operations;
    const rf::Rect area{10, 22, width - 20, height - 44};
    ops.emplace_back(rf::FilledRect{{0, 0, width, height}, {255, 255, 255}});
    if (h.runs == 0) {
        ops.emplace_back(rf::Text{
            {width / 2, height / 2}, "No yield yet", 11, rf::Anchor::Middle, black, false});
        return picture;
    }
    const long most = std::max(1L, *std::max_element(h.counts.begin(), h.counts.end()));
    const double bar = area.width / static_cast<double>(h.counts.size());
    const auto x_of = [&](double db) {
        return area.x + area.width * (db - h.lo_db) / (h.hi_db - h.lo_db);
    };
    for (std::size_t k = 0; k < h.counts.size(); ++k) {
        const double tall =
            area.height * static_cast<double>(h.counts[k]) / static_cast<double>(most);
        const double left = area.x + bar * static_cast<double>(k);
        const bool meets = h.lo_db + (h.hi_db - h.lo_db) * (static_cast<double>(k) + 0.5) /
                                         static_cast<double>(h.counts.size()) >=
                           h.target_rl_db;
        ops.emplace_back(rf::FilledRect{{left + 0.5, area.y + area.height - tall, bar - 1, tall},
                                        meets ? match_green : bar_grey});
    }
    ops.emplace_back(rf::Line{{area.x, area.y + area.height},
                              {area.x + area.width, area.y + area.height},
                              {black, 1, rf::Dash::Solid}});
    const double target_x = std::clamp(x_of(h.target_rl_db), area.x, area.x + area.width);
    ops.emplace_back(rf::Line{{target_x, area.y - 4},
                              {target_x, area.y + area.height},
                              {bound_orange, 1.6, rf::Dash::Dashed}});
    const double below = area.y + area.height + 15;
    ops.emplace_back(
        rf::Text{{area.x, below}, people(h.lo_db, 3) + " dB", 10, rf::Anchor::Start, black, false});
    ops.emplace_back(rf::Text{{area.x + area.width, below},
                              people(h.hi_db, 3) + " dB",
                              10,
                              rf::Anchor::End,
                              black,
                              false});
    ops.emplace_back(rf::Text{{width / 2, 14},
                              people(100 * h.share, 3) + " % of " + std::to_string(h.runs) +
                                  " runs reach " + people(h.target_rl_db, 3) + " dB",
                              11,
                              rf::Anchor::Middle,
                              black,
                              true});
    return picture;
}

void add_match_overlay(rf::Picture& picture, const MatchOverlay& overlay) {
    const rf::ChartFrame& frame = picture.frame;
    const rf::Rect& a = frame.plot_area;
    auto& ops = picture.operations;
    const double t = picture.text_size;
    const double x_lo = rf::plot_x(frame, overlay.band.fl_ghz);
    const double x_hi = rf::plot_x(frame, overlay.band.fh_ghz);
    // The shading goes under the plot's curves: at the end of the first clip of the plot, over
    // the model's band the picture shades there.
    const rf::Operation shade = rf::FilledRect{{x_lo, a.y, x_hi - x_lo, a.height}, match_band_fill};
    const auto first_clip = std::find_if(ops.begin(), ops.end(), [&](const rf::Operation& op) {
        const auto* clip = std::get_if<rf::BeginClip>(&op);
        return clip != nullptr && clip->rect.x == a.x && clip->rect.y == a.y &&
               clip->rect.width == a.width && clip->rect.height == a.height;
    });
    const auto clip_end = std::find_if(first_clip, ops.end(), [](const rf::Operation& op) {
        return std::holds_alternative<rf::EndClip>(op);
    });
    if (clip_end != ops.end()) {
        ops.insert(clip_end, shade);
    } else {
        ops.push_back(rf::BeginClip{a});
        ops.push_back(shade);
        ops.push_back(rf::EndClip{});
    }

    const rf::Pen pen{match_green, 1.6, rf::Dash::Solid};
    rf::Polyline on_chart{{}, pen};
    rf::Polyline on_plot{{}, pen};
    const std::size_t n = std::min(overlay.f_ghz.size(), overlay.matched.size());
    for (std::size_t i = 0; i < n; ++i) {
        const rf::Complex g = overlay.matched[i];
        if (!finite(g)) {
            continue;
        }
        add_point(on_chart.points, rf::smith_point(frame, g));
        add_point(on_plot.points,
                  {rf::plot_x(frame, overlay.f_ghz[i]), rf::plot_y(frame, rf::return_loss_db(g))});
    }
    if (on_chart.points.size() >= 2) {
        // A zoomed chart is cut to its square.
        const rf::Rect& square = frame.smith_area;
        const bool cut = square.width > 0 && square.height > 0;
        if (cut) {
            ops.emplace_back(rf::BeginClip{square});
        }
        ops.emplace_back(std::move(on_chart));
        if (cut) {
            ops.emplace_back(rf::EndClip{});
        }
    }
    ops.emplace_back(rf::BeginClip{a});
    if (on_plot.points.size() >= 2) {
        ops.emplace_back(std::move(on_plot));
    }
    if (overlay.bound) {
        const double y = rf::plot_y(frame, overlay.bound->rl_db);
        ops.emplace_back(rf::Line{{x_lo, y}, {x_hi, y}, {bound_orange, 1.6, rf::Dash::Dotted}});
        ops.emplace_back(rf::Text{{(x_lo + x_hi) / 2, y - 0.4 * t},
                                  "bound " + people(overlay.bound->rl_db, 3) + " dB",
                                  t,
                                  rf::Anchor::Middle,
                                  bound_orange,
                                  true});
    }
    ops.emplace_back(rf::EndClip{});
    if (overlay.handles) {
        for (const auto& [x, label] : {std::pair{x_lo, "FL"}, std::pair{x_hi, "FH"}}) {
            ops.emplace_back(
                rf::Line{{x, a.y}, {x, a.y + a.height}, {match_green, 1.4, rf::Dash::Solid}});
            ops.emplace_back(rf::Circle{{x, a.y + a.height - 0.7 * t},
                                        0.5 * t,
                                        {match_green, 1.2, rf::Dash::Solid},
                                        match_green});
            ops.emplace_back(rf::Text{
                {x, a.y + a.height - 1.5 * t}, label, t, rf::Anchor::Middle, match_green, true});
        }
    }
    if (overlay.path) {
        match::add_element_path(picture, *overlay.path, overlay.z0_ohm);
    }
}

std::vector<rf::Complex> matched_curve(const match::Ladder& ladder, const match::Losses& losses,
                                       const match::Load& load, double z0_ohm) {
    std::vector<rf::Complex> out;
    out.reserve(load.f_ghz.size());
    for (std::size_t i = 0; i < load.f_ghz.size() && i < load.z_ohm.size(); ++i) {
        const match::Abcd m = match::chain_matrix(ladder, load.f_ghz[i], losses);
        const rf::Complex g = match::reflection(match::input_impedance(m, load.z_ohm[i]), z0_ohm);
        out.push_back(finite(g) ? g : rf::Complex{1, 0});
    }
    return out;
}

std::string bound_line(const std::optional<match::Limit>& bound,
                       const std::optional<match::Section>& section, bool beaten, bool from_data,
                       std::string_view gamma) {
    const auto plain = [](double value) {
        return std::isfinite(value) ? rf::readable(value) : std::string{"-"};
    };
    if (!bound && !from_data) {
        return "Bode-Fano bound: none (no model with a positive section)";
    }
    if (!bound) {
        return "Bode-Fano bound: none (no model with a positive section, no section fits the data "
               "within |" +
               std::string{gamma} + "| " + plain(match::section_fit_tolerance) + ")";
    }
    std::string text = "Bode-Fano bound of ";
    if (!section || section->kind == match::SectionKind::Model) {
        text += "the model";
    } else {
        text += "a " + std::string{match::section_name(section->kind)} +
                " section fitted to the data (R " + plain(section->r_ohm) + " ohm";
        if (section->l_nh > 0) {
            text += ", L " + plain(section->l_nh) + " nH";
        }
        if (section->c_pf > 0) {
            text += ", C " + plain(section->c_pf) + " pF";
        }
        text += "; within |" + std::string{gamma} + "| " + plain(section->fit_max) + ")";
    }
    text += ": |" + std::string{gamma} + "| >= " + plain(bound->gamma) +
            ", return loss <= " + plain(bound->rl_db) + " dB, gain <= " + plain(bound->gain_db) +
            " dB";
    if (beaten) {
        text += " (a network beats it: not a limit for this data)";
    }
    return text;
}

bool beaten(const std::vector<match::Design>& networks, const std::optional<match::Limit>& bound) {
    return bound && std::any_of(networks.begin(), networks.end(), [&](const match::Design& d) {
               return d.figures.worst_gamma < bound->gamma * (1 - 1e-9);
           });
}

std::string match_text(const MatchReport& r) {
    const std::string source =
        r.source.resistive() ? people(r.source_ohm, 6) + " \u03a9" : r.source.words();
    std::string text = "Matching network: source " + source + ", band " + people(r.band.fl_ghz, 6) +
                       " to " + people(r.band.fh_ghz, 6) + " GHz\n";
    if (r.constraints.any()) {
        text += "Constraints: " + r.constraints.words() + "\n";
    }
    text += (r.source.resistive() ? bound_line(r.bound, r.section, r.bound_beaten, true, "\u0393")
                                  : std::string{complex_source_bound}) +
            "\n";
    for (std::size_t k = 0; k < r.networks.size(); ++k) {
        SizeRow row = size_row(r.networks[k], r.bound);
        row.elements = r.networks[k].size != 0 ? r.networks[k].size : k + 1;
        const auto same = k < r.no_better_than.size() ? r.no_better_than[k] : std::nullopt;
        text += (r.chosen == k ? "* " : "  ") +
                (same ? std::to_string(row.elements) + ": no better than " + std::to_string(*same)
                      : size_row_text(row) + "   " + row.ladder) +
                "\n";
    }
    if (r.standard && r.series) {
        const SizeRow row = size_row(*r.standard, r.bound);
        text += std::string{rf::e_series_name(*r.series)} + ": " + size_row_text(row) + "   " +
                row.ladder + "\n";
    }
    if (r.parts && r.losses.parts) {
        const SizeRow row = size_row(*r.parts, r.bound);
        std::string files;
        for (const match::Element& e : r.parts->ladder) {
            files += (files.empty() ? "" : ", ") +
                     r.losses.parts->parts[static_cast<std::size_t>(e.part)].file;
        }
        text += "Parts: " + size_row_text(row) + "   " + row.ladder + "\n  measured parts from " +
                r.losses.parts->folder + ": " + files + "\n";
    } else if (r.losses.parts && r.chosen) {
        text += "Parts: none, " + r.losses.parts->folder +
                " has no part of some element's kind (within the ranges)\n";
    }
    if (r.yield) {
        text += "Yield: parts within \u00b1" + people(r.yield->tolerance_percent) + " %, " +
                std::to_string(r.yield->runs) + " runs: " + people(100 * r.yield->share) +
                " % reach " + people(r.yield->target_rl_db) + " dB; worst return loss min " +
                people(r.yield->min_rl_db) + ", median " + people(r.yield->median_rl_db) +
                ", max " + people(r.yield->max_rl_db) + " dB; 95 % interval of the share " +
                people(100 * r.yield->share_low) + " to " + people(100 * r.yield->share_high) +
                " %, " + std::string{match::distribution_name(r.yield->distribution)} + ", seed " +
                std::to_string(r.yield->seed) + "\n";
    }
    return text;
}

} // namespace veltrane::views
