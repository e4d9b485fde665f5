#pragma once

// The picture's builder, shared by the files that draw its parts: the colours and pens, the
// helpers for ticks and points, and the class that lays out the title, the Smith chart, the
// return-loss plot and the legend. Private to the picture; nothing outside rf/ includes it.

#include "rf/picture.h"

#include <string>
#include <utility>
#include <vector>

namespace veltrane::rf::picture_detail {

// Dark on white, so that a printout on a grey-scale printer still tells the curves apart by
// weight and dash as well as by colour.
inline constexpr Colour black{0, 0, 0};
inline constexpr Colour grid_grey{150, 150, 150};
inline constexpr Colour label_grey{60, 60, 60};
inline constexpr Colour model_blue{95, 145, 235};
inline constexpr Colour standard_green{0, 110, 50};
inline constexpr Colour data_red{170, 0, 0};
inline constexpr Colour band_fill{222, 230, 242};
inline constexpr Colour outside_fill{232, 232, 232};
inline constexpr Colour note_red{170, 0, 0};
inline constexpr Colour white{255, 255, 255};

inline constexpr Pen grid_pen{grid_grey, 0.6, Dash::Solid};
inline constexpr Pen frame_pen{black, 1.0, Dash::Solid};
// The model wide and light, the data thin and dark above it: both stay visible where they
// coincide.
inline constexpr Pen model_pen{model_blue, 3.4, Dash::Solid};
inline constexpr Pen extension_pen{model_blue, 1.6, Dash::Dotted};
inline constexpr Pen standard_pen{standard_green, 1.8, Dash::Dashed};
// One unit: a pixel in the window, which painters draw fastest for thousands of points.
inline constexpr Pen data_pen{data_red, 1.0, Dash::Solid};
inline constexpr Pen marker_pen{black, 0.8, Dash::Dashed};
inline constexpr Pen range_pen{label_grey, 1.0, Dash::Dashed};

Colour role_colour(CurveRole role);

// The model's curve moves at most this much in |Gamma| between the points drawn, unzoomed.
inline constexpr double curve_step = 0.01;

// Drops points closer than a fraction of a unit (more for a wide pen, whose width hides the
// difference) to the last one kept: a sweep of millions of frequencies draws the same curve with
// a few thousand points, and a wide curve with fewer, which painters stroke much faster.
void add_point(std::vector<Point>& points, Point p, double pen_width = 0);

std::string element_summary(const LumpedModel& m);

// Tick values between lo and hi at a step of 1, 2 or 5 times a power of ten, about `count` of
// them.
std::vector<double> nice_ticks(double lo, double hi, int count);

// Ticks of a logarithmic axis: 1, 2 and 5 times the powers of ten in range; plain ticks when the
// range holds fewer than two of those.
std::vector<double> log_ticks(double lo, double hi);

// Tick labels with as many decimals as the step needs: a zoomed axis still tells its ticks
// apart.
std::string tick_text(double value, double step);

class Builder {
  public:
    explicit Builder(const PlotInput& input);

    Picture build();

  private:
    template <class T> void add(T operation) {
        picture_.operations.emplace_back(std::move(operation));
    }

    void text(Point at, std::string s, double size, Anchor anchor, Colour colour = black,
              bool bold = false) {
        add(Text{at, std::move(s), size, anchor, colour, bold});
    }

    double header_y(int line) const { return t_ + 1.3 * t_ + 1.5 * t_ * line; }

    // The title above the charts and the legend below them (picture.cpp).
    void title();
    void legend();

    const ChartFrame& frame() const { return picture_.frame; }

    Point on_chart(Complex g) const { return smith_point(frame(), g); }
    double x_of(double f_ghz) const { return plot_x(frame(), f_ghz); }
    double y_of(double db) const { return plot_y(frame(), db); }

    // The Smith chart (picture_smith.cpp).

    void smith_chart();
    void grid_labels();
    void curve_on_chart(const std::vector<Complex>& g, const Pen& pen);

    struct Marker {
        std::string label;
        double f_ghz;
    };

    // F1, F2, FL, F0, FH; frequencies that coincide share one marker ("F1=FL").
    std::vector<Marker> markers() const;
    bool in_sweep(double f_ghz) const;
    // The model's curve from the nearer end of the sweep out to `f_ghz`, dotted: a marker
    // outside the sweep still sits on a curve.
    void extension_to(double f_ghz);
    void smith_markers();

    // The return-loss plot (picture_plot.cpp).

    // Unclamped positions on the plot, for curves cut by the plot's clip: a curve leaves the
    // area at the angle it has.
    Point on_plot(double f_ghz, double db) const;
    void return_loss_plot();
    // The return-loss axis: from 0 (or the lowest value, for data with |Gamma| > 1) to the
    // highest value, at most 60 dB, in whole ticks; or the zoomed part of it.
    void db_scale();
    bool has_range() const;
    // What lies outside the searched range greyed, its ends dashed.
    void range_shading();
    void band_shading();
    // The markers within the axis, their labels (for drawing above the curves) clear of each
    // other and of the marker lines; the names and frequencies of those outside it.
    std::vector<std::string> frequency_markers(std::vector<Text>& labels);
    void curve_on_plot(const std::vector<double>& f, const std::vector<Complex>& g, const Pen& pen);

    const PlotInput& input_;
    const double t_;
    Picture picture_;
    std::vector<double> model_f_;
    std::vector<Complex> model_g_;
    std::vector<double> plot_model_f_;
    std::vector<Complex> plot_model_g_;
    std::vector<double> standard_f_;
    std::vector<Complex> standard_g_;
    std::vector<double> data_f_;
    std::vector<Complex> data_g_;
};

} // namespace veltrane::rf::picture_detail
