#pragma once

#include "model/result.h"
#include "rf/chart_frame.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/port_data.h"
#include "rf/sweep.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
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
    double text_size = 9.0; // the smallest text, in units; what is added later matches it
    Colour background{255, 255, 255};
    std::vector<Operation> operations;
};

// What an extra curve beside the data and the model stands for; its colour follows.
enum class CurveRole {
    Pinned,  // a model kept to compare with the next
    Matched, // the input of a matching network
    Other,
};

// A curve drawn beside the data and the model: reflections against z0 at rising frequencies,
// named in the legend, with a line of figures under the title when `figures` is not empty.
struct ExtraCurve {
    std::string label;   // "pinned model"
    std::string figures; // "Pinned: series-parallel, Ls = 1.2 nH, ..."
    std::vector<double> f_ghz;
    std::vector<Complex> g;
    CurveRole role = CurveRole::Other;
    Dash dash = Dash::Dashed;
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
    // Which model this is ("Row 3, Par/Ser, F1 ind, F2 cap"), before the title when not empty.
    std::string model_label;
    // False: the data alone, without a model curve, markers or band (no model exists).
    bool draw_model = true;
    // Said after the title, in red, when not empty ("row 3: a negative element").
    std::string model_note;
    std::vector<ExtraCurve> extra;
    // Shaded areas drawn by others over the picture, named in the legend after its own.
    std::vector<std::pair<Colour, std::string>> extra_swatches;
    // A return-loss level (dB) drawn over the plot after it is built, a bound say: the
    // return-loss axis reaches it.
    std::optional<double> db_mark;
    // The frequencies a search judged; drawn on the plot when either end is given.
    FrequencyRange search_range;
    // The picture's size and its smallest text, in picture units; the charts take the room.
    double width = 1000.0;
    double height = 600.0;
    double text_size = 9.0;
    ChartZoom zoom;
};

// The Smith chart (normalised to z0) with the model's, the standard model's and the data's
// curves and the markers, the return loss against frequency beside it, and a title line.
[[nodiscard]] Picture model_picture(const PlotInput& input);

// Where the charts lie in a picture of `width` x `height` with text of `text_size` and
// `header_lines` lines of title: the Smith chart round and as large as the height allows (up to
// a little under half the width), the plot in the rest.
[[nodiscard]] ChartFrame chart_layout(double width, double height, double text_size,
                                      int header_lines);

// The frequencies to draw a model's curve at: `f_ghz` (rising) with the resonances of its two
// pairs in range and more points wherever the curve's reflection moves more than `max_step`
// between neighbours, so that a sharp resonance is as smooth as a gentle one.
[[nodiscard]] std::vector<double> curve_frequencies(const LumpedModel& model,
                                                    std::span<const double> f_ghz, double z0_ohm,
                                                    double max_step);

} // namespace veltrane::rf
