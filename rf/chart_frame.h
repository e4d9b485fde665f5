#pragma once

// Where the Smith chart and the return-loss plot lie in a picture, and the maps between what
// they show and picture coordinates, both ways: the picture draws through the forward maps, a
// window points into it through the inverse ones. A view (zoom and pan) is part of the maps.

#include "rf/model_impedance.h"

#include <array>
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
    Point smith_centre;        // where the chart's centre (Gamma = 0) lies unzoomed
    double smith_radius = 0.0; // the unit circle's radius unzoomed
    Rect smith_area;           // the square the chart is drawn in; empty: no bound
    Complex smith_view{0, 0};  // the reflection shown at smith_centre
    double smith_zoom = 1.0;   // magnification of the chart, 1 unzoomed
    Rect plot_area;
    double f_lo_ghz = 0.0, f_hi_ghz = 1.0; // the plot's frequency axis, left to right
    bool log_frequency = false;
    double db_lo = 0.0, db_hi = 1.0; // the plot's return-loss axis, bottom to top
    // The plot's axes unzoomed: zooming out stops there.
    double f_all_lo_ghz = 0.0, f_all_hi_ghz = 1.0;
    double db_all_lo = 0.0, db_all_hi = 1.0;
};

// A reflection on the Smith chart.
[[nodiscard]] Point smith_point(const ChartFrame& frame, Complex g);
// The reflection at `p`, or nothing outside the chart's unit circle or its area.
[[nodiscard]] std::optional<Complex> smith_reflection(const ChartFrame& frame, Point p);

// A frequency and a return loss on the plot; values beyond the axes stop a tenth of the axis
// outside it.
[[nodiscard]] double plot_x(const ChartFrame& frame, double f_ghz);
[[nodiscard]] double plot_y(const ChartFrame& frame, double return_loss_db);
// The frequency at `p`, or nothing outside the plot's area.
[[nodiscard]] std::optional<double> plot_frequency(const ChartFrame& frame, Point p);
// The return loss at height `y` of the plot.
[[nodiscard]] double plot_db(const ChartFrame& frame, double y);

// Return loss in dB of a reflection (|Gamma| of 0 reads as 120 dB, a large finite value).
[[nodiscard]] double return_loss_db(Complex g);

[[nodiscard]] bool inside(const Rect& r, Point p);

// What a person has zoomed into: the Smith chart's centre and magnification, the plot's axes
// (none: the whole of that axis).
struct ChartZoom {
    Complex smith_view{0, 0};
    double smith_zoom = 1.0;
    std::optional<std::array<double, 2>> f_ghz;
    std::optional<std::array<double, 2>> db;
    friend bool operator==(const ChartZoom&, const ChartZoom&) = default;
};

// The most a chart magnifies.
inline constexpr double max_zoom = 1000.0;

// Zooms the chart under `p` by `factor` (above 1 in, below 1 out) keeping what lies under `p`
// where it is; zooming out stops at the whole chart. A point on neither chart changes nothing.
[[nodiscard]] ChartZoom zoomed_at(const ChartFrame& frame, const ChartZoom& zoom, Point p,
                                  double factor);
// Shows what lies in `box` (picture coordinates) as large as the chart under its centre allows.
[[nodiscard]] ChartZoom zoomed_to(const ChartFrame& frame, const ChartZoom& zoom, Rect box);
// Moves the view of the chart under `from` so that what lay there lies under `to`.
[[nodiscard]] ChartZoom panned(const ChartFrame& frame, const ChartZoom& zoom, Point from,
                               Point to);

} // namespace veltrane::rf
