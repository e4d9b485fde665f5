#include "fit/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane::fit {

namespace {

double distance(rf::Point a, rf::Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

bool inside(const rf::Rect& r, rf::Point p) {
    return p.x >= r.x && p.x <= r.x + r.width && p.y >= r.y && p.y <= r.y + r.height;
}

constexpr double handle_radius = 5;

} // namespace

rf::Point smith_point(const rf::ChartFrame& frame, rf::Complex g) {
    return {frame.smith_centre.x + frame.smith_radius * g.real(),
            frame.smith_centre.y - frame.smith_radius * g.imag()};
}

std::optional<rf::Complex> smith_reflection(const rf::ChartFrame& frame, rf::Point p) {
    if (!(frame.smith_radius > 0)) {
        return std::nullopt;
    }
    const rf::Complex g{(p.x - frame.smith_centre.x) / frame.smith_radius,
                        (frame.smith_centre.y - p.y) / frame.smith_radius};
    if (std::abs(g) > 1) {
        return std::nullopt;
    }
    return g;
}

double plot_x(const rf::ChartFrame& frame, double f_ghz) {
    const double lo = frame.f_lo_ghz;
    const double hi = frame.f_hi_ghz;
    double t =
        frame.log_frequency ? std::log(f_ghz / lo) / std::log(hi / lo) : (f_ghz - lo) / (hi - lo);
    if (!std::isfinite(t)) {
        t = 0;
    }
    return frame.plot_area.x + frame.plot_area.width * std::clamp(t, -0.1, 1.1);
}

double plot_y(const rf::ChartFrame& frame, double return_loss_db) {
    double t = (return_loss_db - frame.db_lo) / (frame.db_hi - frame.db_lo);
    if (!std::isfinite(t)) {
        t = 0;
    }
    return frame.plot_area.y + frame.plot_area.height * (1 - std::clamp(t, -0.1, 1.1));
}

std::optional<double> plot_frequency(const rf::ChartFrame& frame, rf::Point p) {
    const double lo = frame.f_lo_ghz;
    const double hi = frame.f_hi_ghz;
    if (!inside(frame.plot_area, p) || !(hi > lo) || !(frame.plot_area.width > 0)) {
        return std::nullopt;
    }
    const double t = (p.x - frame.plot_area.x) / frame.plot_area.width;
    const double f = frame.log_frequency && lo > 0 ? lo * std::pow(hi / lo, t) : lo + t * (hi - lo);
    return std::clamp(f, lo, hi);
}

double return_loss_db(rf::Complex g) {
    return -20 * std::log10(std::max(std::abs(g), 1e-6));
}

std::optional<double> frequency_at(const rf::ChartFrame& frame, const Curve& curve, rf::Point p,
                                   double reach, double snap) {
    const std::size_t n = std::min(curve.f_ghz.size(), curve.g.size());
    if (n == 0) {
        return std::nullopt;
    }
    if (const auto f = plot_frequency(frame, p)) {
        // Nearest sample by its x on the plot.
        const auto above = std::lower_bound(curve.f_ghz.begin(), curve.f_ghz.begin() + n, *f);
        const auto i = static_cast<std::size_t>(above - curve.f_ghz.begin());
        for (std::size_t k : {i, i - 1}) {
            if (k < n && std::fabs(plot_x(frame, curve.f_ghz[k]) - p.x) <= snap) {
                return curve.f_ghz[k];
            }
        }
        return f;
    }
    // The Smith chart: the nearest point on the polyline through the samples.
    double best = std::numeric_limits<double>::infinity();
    double best_f = 0;
    rf::Point previous = smith_point(frame, curve.g[0]);
    if (n == 1 || distance(previous, p) < best) {
        best = distance(previous, p);
        best_f = curve.f_ghz[0];
    }
    for (std::size_t i = 1; i < n; ++i) {
        const rf::Point a = previous;
        const rf::Point b = smith_point(frame, curve.g[i]);
        previous = b;
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const rf::Point on{a.x + t * dx, a.y + t * dy};
        const double d = distance(on, p);
        if (d < best) {
            best = d;
            if (distance(on, a) <= snap) {
                best_f = curve.f_ghz[i - 1];
            } else if (distance(on, b) <= snap) {
                best_f = curve.f_ghz[i];
            } else {
                best_f = curve.f_ghz[i - 1] + t * (curve.f_ghz[i] - curve.f_ghz[i - 1]);
            }
        }
    }
    if (best > reach) {
        return std::nullopt;
    }
    return best_f;
}

void add_handles(rf::Picture& picture, const rf::ChartFrame& frame, std::span<const Handle> handles,
                 bool label_on_chart) {
    const rf::Colour white{255, 255, 255};
    for (const Handle& h : handles) {
        const rf::Point on_chart = smith_point(frame, h.g);
        const double x = plot_x(frame, h.f_ghz);
        const rf::Point on_plot{x, plot_y(frame, return_loss_db(h.g))};
        const rf::Pen line{h.colour, 1.2, rf::Dash::Solid};
        picture.operations.emplace_back(rf::BeginClip{frame.plot_area});
        picture.operations.emplace_back(rf::Line{
            {x, frame.plot_area.y}, {x, frame.plot_area.y + frame.plot_area.height}, line});
        picture.operations.emplace_back(rf::EndClip{});
        for (const rf::Point at : {on_chart, on_plot}) {
            picture.operations.emplace_back(
                rf::Circle{at, handle_radius, rf::Pen{white, 1.2, rf::Dash::Solid}, h.colour});
        }
        if (label_on_chart) {
            picture.operations.emplace_back(rf::Text{
                {on_chart.x + 8, on_chart.y - 7}, h.label, 11, rf::Anchor::Start, h.colour, true});
        }
        const rf::Point label_at{x, frame.plot_area.y + frame.plot_area.height - 6};
        picture.operations.emplace_back(
            rf::Text{label_at, h.label, 11, rf::Anchor::Middle, h.colour, true});
    }
}

std::optional<std::size_t> handle_at(const rf::ChartFrame& frame, std::span<const Handle> handles,
                                     rf::Point p, double reach) {
    std::optional<std::size_t> found;
    double best = reach;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        const rf::Point on_chart = smith_point(frame, handles[i].g);
        double d = distance(on_chart, p) - handle_radius;
        if (inside(frame.plot_area, p)) {
            d = std::min(d, std::fabs(plot_x(frame, handles[i].f_ghz) - p.x));
        }
        if (d <= best) {
            best = d;
            found = i;
        }
    }
    return found;
}

} // namespace veltrane::fit
