#pragma once

// Where the Smith chart and the return-loss plot lie in a picture, and the maps between what
// they show and picture coordinates, both ways: the picture draws through the forward maps, a
// window points into it through the inverse ones.

#include "rf/model_impedance.h"

#include <optional>

namespace veltrane::rf {

// Picture coordinates: x to the right, y downwards, one unit about one point at print size.
struct Point {
    double x = 0.0;
    double y = 0.0;
};

struct Rect {
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
};

struct ChartFrame {
    Point smith_centre;
    double smith_radius = 0.0;
    Rect plot_area;
    double f_lo_ghz = 0.0, f_hi_ghz = 1.0; // the plot's frequency axis, left to right
    bool log_frequency = false;
    double db_lo = 0.0, db_hi = 1.0; // the plot's return-loss axis, bottom to top
};

// A reflection on the Smith chart.
[[nodiscard]] Point smith_point(const ChartFrame& frame, Complex g);
// The reflection at `p`, or nothing outside the chart's unit circle.
[[nodiscard]] std::optional<Complex> smith_reflection(const ChartFrame& frame, Point p);

// A frequency and a return loss on the plot; values beyond the axes stop a tenth of the axis
// outside it.
[[nodiscard]] double plot_x(const ChartFrame& frame, double f_ghz);
[[nodiscard]] double plot_y(const ChartFrame& frame, double return_loss_db);
// The frequency at `p`, or nothing outside the plot's area.
[[nodiscard]] std::optional<double> plot_frequency(const ChartFrame& frame, Point p);

// Return loss in dB of a reflection (|Gamma| of 0 reads as 120 dB, a large finite value).
[[nodiscard]] double return_loss_db(Complex g);

[[nodiscard]] bool inside(const Rect& r, Point p);

} // namespace veltrane::rf
