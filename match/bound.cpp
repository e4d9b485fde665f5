#include "match/bound.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace veltrane::match {

namespace {

constexpr double pi = std::numbers::pi;

double omega(double f_ghz) {
    return 2 * pi * f_ghz * 1e9; // rad/s
}

// The two integral constraints: over the band, ln(1/Gamma) * span <= budget.
double from_budget(double budget, double span) {
    return std::exp(-budget / span);
}

} // namespace

Limit limit_from_gamma(double gamma) {
    return {gamma, return_loss_db(gamma), gain_db(1 - gamma * gamma)};
}

double shunt_section_bound(double r_ohm, double c_pf, double l_nh, const Band& band) {
    const double w1 = omega(band.fl_ghz);
    const double w2 = omega(band.fh_ghz);
    double gamma = 0.0;
    if (c_pf > 0) {
        gamma = from_budget(pi / (r_ohm * c_pf * 1e-12), w2 - w1);
    }
    if (l_nh > 0) {
        gamma = std::max(gamma, from_budget(pi * l_nh * 1e-9 / r_ohm, 1 / w1 - 1 / w2));
    }
    return gamma;
}

double series_section_bound(double r_ohm, double l_nh, double c_pf, const Band& band) {
    const double w1 = omega(band.fl_ghz);
    const double w2 = omega(band.fh_ghz);
    double gamma = 0.0;
    if (l_nh > 0) {
        gamma = from_budget(pi * r_ohm / (l_nh * 1e-9), w2 - w1);
    }
    if (c_pf > 0) {
        gamma = std::max(gamma, from_budget(pi * r_ohm * c_pf * 1e-12, 1 / w1 - 1 / w2));
    }
    return gamma;
}

std::optional<Limit> model_bound(const rf::LumpedModel& model, const Band& band) {
    if (!(model.rl_ohm > 0)) {
        return std::nullopt;
    }
    double gamma = 0.0;
    if (model.topology == Topology::ParallelSeries) {
        if (!(model.cp_pf > 0 && model.lp_nh > 0)) {
            return std::nullopt;
        }
        gamma = shunt_section_bound(model.rl_ohm, model.cp_pf, model.lp_nh, band);
    } else {
        if (!(model.ls_nh > 0 && model.cs_pf > 0)) {
            return std::nullopt;
        }
        gamma = series_section_bound(model.rl_ohm, model.ls_nh, model.cs_pf, band);
    }
    if (!std::isfinite(gamma)) {
        return std::nullopt;
    }
    return limit_from_gamma(gamma);
}

std::string_view section_name(SectionKind kind) {
    switch (kind) {
    case SectionKind::SeriesRL:
        return "series-RL";
    case SectionKind::ShuntRC:
        return "shunt-RC";
    case SectionKind::SeriesRLC:
        return "series-RLC";
    case SectionKind::ParallelRLC:
        return "parallel-RLC";
    case SectionKind::Model:
        break;
    }
    return "model";
}

namespace {

bool series_kind(SectionKind kind) {
    return kind == SectionKind::SeriesRL || kind == SectionKind::SeriesRLC;
}

// The section's impedance at `f_ghz` (ohm); for Model the section as it is built: series kinds
// have l_nh and c_pf in series with r_ohm, shunt ones across it.
Complex section_impedance(const Section& s, bool series, double f_ghz) {
    const double w = 2 * pi * f_ghz; // Grad/s: X = w L[nH], B = w C[pF] / 1000
    if (series) {
        double x = w * s.l_nh;
        if (s.c_pf > 0) {
            x -= 1000 / (w * s.c_pf);
        }
        return {s.r_ohm, x};
    }
    double b = w * s.c_pf / 1000;
    if (s.l_nh > 0) {
        b -= 1 / (w * s.l_nh);
    }
    return 1.0 / Complex{1 / s.r_ohm, b};
}

double fit_error(const Section& s, bool series, const Load& load, double source_ohm) {
    double worst = 0;
    for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
        const Complex a = reflection(section_impedance(s, series, load.f_ghz[i]), source_ohm);
        const Complex b = reflection(load.z_ohm[i], source_ohm);
        worst = std::max(worst, std::abs(a - b));
    }
    return std::isfinite(worst) ? worst : HUGE_VAL;
}

} // namespace

std::optional<Limit> section_limit(const Section& s, const Band& band) {
    const bool needs_l = s.kind != SectionKind::ShuntRC;
    const bool needs_c = s.kind != SectionKind::SeriesRL;
    if (!(s.r_ohm > 0) || (needs_l && !(s.l_nh > 0)) || (needs_c && !(s.c_pf > 0))) {
        return std::nullopt;
    }
    const double gamma = s.kind == SectionKind::SeriesRL || s.kind == SectionKind::SeriesRLC
                             ? series_section_bound(s.r_ohm, s.l_nh, s.c_pf, band)
                             : shunt_section_bound(s.r_ohm, s.c_pf, s.l_nh, band);
    if (!std::isfinite(gamma)) {
        return std::nullopt;
    }
    return limit_from_gamma(gamma);
}

std::optional<Section> fit_section(SectionKind kind, const Load& load, double source_ohm) {
    const std::size_t n = std::min(load.f_ghz.size(), load.z_ohm.size());
    if (n < 2 || kind == SectionKind::Model) {
        return std::nullopt;
    }
    const bool series = series_kind(kind);
    const bool both = kind == SectionKind::SeriesRLC || kind == SectionKind::ParallelRLC;
    // Real part: its mean. Imaginary part: a w + b / w by least squares (b = 0 for one element).
    double re = 0, s_ww = 0, s_1 = 0, s_ww_inv = 0, s_yw = 0, s_yw_inv = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 2 * pi * load.f_ghz[i];
        const Complex v = series ? load.z_ohm[i] : 1.0 / load.z_ohm[i];
        re += v.real();
        s_ww += w * w;
        s_1 += 1;
        s_ww_inv += 1 / (w * w);
        s_yw += v.imag() * w;
        s_yw_inv += v.imag() / w;
    }
    re /= static_cast<double>(n);
    double a = s_yw / s_ww;
    double b = 0;
    if (both) {
        const double det = s_ww * s_ww_inv - s_1 * s_1;
        if (!(std::fabs(det) > 0)) {
            return std::nullopt;
        }
        a = (s_yw * s_ww_inv - s_yw_inv * s_1) / det;
        b = (s_ww * s_yw_inv - s_1 * s_yw) / det;
    }
    Section section{kind, 0, 0, 0, 0};
    if (series) {
        section.r_ohm = re;
        section.l_nh = a;                    // X = w L
        section.c_pf = both ? -1000 / b : 0; // X = -1000 / (w C)
    } else {
        section.r_ohm = 1 / re;
        section.c_pf = 1000 * a;          // B = w C / 1000
        section.l_nh = both ? -1 / b : 0; // B = -1 / (w L)
    }
    if (!std::isfinite(section.r_ohm) || !std::isfinite(section.l_nh) ||
        !std::isfinite(section.c_pf)) {
        return std::nullopt;
    }
    section.fit_max = fit_error(section, series, load, source_ohm);
    return section;
}

std::optional<Section> model_section(const rf::LumpedModel& model, const Load& load,
                                     double source_ohm) {
    if (!(model.rl_ohm > 0)) {
        return std::nullopt;
    }
    // Parallel/Series: RL || Cp || Lp behind a series pair the network absorbs; its fit is that
    // of the whole model. Series/Parallel: RL + Ls + Cs.
    const bool parallel = model.topology == Topology::ParallelSeries;
    Section section{SectionKind::Model, model.rl_ohm, parallel ? model.lp_nh : model.ls_nh,
                    parallel ? model.cp_pf : model.cs_pf, 0};
    if (!(section.l_nh > 0 && section.c_pf > 0)) {
        return std::nullopt;
    }
    double worst = 0;
    for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
        const Complex a = reflection(rf::impedance(model, load.f_ghz[i]), source_ohm);
        const Complex b = reflection(load.z_ohm[i], source_ohm);
        worst = std::max(worst, std::abs(a - b));
    }
    section.fit_max = std::isfinite(worst) ? worst : HUGE_VAL;
    return section;
}

std::optional<SectionBound> data_bound(const Load& load, const Band& band, double source_ohm,
                                       const std::optional<rf::LumpedModel>& model) {
    std::vector<Section> sections;
    for (SectionKind kind : {SectionKind::SeriesRL, SectionKind::ShuntRC, SectionKind::SeriesRLC,
                             SectionKind::ParallelRLC}) {
        if (auto s = fit_section(kind, load, source_ohm)) {
            sections.push_back(*s);
        }
    }
    if (model) {
        if (auto s = model_section(*model, load, source_ohm)) {
            sections.push_back(*s);
        }
    }
    std::optional<SectionBound> best;
    for (const Section& s : sections) {
        if (!(s.fit_max <= section_fit_tolerance)) {
            continue;
        }
        std::optional<Limit> limit;
        if (s.kind == SectionKind::Model) {
            limit = model_bound(*model, band);
        } else {
            limit = section_limit(s, band);
        }
        // A simpler section first: a more complex one replaces it only when clearly tighter.
        if (limit && (!best || limit->gamma > best->limit.gamma * (1 + 1e-9))) {
            best = SectionBound{s, *limit};
        }
    }
    return best;
}

} // namespace veltrane::match
