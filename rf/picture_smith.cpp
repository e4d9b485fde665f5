// The Smith chart of the picture: its grid and labels, the curves, the markers of the band.

#include "model/units.h"
#include "rf/label_place.h"
#include "rf/numbers.h"
#include "rf/picture_builder.h"
#include "rf/response.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>
#include <utility>

namespace veltrane::rf::picture_detail {

namespace {

constexpr std::array<double, 6> resistance_circles = {0, 0.2, 0.5, 1, 2, 5};
constexpr std::array<double, 5> reactance_arcs = {0.2, 0.5, 1, 2, 5};

constexpr double degrees = 180 / std::numbers::pi;

// Marker discs on the Smith chart, and how far labels keep from their centres: clear of the
// larger discs a window draws on the data's points there too.
constexpr double marker_radius = 3.5;
constexpr double label_clearance = 6.5;

} // namespace

void Builder::smith_chart() {
    const ChartFrame& f = frame();
    const double r = f.smith_radius * f.smith_zoom;
    const Rect& area = f.smith_area;
    std::string heading = "Smith chart, z0 = " + readable(input_.z0_ohm) + " \u03a9";
    if (f.smith_zoom > 1) {
        heading += ", zoom \u00d7" + readable(f.smith_zoom, 3);
    }
    text({area.x + area.width / 2, area.y - 2.2 * t_}, heading, 1.1 * t_, Anchor::Middle, black,
         true);
    const bool zoomed = f.smith_zoom > 1;
    add(BeginClip{area});
    add(Circle{on_chart(0), r, grid_pen, white});
    for (double rc : resistance_circles) {
        add(Circle{on_chart({rc / (1 + rc), 0}), r / (1 + rc), rc == 0 ? frame_pen : grid_pen,
                   std::nullopt});
    }
    add(Line{on_chart({-1, 0}), on_chart({1, 0}), grid_pen});
    for (double x : reactance_arcs) {
        for (double sign : {1.0, -1.0}) {
            const double xs = sign * x;
            // The circle of constant reactance xs: centre 1 + j/xs, radius 1/|xs|, from
            // Gamma = 1 to where it meets the rim.
            const Complex centre{1, 1 / xs};
            const Complex rim{(xs * xs - 1) / (xs * xs + 1), 2 * xs / (xs * xs + 1)};
            const double start = sign > 0 ? -90 : 90;
            const double end = std::atan2(rim.imag() - centre.imag(), rim.real() - 1) * degrees;
            // Inductive arcs turn clockwise from Gamma = 1, capacitive ones counter-clockwise.
            double span = end - start;
            span = sign > 0 ? (span > 0 ? span - 360 : span) : (span < 0 ? span + 360 : span);
            add(Arc{on_chart(centre), r / x, start, span, grid_pen});
        }
    }
    add(EndClip{});
    if (!zoomed) {
        grid_labels();
    }
    add(BeginClip{area});
    for (const ExtraCurve& curve : input_.extra) {
        curve_on_chart(curve.g, Pen{role_colour(curve.role), 2.0, curve.dash});
    }
    if (input_.standard) {
        curve_on_chart(standard_g_, standard_pen);
    }
    if (input_.draw_model) {
        curve_on_chart(model_g_, model_pen);
    }
    if (!data_g_.empty()) {
        curve_on_chart(data_g_, data_pen);
    }
    add(EndClip{});
    if (zoomed) { // the view's edge, where the chart is cut
        const Point corners[] = {{area.x, area.y},
                                 {area.x + area.width, area.y},
                                 {area.x + area.width, area.y + area.height},
                                 {area.x, area.y + area.height}};
        for (std::size_t i = 0; i < 4; ++i) {
            add(Line{corners[i], corners[(i + 1) % 4], frame_pen});
        }
    }
    if (input_.draw_model) {
        smith_markers();
    }
}

void Builder::grid_labels() {
    for (double x : reactance_arcs) {
        for (double sign : {1.0, -1.0}) {
            const double xs = sign * x;
            const Complex rim{(xs * xs - 1) / (xs * xs + 1), 2 * xs / (xs * xs + 1)};
            const Point at = on_chart(rim * (1 + 0.45 * t_ / frame().smith_radius));
            const Anchor anchor = rim.real() < -0.2  ? Anchor::End
                                  : rim.real() > 0.2 ? Anchor::Start
                                                     : Anchor::Middle;
            text({at.x, at.y + (sign > 0 ? 0 : 0.85 * t_)},
                 (sign > 0 ? "+j" : "\u2212j") + readable(x), t_, anchor, label_grey);
        }
    }
    for (double rc : resistance_circles) {
        const Point at = on_chart({(rc - 1) / (rc + 1), 0});
        text({at.x + 2, at.y - 3}, readable(rc), t_, Anchor::Start, label_grey);
    }
}

void Builder::curve_on_chart(const std::vector<Complex>& g, const Pen& pen) {
    Polyline line{{}, pen};
    for (Complex value : g) {
        add_point(line.points, on_chart(value), pen.width);
    }
    if (line.points.size() >= 2) {
        add(std::move(line));
    }
}

// F1, F2, FL, F0, FH; frequencies that coincide share one marker ("F1=FL").
std::vector<Builder::Marker> Builder::markers() const {
    std::vector<Marker> out;
    if (input_.calculation == nullptr || !input_.draw_model) {
        return out;
    }
    const Result& s = *input_.calculation;
    const std::array<std::pair<std::string_view, double>, 5> named = {
        {{"F1", s.F1}, {"F2", s.F2}, {"FL", s.FL}, {"F0", s.F0}, {"FH", s.FH}}};
    for (const auto& [name, f_mhz] : named) {
        const double f = mhz_to_ghz(std::fabs(f_mhz));
        if (!std::isfinite(f) || !(f > 0)) {
            continue;
        }
        const auto same = std::find_if(out.begin(), out.end(), [f](const Marker& m) {
            return std::fabs(m.f_ghz - f) <= 1e-9 * f;
        });
        if (same != out.end()) {
            same->label += '=';
            same->label += name;
        } else {
            out.push_back({std::string(name), f});
        }
    }
    std::sort(out.begin(), out.end(),
              [](const Marker& a, const Marker& b) { return a.f_ghz < b.f_ghz; });
    return out;
}

bool Builder::in_sweep(double f_ghz) const {
    return !input_.f_ghz.empty() && f_ghz >= input_.f_ghz.front() * (1 - 1e-12) &&
           f_ghz <= input_.f_ghz.back() * (1 + 1e-12);
}

// The model's curve from the nearer end of the sweep out to `f_ghz`, dotted: a marker
// outside the sweep still sits on a curve.
void Builder::extension_to(double f_ghz) {
    if (input_.f_ghz.empty()) {
        return;
    }
    const double end = f_ghz < input_.f_ghz.front() ? input_.f_ghz.front() : input_.f_ghz.back();
    const double lo = std::min(end, f_ghz);
    const double hi = std::max(end, f_ghz);
    const std::vector<double> ends = {lo, hi};
    const std::vector<double> f = curve_frequencies(
        input_.model, ends, input_.z0_ohm, curve_step / std::min(frame().smith_zoom, 20.0));
    add(BeginClip{frame().smith_area});
    curve_on_chart(model_reflections(input_.model, f, input_.z0_ohm), extension_pen);
    add(EndClip{});
}

void Builder::smith_markers() {
    const ChartFrame& f = frame();
    struct Placed {
        const Marker* marker;
        Point at;
    };
    std::vector<Marker> all = markers();
    std::vector<Placed> shown;
    std::vector<Box> taken;
    for (const Marker& marker : all) {
        if (!in_sweep(marker.f_ghz)) {
            extension_to(marker.f_ghz);
        }
        const Point p = on_chart(model_reflection(input_.model, marker.f_ghz, input_.z0_ohm));
        if (!inside(f.smith_area, p)) {
            continue; // zoomed away
        }
        shown.push_back({&marker, p});
        const double d = label_clearance;
        taken.push_back({p.x - d, p.y - d, p.x + d, p.y + d});
    }
    for (const Placed& s : shown) {
        add(Circle{s.at, marker_radius, Pen{black, 1.2, Dash::Solid}, white});
    }
    // Labels clear of every marker and of each other, within the chart's square.
    const Rect bounds{f.smith_area.x - 3 * t_, f.smith_area.y - t_, f.smith_area.width + 6 * t_,
                      f.smith_area.height + 2 * t_};
    for (const Placed& s : shown) {
        const double width = 0.62 * t_ * static_cast<double>(shown_length(s.marker->label));
        const double height = 1.05 * t_;
        const auto candidates = around(s.at, label_clearance, 0.25 * t_, width, height);
        const Box box = place_label(candidates, taken, bounds);
        taken.push_back(box);
        text({box.x0, box.y1 - 0.25 * t_}, s.marker->label, t_, Anchor::Start, black, true);
    }
}

} // namespace veltrane::rf::picture_detail
