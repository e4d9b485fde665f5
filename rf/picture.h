#pragma once

#include "model/result.h"
#include "rf/chart_frame.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "rf/sweep.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veltrane::rf {

// A picture as a list of drawing operations in a device-independent space: x to the right, y
// downwards, one unit about one point at print size. Drawn in list order; a painter (SVG, a Qt
// window) only maps the operations, it decides nothing.

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

enum class Dash { Solid, Dashed, Dotted };

struct Pen {
    Colour colour;
    double width = 1.0;
    Dash dash = Dash::Solid;
};

struct Line {
    Point from, to;
    Pen pen;
};

struct Polyline {
    std::vector<Point> points;
    Pen pen;
};

// A full circle; filled when `fill` is given.
struct Circle {
    Point centre;
    double radius = 0.0;
    Pen pen;
    std::optional<Colour> fill;
};

// Part of a circle from `start_deg`, turning by `span_deg`; angles counter-clockwise as seen,
// 0 pointing right (the convention of QPainter::drawArc).
struct Arc {
    Point centre;
    double radius = 0.0;
    double start_deg = 0.0;
    double span_deg = 0.0;
    Pen pen;
};

struct FilledRect {
    Rect rect;
    Colour fill;
};

enum class Anchor { Start, Middle, End };

// One line of text; `at` is the start, middle or end of its baseline. Generic sans-serif.
struct Text {
    Point at;
    std::string text; // UTF-8
    double size = 10.0;
    Anchor anchor = Anchor::Start;
    Colour colour;
    bool bold = false;
};

// Operations up to the matching EndClip are cut to `rect`.
struct BeginClip {
    Rect rect;
};
struct EndClip {};

using Operation = std::variant<Line, Polyline, Circle, Arc, FilledRect, Text, BeginClip, EndClip>;

struct Picture {
    double width = 0.0;
    double height = 0.0;
    ChartFrame frame;
    Colour background{255, 255, 255};
    std::vector<Operation> operations;
};

// What the picture shows. Frequencies of the state in MHz as the calculation holds them.
struct PlotInput {
    LumpedModel model;
    std::optional<LumpedModel> standard; // the model with standard values, drawn beside it
    std::string standard_name;           // "E24"
    const Result* calculation = nullptr; // F1, F2, FL, F0, FH for the markers
    std::vector<double> f_ghz;           // the sweep, rising
    bool log_frequency = false;
    double z0_ohm = 50.0;
    const PortData* data = nullptr;
    // Which model this is ("Row 3, Par/Ser, F1 ind, F2 cap, negative"), before the title; a
    // flagged one (negative, degenerate or warned) is titled in red.
    std::string model_label;
    bool model_flagged = false;
    // False: the data alone, without a model curve, markers or band (no model exists).
    bool draw_model = true;
};

// The Smith chart (normalised to z0) with the model's, the standard model's and the data's
// curves and the markers, the return loss against frequency beside it, and a title line.
[[nodiscard]] Picture model_picture(const PlotInput& input);

} // namespace veltrane::rf
