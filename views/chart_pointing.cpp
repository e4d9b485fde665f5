#include "views/chart_pointing.h"

#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane::views {

namespace {

double distance(rf::Point a, rf::Point b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

constexpr double handle_radius = 5;

} // namespace

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
                 bool label_on_chart, double text_size) {
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
        // Each disc within its chart: a zoomed chart hides what lies outside its view.
        const bool smith_bounded = frame.smith_area.width > 0;
        if (smith_bounded) {
            picture.operations.emplace_back(rf::BeginClip{frame.smith_area});
        }
        picture.operations.emplace_back(
            rf::Circle{on_chart, handle_radius, rf::Pen{white, 1.2, rf::Dash::Solid}, h.colour});
        if (smith_bounded) {
            picture.operations.emplace_back(rf::EndClip{});
        }
        picture.operations.emplace_back(rf::BeginClip{frame.plot_area});
        picture.operations.emplace_back(
            rf::Circle{on_plot, handle_radius, rf::Pen{white, 1.2, rf::Dash::Solid}, h.colour});
        picture.operations.emplace_back(rf::EndClip{});
        if (label_on_chart && (!smith_bounded || rf::inside(frame.smith_area, on_chart))) {
            picture.operations.emplace_back(rf::Text{{on_chart.x + 8, on_chart.y - 7},
                                                     h.label,
                                                     text_size,
                                                     rf::Anchor::Start,
                                                     h.colour,
                                                     true});
        }
        // With a model the picture names F1 and F2 on the plot already, above the curves.
        if (label_on_chart && x >= frame.plot_area.x &&
            x <= frame.plot_area.x + frame.plot_area.width) {
            const rf::Point label_at{x, frame.plot_area.y + frame.plot_area.height - 6};
            picture.operations.emplace_back(
                rf::Text{label_at, h.label, text_size, rf::Anchor::Middle, h.colour, true});
        }
    }
}

std::optional<std::size_t> handle_at(const rf::ChartFrame& frame, std::span<const Handle> handles,
                                     rf::Point p, double reach) {
    std::optional<std::size_t> found;
    double best = reach;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        const rf::Point on_chart = smith_point(frame, handles[i].g);
        double d = distance(on_chart, p) - handle_radius;
        if (rf::inside(frame.plot_area, p)) {
            d = std::min(d, std::fabs(plot_x(frame, handles[i].f_ghz) - p.x));
        }
        if (d <= best) {
            best = d;
            found = i;
        }
    }
    return found;
}

std::optional<double> vswr(rf::Complex g) {
    const double m = std::abs(g);
    if (!(m < 1)) {
        return std::nullopt;
    }
    return (1 + m) / (1 - m);
}

std::string reflection_text(rf::Complex g, double z0_ohm) {
    std::string out;
    const rf::Complex z = rf::impedance_from_reflection(g, z0_ohm);
    if (std::isfinite(z.real()) && std::isfinite(z.imag())) {
        out += rf::readable(z.real(), 5) + (z.imag() < 0 ? " \u2212 j" : " + j") +
               rf::readable(std::fabs(z.imag()), 5) + " \u03a9";
    } else {
        out += "open";
    }
    out += "   |\u0393| " + rf::readable(std::abs(g), 4) + "   RL " +
           rf::readable(rf::return_loss_db(g), 4) + " dB   VSWR ";
    const auto s = vswr(g);
    out += s && *s < 1e4 ? rf::readable(*s, 4) : std::string("over 10000");
    return out;
}

std::string reading_text(const Reading& reading, double z0_ohm) {
    std::string out = "f " + rf::readable(reading.f_ghz, 7) + " GHz   data  " +
                      reflection_text(reading.data, z0_ohm);
    if (reading.model) {
        out += "\nmodel  " + reflection_text(*reading.model, z0_ohm) + "   |\u0394\u0393| " +
               rf::readable(std::abs(*reading.model - reading.data), 4);
    }
    return out;
}

} // namespace veltrane::views
