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

} // namespace

Point smith_point(const ChartFrame& frame, Complex g) {
    return {frame.smith_centre.x + frame.smith_radius * g.real(),
            frame.smith_centre.y - frame.smith_radius * g.imag()};
}

std::optional<Complex> smith_reflection(const ChartFrame& frame, Point p) {
    if (!(frame.smith_radius > 0)) {
        return std::nullopt;
    }
    const Complex g{(p.x - frame.smith_centre.x) / frame.smith_radius,
                    (frame.smith_centre.y - p.y) / frame.smith_radius};
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

double return_loss_db(Complex g) {
    const double magnitude = std::max(std::abs(g), 1e-6);
    return -20 * std::log10(magnitude);
}

bool inside(const Rect& r, Point p) {
    return p.x >= r.x && p.x <= r.x + r.width && p.y >= r.y && p.y <= r.y + r.height;
}

} // namespace veltrane::rf
