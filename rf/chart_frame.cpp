#include "rf/chart_frame.h"

#include <algorithm>
#include <cmath>

namespace veltrane::rf {

namespace {

// A position along an axis, as a fraction of it: a tenth beyond either end at most, the start
// for what is no number.
double along(double t) {
    t = std::clamp(t, -0.1, 1.1);
    return std::isfinite(t) ? t : 0.0;
}

bool log_axis(const ChartFrame& frame) {
    return frame.log_frequency && frame.f_lo_ghz > 0 && frame.f_all_lo_ghz > 0;
}

// The frequency axis in the coordinate it is linear in: the frequency, or its logarithm.
double axis_u(const ChartFrame& frame, double f_ghz) {
    return log_axis(frame) ? std::log(f_ghz) : f_ghz;
}

double axis_f(const ChartFrame& frame, double u) {
    return log_axis(frame) ? std::exp(u) : u;
}

bool on_smith(const ChartFrame& frame, Point p) {
    if (frame.smith_area.width > 0 && frame.smith_area.height > 0) {
        return inside(frame.smith_area, p);
    }
    return std::hypot(p.x - frame.smith_centre.x, p.y - frame.smith_centre.y) <= frame.smith_radius;
}

// The reflection at `p` whether or not it lies on the chart.
Complex smith_at(const ChartFrame& frame, Point p) {
    const double scale = frame.smith_radius * frame.smith_zoom;
    return frame.smith_view +
           Complex{(p.x - frame.smith_centre.x) / scale, (frame.smith_centre.y - p.y) / scale};
}

// A view of the Smith chart that keeps some of the chart in sight: its centre on the chart.
ChartZoom smith_bounded(ChartZoom zoom) {
    zoom.smith_zoom = std::clamp(zoom.smith_zoom, 1.0, max_zoom);
    if (!std::isfinite(zoom.smith_view.real()) || !std::isfinite(zoom.smith_view.imag()) ||
        zoom.smith_zoom <= 1.0) {
        zoom.smith_view = 0;
        zoom.smith_zoom = 1.0;
    } else if (std::abs(zoom.smith_view) > 1) {
        zoom.smith_view /= std::abs(zoom.smith_view);
    }
    return zoom;
}

// An axis range `lo`..`hi` kept within `all_lo`..`all_hi` and no narrower than a max_zoom-th of
// it; none when it covers the whole.
std::optional<std::array<double, 2>> bounded(double lo, double hi, double all_lo, double all_hi) {
    const double all = all_hi - all_lo;
    if (!(all > 0) || !std::isfinite(lo) || !std::isfinite(hi)) {
        return std::nullopt;
    }
    double span = hi - lo;
    if (span >= all * (1 - 1e-9)) {
        return std::nullopt;
    }
    span = std::max(span, all / max_zoom);
    const double mid = std::clamp((lo + hi) / 2, all_lo + span / 2, all_hi - span / 2);
    return std::array<double, 2>{mid - span / 2, mid + span / 2};
}

std::optional<std::array<double, 2>> frequency_range(const ChartFrame& frame, double u_lo,
                                                     double u_hi) {
    const auto r =
        bounded(u_lo, u_hi, axis_u(frame, frame.f_all_lo_ghz), axis_u(frame, frame.f_all_hi_ghz));
    if (!r) {
        return std::nullopt;
    }
    return std::array<double, 2>{axis_f(frame, (*r)[0]), axis_f(frame, (*r)[1])};
}

std::optional<std::array<double, 2>> db_range(const ChartFrame& frame, double lo, double hi) {
    return bounded(lo, hi, frame.db_all_lo, frame.db_all_hi);
}

} // namespace

Point smith_point(const ChartFrame& frame, Complex g) {
    const double scale = frame.smith_radius * frame.smith_zoom;
    const Complex d = g - frame.smith_view;
    return {frame.smith_centre.x + scale * d.real(), frame.smith_centre.y - scale * d.imag()};
}

std::optional<Complex> smith_reflection(const ChartFrame& frame, Point p) {
    if (!(frame.smith_radius > 0) || !(frame.smith_zoom > 0)) {
        return std::nullopt;
    }
    if (frame.smith_area.width > 0 && !inside(frame.smith_area, p)) {
        return std::nullopt;
    }
    const Complex g = smith_at(frame, p);
    if (std::abs(g) > 1) {
        return std::nullopt;
    }
    return g;
}

double plot_x(const ChartFrame& frame, double f_ghz) {
    const double lo = frame.f_lo_ghz;
    const double hi = frame.f_hi_ghz;
    const double t =
        frame.log_frequency ? std::log(f_ghz / lo) / std::log(hi / lo) : (f_ghz - lo) / (hi - lo);
    return frame.plot_area.x + frame.plot_area.width * along(t);
}

double plot_y(const ChartFrame& frame, double return_loss_db) {
    const double t = (return_loss_db - frame.db_lo) / (frame.db_hi - frame.db_lo);
    return frame.plot_area.y + frame.plot_area.height * (1 - along(t));
}

std::optional<double> plot_frequency(const ChartFrame& frame, Point p) {
    const double lo = frame.f_lo_ghz;
    const double hi = frame.f_hi_ghz;
    if (!inside(frame.plot_area, p) || !(hi > lo) || !(frame.plot_area.width > 0)) {
        return std::nullopt;
    }
    const double t = (p.x - frame.plot_area.x) / frame.plot_area.width;
    const double f = frame.log_frequency && lo > 0 ? lo * std::pow(hi / lo, t) : lo + t * (hi - lo);
    return std::clamp(f, lo, hi);
}

double plot_db(const ChartFrame& frame, double y) {
    if (!(frame.plot_area.height > 0)) {
        return frame.db_lo;
    }
    const double t = (frame.plot_area.y + frame.plot_area.height - y) / frame.plot_area.height;
    return frame.db_lo + t * (frame.db_hi - frame.db_lo);
}

double return_loss_db(Complex g) {
    const double magnitude = std::max(std::abs(g), 1e-6);
    return -20 * std::log10(magnitude) + 0.0; // + 0.0: no "-0" for a full reflection
}

bool inside(const Rect& r, Point p) {
    return p.x >= r.x && p.x <= r.x + r.width && p.y >= r.y && p.y <= r.y + r.height;
}

ChartZoom zoomed_at(const ChartFrame& frame, const ChartZoom& zoom, Point p, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) {
        return zoom;
    }
    ChartZoom out = zoom;
    if (on_smith(frame, p) && frame.smith_radius > 0) {
        const Complex under = smith_at(frame, p);
        out.smith_zoom = std::clamp(frame.smith_zoom * factor, 1.0, max_zoom);
        const double scale = frame.smith_radius * out.smith_zoom;
        out.smith_view = under - Complex{(p.x - frame.smith_centre.x) / scale,
                                         (frame.smith_centre.y - p.y) / scale};
        return smith_bounded(out);
    }
    const Rect& a = frame.plot_area;
    if (!inside(a, p) || !(a.width > 0) || !(a.height > 0)) {
        return zoom;
    }
    const double t = (p.x - a.x) / a.width;
    const double u_lo = axis_u(frame, frame.f_lo_ghz);
    const double u_span = (axis_u(frame, frame.f_hi_ghz) - u_lo) / factor;
    const double u_at = u_lo + t * (axis_u(frame, frame.f_hi_ghz) - u_lo);
    out.f_ghz = frequency_range(frame, u_at - t * u_span, u_at + (1 - t) * u_span);
    const double s = (a.y + a.height - p.y) / a.height;
    const double db_at = plot_db(frame, p.y);
    const double db_span = (frame.db_hi - frame.db_lo) / factor;
    out.db = db_range(frame, db_at - s * db_span, db_at + (1 - s) * db_span);
    return out;
}

ChartZoom zoomed_to(const ChartFrame& frame, const ChartZoom& zoom, Rect box) {
    if (box.width < 0) {
        box.x += box.width;
        box.width = -box.width;
    }
    if (box.height < 0) {
        box.y += box.height;
        box.height = -box.height;
    }
    const Point centre{box.x + box.width / 2, box.y + box.height / 2};
    if (!(box.width > 0) || !(box.height > 0)) {
        return zoom;
    }
    ChartZoom out = zoom;
    if (on_smith(frame, centre) && frame.smith_radius > 0) {
        const double side = 2 * frame.smith_radius;
        const double factor = std::min(side / box.width, side / box.height);
        out.smith_view = smith_at(frame, centre);
        out.smith_zoom = frame.smith_zoom * factor;
        return smith_bounded(out);
    }
    const Rect& a = frame.plot_area;
    if (!inside(a, centre)) {
        return zoom;
    }
    const double x0 = std::max(box.x, a.x);
    const double x1 = std::min(box.x + box.width, a.x + a.width);
    const double y0 = std::max(box.y, a.y);
    const double y1 = std::min(box.y + box.height, a.y + a.height);
    const double u_lo = axis_u(frame, frame.f_lo_ghz);
    const double u_span = axis_u(frame, frame.f_hi_ghz) - u_lo;
    out.f_ghz = frequency_range(frame, u_lo + u_span * (x0 - a.x) / a.width,
                                u_lo + u_span * (x1 - a.x) / a.width);
    out.db = db_range(frame, plot_db(frame, y1), plot_db(frame, y0));
    return out;
}

ChartZoom panned(const ChartFrame& frame, const ChartZoom& zoom, Point from, Point to) {
    ChartZoom out = zoom;
    if (on_smith(frame, from) && frame.smith_radius > 0) {
        out.smith_view = smith_at(frame, from) - smith_at(frame, to) + frame.smith_view;
        out.smith_zoom = frame.smith_zoom;
        return smith_bounded(out);
    }
    const Rect& a = frame.plot_area;
    if (!inside(a, from) || !(a.width > 0) || !(a.height > 0)) {
        return zoom;
    }
    if (zoom.f_ghz) {
        const double u_lo = axis_u(frame, frame.f_lo_ghz);
        const double u_hi = axis_u(frame, frame.f_hi_ghz);
        const double du = (from.x - to.x) / a.width * (u_hi - u_lo);
        out.f_ghz = frequency_range(frame, u_lo + du, u_hi + du);
    }
    if (zoom.db) {
        const double d = (to.y - from.y) / a.height * (frame.db_hi - frame.db_lo);
        out.db = db_range(frame, frame.db_lo + d, frame.db_hi + d);
    }
    return out;
}

} // namespace veltrane::rf
