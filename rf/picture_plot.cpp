// The return-loss plot of the picture: its axes, the shaded band and search range, the markers
// and the curves.

#include "model/units.h"
#include "rf/label_place.h"
#include "rf/numbers.h"
#include "rf/picture_builder.h"
#include "rf/response.h"
#include "rf/sweep.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace veltrane::rf::picture_detail {

namespace {

// Return loss is drawn up to this; a perfect match would be infinite.
constexpr double max_return_loss_db = 60;

} // namespace

// Unclamped positions on the plot, for curves cut by the plot's clip: a curve leaves the
// area at the angle it has.
Point Builder::on_plot(double f_ghz, double db) const {
    const ChartFrame& f = frame();
    const double lo = f.f_lo_ghz;
    const double hi = f.f_hi_ghz;
    double t = f.log_frequency && lo > 0 && f_ghz > 0 ? std::log(f_ghz / lo) / std::log(hi / lo)
                                                      : (f_ghz - lo) / (hi - lo);
    double s = (db - f.db_lo) / (f.db_hi - f.db_lo);
    t = std::isfinite(t) ? std::clamp(t, -1e4, 1e4) : -1e4;
    s = std::isfinite(s) ? std::clamp(s, -1e4, 1e4) : 0;
    return {f.plot_area.x + f.plot_area.width * t, f.plot_area.y + f.plot_area.height * (1 - s)};
}

void Builder::return_loss_plot() {
    const Rect& a = frame().plot_area;
    text({a.x, a.y - 2.2 * t_},
         "Return loss (dB) against z0 = " + readable(input_.z0_ohm) + " \u03a9", 1.1 * t_,
         Anchor::Start, black, true);
    if (input_.f_ghz.size() < 2) {
        return;
    }
    db_scale();
    const double lo = frame().f_lo_ghz;
    const double hi = frame().f_hi_ghz;
    // The model again over a zoomed frequency axis, at the density of the whole.
    if (input_.draw_model && input_.zoom.f_ghz) {
        const std::vector<double> f =
            sweep_frequencies({lo, hi, 1001, input_.log_frequency && lo > 0});
        plot_model_f_ = curve_frequencies(input_.model, f, input_.z0_ohm, curve_step);
        plot_model_g_ = model_reflections(input_.model, plot_model_f_, input_.z0_ohm);
    } else {
        plot_model_f_ = model_f_;
        plot_model_g_ = model_g_;
    }
    add(FilledRect{a, white});
    add(BeginClip{a});
    range_shading();
    band_shading();
    add(EndClip{});
    const std::vector<double> db_ticks = nice_ticks(frame().db_lo, frame().db_hi, 6);
    const double db_step = db_ticks.size() >= 2 ? db_ticks[1] - db_ticks[0] : 1;
    for (double tick : db_ticks) {
        const double y = y_of(tick);
        add(Line{{a.x, y}, {a.x + a.width, y}, grid_pen});
        add(Line{{a.x - 4, y}, {a.x, y}, frame_pen});
        text({a.x - 7, y + 0.4 * t_}, tick_text(tick, db_step), t_, Anchor::End);
    }
    const int count = std::max(2, static_cast<int>(a.width / (7 * t_)));
    const std::vector<double> f_ticks = input_.log_frequency && lo > 0
                                            ? log_ticks(lo, hi)
                                            : nice_ticks(lo, hi, std::min(count, 10));
    const double f_step = f_ticks.size() >= 2 ? f_ticks[1] - f_ticks[0] : hi - lo;
    double last_right = -1e300;
    for (double tick : f_ticks) {
        const double x = x_of(tick);
        add(Line{{x, a.y}, {x, a.y + a.height}, grid_pen});
        add(Line{{x, a.y + a.height}, {x, a.y + a.height + 4}, frame_pen});
        const std::string label = input_.log_frequency ? readable(tick) : tick_text(tick, f_step);
        const double half = 0.31 * t_ * static_cast<double>(shown_length(label));
        if (x - half > last_right + 0.5 * t_) { // a label that would touch the last is left out
            text({x, a.y + a.height + 1.5 * t_}, label, t_, Anchor::Middle);
            last_right = x + half;
        }
    }
    text({a.x + a.width / 2, a.y + a.height + 3.1 * t_}, "Frequency (GHz)", 1.1 * t_,
         Anchor::Middle, black, true);
    add(BeginClip{a});
    std::vector<Text> marker_labels;
    const std::vector<std::string> outside = frequency_markers(marker_labels);
    for (const ExtraCurve& curve : input_.extra) {
        curve_on_plot(curve.f_ghz, curve.g, Pen{role_colour(curve.role), 2.0, curve.dash});
    }
    if (input_.standard) {
        curve_on_plot(standard_f_, standard_g_, standard_pen);
    }
    if (input_.draw_model) {
        curve_on_plot(plot_model_f_, plot_model_g_, model_pen);
    }
    if (!data_g_.empty()) {
        curve_on_plot(data_f_, data_g_, data_pen);
    }
    for (Text& label : marker_labels) { // above the curves, to be read
        add(std::move(label));
    }
    add(EndClip{});
    add(Line{{a.x, a.y}, {a.x + a.width, a.y}, frame_pen});
    add(Line{{a.x + a.width, a.y}, {a.x + a.width, a.y + a.height}, frame_pen});
    add(Line{{a.x + a.width, a.y + a.height}, {a.x, a.y + a.height}, frame_pen});
    add(Line{{a.x, a.y + a.height}, {a.x, a.y}, frame_pen});
    if (!outside.empty()) {
        std::string note = "not in view:";
        for (std::size_t i = 0; i < outside.size(); ++i) {
            note += (i == 0 ? " " : ", ") + outside[i];
        }
        text({a.x + a.width, a.y - 2.2 * t_}, note + " GHz", t_, Anchor::End, label_grey);
    }
}

// The return-loss axis: from 0 (or the lowest value, for data with |Gamma| > 1) to the
// highest value, at most 60 dB, in whole ticks; or the zoomed part of it.
void Builder::db_scale() {
    double lo = 0;
    double hi = 1;
    const auto widen = [&](const std::vector<Complex>& g) {
        for (Complex value : g) {
            const double db = return_loss_db(value);
            lo = std::min(lo, db);
            hi = std::max(hi, db);
        }
    };
    widen(model_g_);
    widen(standard_g_);
    widen(data_g_);
    for (const ExtraCurve& curve : input_.extra) {
        widen(curve.g);
    }
    if (input_.db_mark && std::isfinite(*input_.db_mark)) {
        hi = std::max(hi, *input_.db_mark);
    }
    lo = std::max(lo, -20.0);
    hi = std::min(hi, max_return_loss_db);
    const std::vector<double> ticks = nice_ticks(lo, hi, 6);
    const double step = ticks.size() >= 2 ? ticks[1] - ticks[0] : 1;
    ChartFrame& f = picture_.frame;
    f.db_all_lo = std::floor(lo / step + 1e-9) * step;
    f.db_all_hi = std::ceil(hi / step - 1e-9) * step;
    if (!(f.db_all_hi > f.db_all_lo)) {
        f.db_all_hi = f.db_all_lo + 1;
    }
    f.db_lo = f.db_all_lo;
    f.db_hi = f.db_all_hi;
    if (input_.zoom.db && (*input_.zoom.db)[1] > (*input_.zoom.db)[0]) {
        f.db_lo = (*input_.zoom.db)[0];
        f.db_hi = (*input_.zoom.db)[1];
    }
}

bool Builder::has_range() const {
    return input_.search_range.fmin_ghz.has_value() || input_.search_range.fmax_ghz.has_value();
}

// What lies outside the searched range greyed, its ends dashed.
void Builder::range_shading() {
    if (!has_range()) {
        return;
    }
    const Rect& a = frame().plot_area;
    if (const auto& lo = input_.search_range.fmin_ghz) {
        const double x = std::max(x_of(*lo), a.x);
        add(FilledRect{{a.x, a.y, x - a.x, a.height}, outside_fill});
        add(Line{{x, a.y}, {x, a.y + a.height}, range_pen});
    }
    if (const auto& hi = input_.search_range.fmax_ghz) {
        const double x = std::min(x_of(*hi), a.x + a.width);
        add(FilledRect{{x, a.y, a.x + a.width - x, a.height}, outside_fill});
        add(Line{{x, a.y}, {x, a.y + a.height}, range_pen});
    }
}

void Builder::band_shading() {
    if (input_.calculation == nullptr || !input_.draw_model) {
        return;
    }
    const double fl = mhz_to_ghz(std::fabs(input_.calculation->FL));
    const double fh = mhz_to_ghz(std::fabs(input_.calculation->FH));
    const double x0 = x_of(std::min(fl, fh));
    const double x1 = x_of(std::max(fl, fh));
    add(FilledRect{{x0, frame().plot_area.y, x1 - x0, frame().plot_area.height}, band_fill});
}

// The markers within the axis, their labels (for drawing above the curves) clear of each
// other and of the marker lines; the names and frequencies of those outside it.
std::vector<std::string> Builder::frequency_markers(std::vector<Text>& labels) {
    const Rect& a = frame().plot_area;
    const double lo = frame().f_lo_ghz;
    const double hi = frame().f_hi_ghz;
    std::vector<double> xs;
    std::vector<const Marker*> shown;
    std::vector<std::string> outside;
    const std::vector<Marker> all = markers();
    for (const Marker& marker : all) {
        if (marker.f_ghz < lo * (1 - 1e-12) || marker.f_ghz > hi * (1 + 1e-12)) {
            outside.push_back(marker.label + " " + readable(marker.f_ghz, 5));
            continue;
        }
        xs.push_back(x_of(marker.f_ghz));
        shown.push_back(&marker);
    }
    std::vector<Box> taken;
    for (double x : xs) {
        add(Line{{x, a.y}, {x, a.y + a.height}, marker_pen});
        taken.push_back({x - 1, a.y, x + 1, a.y + a.height});
    }
    const double height = 1.05 * t_;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double width = 0.62 * t_ * static_cast<double>(shown_length(shown[i]->label));
        std::vector<Box> candidates;
        for (int row = 0; row < 6; ++row) {
            const double top = a.y + 0.3 * t_ + row * height * 1.1;
            candidates.push_back({xs[i] + 3, top, xs[i] + 3 + width, top + height});
            candidates.push_back({xs[i] - 3 - width, top, xs[i] - 3, top + height});
        }
        const Box box = place_label(candidates, taken, a);
        taken.push_back(box);
        labels.push_back(
            Text{{box.x0, box.y1 - 0.25 * t_}, shown[i]->label, t_, Anchor::Start, black, true});
    }
    return outside;
}

void Builder::curve_on_plot(const std::vector<double>& f, const std::vector<Complex>& g,
                            const Pen& pen) {
    const std::size_t n = std::min(f.size(), g.size());
    const double lo = frame().f_lo_ghz;
    const double hi = frame().f_hi_ghz;
    // The samples in view with one either side.
    std::size_t first = static_cast<std::size_t>(
        std::lower_bound(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n), lo) - f.begin());
    std::size_t last = static_cast<std::size_t>(
        std::upper_bound(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n), hi) - f.begin());
    first = first > 0 ? first - 1 : 0;
    last = std::min(last + 1, n);
    Polyline line{{}, pen};
    for (std::size_t i = first; i < last; ++i) {
        add_point(line.points, on_plot(f[i], return_loss_db(g[i])), pen.width);
    }
    if (line.points.size() >= 2) {
        add(std::move(line));
    }
}

} // namespace veltrane::rf::picture_detail
