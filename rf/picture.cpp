#include "rf/picture.h"
#include "model/units.h"

#include "rf/choices.h"
#include "rf/label_place.h"
#include "rf/numbers.h"
#include "rf/response.h"
#include "rf/sweep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>
#include <utility>

namespace veltrane::rf {

namespace {

// Dark on white, so that a printout on a grey-scale printer still tells the curves apart by
// weight and dash as well as by colour.
constexpr Colour black{0, 0, 0};
constexpr Colour grid_grey{150, 150, 150};
constexpr Colour label_grey{60, 60, 60};
constexpr Colour model_blue{95, 145, 235};
constexpr Colour standard_green{0, 110, 50};
constexpr Colour data_red{170, 0, 0};
constexpr Colour band_fill{222, 230, 242};
constexpr Colour outside_fill{232, 232, 232};
constexpr Colour note_red{170, 0, 0};
constexpr Colour white{255, 255, 255};

const Pen grid_pen{grid_grey, 0.6, Dash::Solid};
const Pen frame_pen{black, 1.0, Dash::Solid};
// The model wide and light, the data thin and dark above it: both stay visible where they
// coincide.
const Pen model_pen{model_blue, 3.4, Dash::Solid};
const Pen extension_pen{model_blue, 1.6, Dash::Dotted};
const Pen standard_pen{standard_green, 1.8, Dash::Dashed};
// One unit: a pixel in the window, which painters draw fastest for thousands of points.
const Pen data_pen{data_red, 1.0, Dash::Solid};
const Pen marker_pen{black, 0.8, Dash::Dashed};
const Pen range_pen{label_grey, 1.0, Dash::Dashed};

Colour role_colour(CurveRole role) {
    switch (role) {
    case CurveRole::Pinned:
        return {130, 40, 170};
    case CurveRole::Matched:
        return {0, 125, 125};
    case CurveRole::Other:
        break;
    }
    return {110, 110, 110};
}

constexpr std::array<double, 6> resistance_circles = {0, 0.2, 0.5, 1, 2, 5};
constexpr std::array<double, 5> reactance_arcs = {0.2, 0.5, 1, 2, 5};

// Return loss is drawn up to this; a perfect match would be infinite.
constexpr double max_return_loss_db = 60;

constexpr double degrees = 180 / std::numbers::pi;

// Marker discs on the Smith chart, and how far labels keep from their centres: clear of the
// larger discs a window draws on the data's points there too.
constexpr double marker_radius = 3.5;
constexpr double label_clearance = 6.5;

// The model's curve moves at most this much in |Gamma| between the points drawn, unzoomed.
constexpr double curve_step = 0.01;
constexpr std::size_t max_curve_points = 60000;

// Drops points closer than a fraction of a unit (more for a wide pen, whose width hides the
// difference) to the last one kept: a sweep of millions of frequencies draws the same curve with
// a few thousand points, and a wide curve with fewer, which painters stroke much faster.
void add_point(std::vector<Point>& points, Point p, double pen_width = 0) {
    if (!points.empty()) {
        const double least = std::max(0.3, 0.6 * pen_width);
        const double dx = p.x - points.back().x;
        const double dy = p.y - points.back().y;
        if (dx * dx + dy * dy < least * least) {
            return;
        }
    }
    points.push_back(p);
}

std::string element_summary(const LumpedModel& m) {
    return "Ls = " + readable(m.ls_nh) + " nH, Cs = " + readable(m.cs_pf) +
           " pF, Lp = " + readable(m.lp_nh) + " nH, Cp = " + readable(m.cp_pf) + " pF";
}

// Tick values between lo and hi at a step of 1, 2 or 5 times a power of ten, about `count` of
// them.
std::vector<double> nice_ticks(double lo, double hi, int count) {
    std::vector<double> ticks;
    const double span = hi - lo;
    if (!(span > 0) || !std::isfinite(span)) {
        return ticks;
    }
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw) {
            break;
        }
    }
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first; k * step <= hi + step * 1e-9 && ticks.size() < 50; ++k) {
        ticks.push_back(k * step + 0.0); // + 0.0: no "-0"
    }
    return ticks;
}

// Ticks of a logarithmic axis: 1, 2 and 5 times the powers of ten in range; plain ticks when the
// range holds fewer than two of those.
std::vector<double> log_ticks(double lo, double hi) {
    std::vector<double> ticks;
    if (lo > 0 && hi > lo) {
        for (double power = std::pow(10.0, std::floor(std::log10(lo)));
             power <= hi && ticks.size() < 50; power *= 10) {
            for (double factor : {1.0, 2.0, 5.0}) {
                const double value = factor * power;
                if (value >= lo * (1 - 1e-12) && value <= hi * (1 + 1e-12)) {
                    ticks.push_back(value);
                }
            }
        }
    }
    return ticks.size() >= 2 ? ticks : nice_ticks(lo, hi, 5);
}

// Tick labels with as many decimals as the step needs: a zoomed axis still tells its ticks
// apart.
std::string tick_text(double value, double step) {
    int digits = 6;
    if (step > 0 && std::isfinite(step)) {
        const double places = std::max(0.0, -std::floor(std::log10(step) + 1e-9));
        const double magnitude =
            std::max(1.0, std::floor(std::log10(std::fabs(value) + 1e-300)) + 1);
        digits = static_cast<int>(std::clamp(places + magnitude, 1.0, 12.0));
    }
    return readable(value, std::max(digits, 3));
}

double resonance_ghz(double l_nh, double c_pf) {
    const double product = l_nh * c_pf;
    return product > 0 && std::isfinite(product) ? 5.0329212104487 / std::sqrt(product) : 0.0;
}

class Builder {
  public:
    explicit Builder(const PlotInput& input) : input_(input), t_(std::max(input.text_size, 1.0)) {
        picture_.width = input.width > 0 && std::isfinite(input.width) ? input.width : 1000;
        picture_.height = input.height > 0 && std::isfinite(input.height) ? input.height : 600;
        picture_.text_size = t_;
    }

    Picture build() {
        const double zoom = std::clamp(input_.zoom.smith_zoom, 1.0, max_zoom);
        // Finer when zoomed, within a budget that a chart of many resonances still meets.
        const double step = curve_step / std::min(zoom, 20.0);
        if (input_.draw_model) {
            model_f_ = curve_frequencies(input_.model, input_.f_ghz, input_.z0_ohm, step);
            model_g_ = model_reflections(input_.model, model_f_, input_.z0_ohm);
        }
        if (input_.standard) {
            standard_f_ = curve_frequencies(*input_.standard, input_.f_ghz, input_.z0_ohm, step);
            standard_g_ = model_reflections(*input_.standard, standard_f_, input_.z0_ohm);
        }
        if (input_.data != nullptr) {
            const std::size_t n = std::min(input_.data->f_ghz.size(), input_.data->s.size());
            for (std::size_t i = 0; i < n; ++i) {
                const Complex g =
                    rereferred(input_.data->s[i], input_.data->reference_ohm, input_.z0_ohm);
                if (std::isfinite(input_.data->f_ghz[i]) && std::isfinite(g.real()) &&
                    std::isfinite(g.imag())) {
                    data_f_.push_back(input_.data->f_ghz[i]);
                    data_g_.push_back(g);
                }
            }
        }
        int header_lines = 1;
        if (input_.standard) {
            ++header_lines;
        }
        for (const ExtraCurve& curve : input_.extra) {
            header_lines += curve.figures.empty() ? 0 : 1;
        }
        ChartFrame& frame = picture_.frame;
        frame = chart_layout(picture_.width, picture_.height, t_, header_lines);
        frame.smith_zoom = zoom;
        frame.smith_view = zoom > 1 ? input_.zoom.smith_view : Complex{0, 0};
        if (!input_.f_ghz.empty()) {
            frame.f_all_lo_ghz = input_.f_ghz.front();
            frame.f_all_hi_ghz = input_.f_ghz.back();
        }
        frame.log_frequency = input_.log_frequency;
        frame.f_lo_ghz = frame.f_all_lo_ghz;
        frame.f_hi_ghz = frame.f_all_hi_ghz;
        if (input_.zoom.f_ghz && (*input_.zoom.f_ghz)[1] > (*input_.zoom.f_ghz)[0]) {
            frame.f_lo_ghz = (*input_.zoom.f_ghz)[0];
            frame.f_hi_ghz = (*input_.zoom.f_ghz)[1];
        }
        title();
        smith_chart();
        return_loss_plot(); // sets the return-loss axis of the frame
        legend();
        return std::move(picture_);
    }

  private:
    template <class T> void add(T operation) {
        picture_.operations.emplace_back(std::move(operation));
    }

    void text(Point at, std::string s, double size, Anchor anchor, Colour colour = black,
              bool bold = false) {
        add(Text{at, std::move(s), size, anchor, colour, bold});
    }

    double header_y(int line) const { return t_ + 1.3 * t_ + 1.5 * t_ * line; }

    void title() {
        const double mid = picture_.width / 2;
        if (!input_.draw_model) {
            text({mid, header_y(0)},
                 input_.data != nullptr ? "Measured data: " + input_.data->source : "No data",
                 1.3 * t_, Anchor::Middle, black, true);
            return;
        }
        const LumpedModel& m = input_.model;
        std::string line =
            (input_.model_label.empty() ? std::string{} : input_.model_label + ": ") +
            std::string(topology_name(m.topology)) + ": " + element_summary(m) +
            ", RL = " + readable(m.rl_ohm) + " \u03a9";
        if (input_.model_note.empty()) {
            text({mid, header_y(0)}, line, 1.3 * t_, Anchor::Middle, black, true);
        } else {
            // The note after the title, both centred together.
            const double w_line = 0.62 * 1.3 * t_ * static_cast<double>(shown_length(line));
            const std::string note = "  " + input_.model_note;
            const double w_note = 0.62 * 1.3 * t_ * static_cast<double>(shown_length(note));
            const double x0 = mid - (w_line + w_note) / 2;
            text({x0 + w_line, header_y(0)}, line, 1.3 * t_, Anchor::End, black, true);
            text({x0 + w_line, header_y(0)}, note, 1.3 * t_, Anchor::Start, note_red, true);
        }
        int row = 1;
        if (input_.standard) {
            text({mid, header_y(row++)},
                 input_.standard_name + " values: " + element_summary(*input_.standard), 1.1 * t_,
                 Anchor::Middle, standard_green, true);
        }
        for (const ExtraCurve& curve : input_.extra) {
            if (!curve.figures.empty()) {
                text({mid, header_y(row++)}, curve.figures, 1.1 * t_, Anchor::Middle,
                     role_colour(curve.role), true);
            }
        }
    }

    const ChartFrame& frame() const { return picture_.frame; }

    void smith_chart() {
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

    void grid_labels() {
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

    void curve_on_chart(const std::vector<Complex>& g, const Pen& pen) {
        Polyline line{{}, pen};
        for (Complex value : g) {
            add_point(line.points, on_chart(value), pen.width);
        }
        if (line.points.size() >= 2) {
            add(std::move(line));
        }
    }

    struct Marker {
        std::string label;
        double f_ghz;
    };

    // F1, F2, FL, F0, FH; frequencies that coincide share one marker ("F1=FL").
    std::vector<Marker> markers() const {
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

    bool in_sweep(double f_ghz) const {
        return !input_.f_ghz.empty() && f_ghz >= input_.f_ghz.front() * (1 - 1e-12) &&
               f_ghz <= input_.f_ghz.back() * (1 + 1e-12);
    }

    // The model's curve from the nearer end of the sweep out to `f_ghz`, dotted: a marker
    // outside the sweep still sits on a curve.
    void extension_to(double f_ghz) {
        if (input_.f_ghz.empty()) {
            return;
        }
        const double end =
            f_ghz < input_.f_ghz.front() ? input_.f_ghz.front() : input_.f_ghz.back();
        const double lo = std::min(end, f_ghz);
        const double hi = std::max(end, f_ghz);
        const std::vector<double> ends = {lo, hi};
        const std::vector<double> f = curve_frequencies(
            input_.model, ends, input_.z0_ohm, curve_step / std::min(frame().smith_zoom, 20.0));
        add(BeginClip{frame().smith_area});
        curve_on_chart(model_reflections(input_.model, f, input_.z0_ohm), extension_pen);
        add(EndClip{});
    }

    void smith_markers() {
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

    Point on_chart(Complex g) const { return smith_point(frame(), g); }
    double x_of(double f_ghz) const { return plot_x(frame(), f_ghz); }
    double y_of(double db) const { return plot_y(frame(), db); }

    // Unclamped positions on the plot, for curves cut by the plot's clip: a curve leaves the
    // area at the angle it has.
    Point on_plot(double f_ghz, double db) const {
        const ChartFrame& f = frame();
        const double lo = f.f_lo_ghz;
        const double hi = f.f_hi_ghz;
        double t = f.log_frequency && lo > 0 && f_ghz > 0 ? std::log(f_ghz / lo) / std::log(hi / lo)
                                                          : (f_ghz - lo) / (hi - lo);
        double s = (db - f.db_lo) / (f.db_hi - f.db_lo);
        t = std::isfinite(t) ? std::clamp(t, -1e4, 1e4) : -1e4;
        s = std::isfinite(s) ? std::clamp(s, -1e4, 1e4) : 0;
        return {f.plot_area.x + f.plot_area.width * t,
                f.plot_area.y + f.plot_area.height * (1 - s)};
    }

    void return_loss_plot() {
        const Rect& a = frame().plot_area;
        text({a.x, a.y - 2.2 * t_},
             "Return loss (dB) against z0 = " + readable(input_.z0_ohm) + " \u03a9", 1.1 * t_,
             Anchor::Start, black, true);
        if (input_.f_ghz.size() < 2) {
            return;
        }
        db_scale();
        const double lo = frame().f_lo_ghz;
        const double hi = frame().f_hi_ghz;
        // The model again over a zoomed frequency axis, at the density of the whole.
        if (input_.draw_model && input_.zoom.f_ghz) {
            const std::vector<double> f =
                sweep_frequencies({lo, hi, 1001, input_.log_frequency && lo > 0});
            plot_model_f_ = curve_frequencies(input_.model, f, input_.z0_ohm, curve_step);
            plot_model_g_ = model_reflections(input_.model, plot_model_f_, input_.z0_ohm);
        } else {
            plot_model_f_ = model_f_;
            plot_model_g_ = model_g_;
        }
        add(FilledRect{a, white});
        add(BeginClip{a});
        range_shading();
        band_shading();
        add(EndClip{});
        const std::vector<double> db_ticks = nice_ticks(frame().db_lo, frame().db_hi, 6);
        const double db_step = db_ticks.size() >= 2 ? db_ticks[1] - db_ticks[0] : 1;
        for (double tick : db_ticks) {
            const double y = y_of(tick);
            add(Line{{a.x, y}, {a.x + a.width, y}, grid_pen});
            add(Line{{a.x - 4, y}, {a.x, y}, frame_pen});
            text({a.x - 7, y + 0.4 * t_}, tick_text(tick, db_step), t_, Anchor::End);
        }
        const int count = std::max(2, static_cast<int>(a.width / (7 * t_)));
        const std::vector<double> f_ticks = input_.log_frequency && lo > 0
                                                ? log_ticks(lo, hi)
                                                : nice_ticks(lo, hi, std::min(count, 10));
        const double f_step = f_ticks.size() >= 2 ? f_ticks[1] - f_ticks[0] : hi - lo;
        double last_right = -1e300;
        for (double tick : f_ticks) {
            const double x = x_of(tick);
            add(Line{{x, a.y}, {x, a.y + a.height}, grid_pen});
            add(Line{{x, a.y + a.height}, {x, a.y + a.height + 4}, frame_pen});
            const std::string label =
                input_.log_frequency ? readable(tick) : tick_text(tick, f_step);
            const double half = 0.31 * t_ * static_cast<double>(shown_length(label));
            if (x - half > last_right + 0.5 * t_) { // a label that would touch the last is left out
                text({x, a.y + a.height + 1.5 * t_}, label, t_, Anchor::Middle);
                last_right = x + half;
            }
        }
        text({a.x + a.width / 2, a.y + a.height + 3.1 * t_}, "Frequency (GHz)", 1.1 * t_,
             Anchor::Middle, black, true);
        add(BeginClip{a});
        std::vector<Text> marker_labels;
        const std::vector<std::string> outside = frequency_markers(marker_labels);
        for (const ExtraCurve& curve : input_.extra) {
            curve_on_plot(curve.f_ghz, curve.g, Pen{role_colour(curve.role), 2.0, curve.dash});
        }
        if (input_.standard) {
            curve_on_plot(standard_f_, standard_g_, standard_pen);
        }
        if (input_.draw_model) {
            curve_on_plot(plot_model_f_, plot_model_g_, model_pen);
        }
        if (!data_g_.empty()) {
            curve_on_plot(data_f_, data_g_, data_pen);
        }
        for (Text& label : marker_labels) { // above the curves, to be read
            add(std::move(label));
        }
        add(EndClip{});
        add(Line{{a.x, a.y}, {a.x + a.width, a.y}, frame_pen});
        add(Line{{a.x + a.width, a.y}, {a.x + a.width, a.y + a.height}, frame_pen});
        add(Line{{a.x + a.width, a.y + a.height}, {a.x, a.y + a.height}, frame_pen});
        add(Line{{a.x, a.y + a.height}, {a.x, a.y}, frame_pen});
        if (!outside.empty()) {
            std::string note = "not in view:";
            for (std::size_t i = 0; i < outside.size(); ++i) {
                note += (i == 0 ? " " : ", ") + outside[i];
            }
            text({a.x + a.width, a.y - 2.2 * t_}, note + " GHz", t_, Anchor::End, label_grey);
        }
    }

    // The return-loss axis: from 0 (or the lowest value, for data with |Gamma| > 1) to the
    // highest value, at most 60 dB, in whole ticks; or the zoomed part of it.
    void db_scale() {
        double lo = 0;
        double hi = 1;
        const auto widen = [&](const std::vector<Complex>& g) {
            for (Complex value : g) {
                const double db = return_loss_db(value);
                lo = std::min(lo, db);
                hi = std::max(hi, db);
            }
        };
        widen(model_g_);
        widen(standard_g_);
        widen(data_g_);
        for (const ExtraCurve& curve : input_.extra) {
            widen(curve.g);
        }
        if (input_.db_mark && std::isfinite(*input_.db_mark)) {
            hi = std::max(hi, *input_.db_mark);
        }
        lo = std::max(lo, -20.0);
        hi = std::min(hi, max_return_loss_db);
        const std::vector<double> ticks = nice_ticks(lo, hi, 6);
        const double step = ticks.size() >= 2 ? ticks[1] - ticks[0] : 1;
        ChartFrame& f = picture_.frame;
        f.db_all_lo = std::floor(lo / step + 1e-9) * step;
        f.db_all_hi = std::ceil(hi / step - 1e-9) * step;
        if (!(f.db_all_hi > f.db_all_lo)) {
            f.db_all_hi = f.db_all_lo + 1;
        }
        f.db_lo = f.db_all_lo;
        f.db_hi = f.db_all_hi;
        if (input_.zoom.db && (*input_.zoom.db)[1] > (*input_.zoom.db)[0]) {
            f.db_lo = (*input_.zoom.db)[0];
            f.db_hi = (*input_.zoom.db)[1];
        }
    }

    bool has_range() const {
        return input_.search_range.fmin_ghz.has_value() || input_.search_range.fmax_ghz.has_value();
    }

    // What lies outside the searched range greyed, its ends dashed.
    void range_shading() {
        if (!has_range()) {
            return;
        }
        const Rect& a = frame().plot_area;
        if (const auto& lo = input_.search_range.fmin_ghz) {
            const double x = std::max(x_of(*lo), a.x);
            add(FilledRect{{a.x, a.y, x - a.x, a.height}, outside_fill});
            add(Line{{x, a.y}, {x, a.y + a.height}, range_pen});
        }
        if (const auto& hi = input_.search_range.fmax_ghz) {
            const double x = std::min(x_of(*hi), a.x + a.width);
            add(FilledRect{{x, a.y, a.x + a.width - x, a.height}, outside_fill});
            add(Line{{x, a.y}, {x, a.y + a.height}, range_pen});
        }
    }

    void band_shading() {
        if (input_.calculation == nullptr || !input_.draw_model) {
            return;
        }
        const double fl = mhz_to_ghz(std::fabs(input_.calculation->FL));
        const double fh = mhz_to_ghz(std::fabs(input_.calculation->FH));
        const double x0 = x_of(std::min(fl, fh));
        const double x1 = x_of(std::max(fl, fh));
        add(FilledRect{{x0, frame().plot_area.y, x1 - x0, frame().plot_area.height}, band_fill});
    }

    // The markers within the axis, their labels (for drawing above the curves) clear of each
    // other and of the marker lines; the names and frequencies of those outside it.
    std::vector<std::string> frequency_markers(std::vector<Text>& labels) {
        const Rect& a = frame().plot_area;
        const double lo = frame().f_lo_ghz;
        const double hi = frame().f_hi_ghz;
        std::vector<double> xs;
        std::vector<const Marker*> shown;
        std::vector<std::string> outside;
        const std::vector<Marker> all = markers();
        for (const Marker& marker : all) {
            if (marker.f_ghz < lo * (1 - 1e-12) || marker.f_ghz > hi * (1 + 1e-12)) {
                outside.push_back(marker.label + " " + readable(marker.f_ghz, 5));
                continue;
            }
            xs.push_back(x_of(marker.f_ghz));
            shown.push_back(&marker);
        }
        std::vector<Box> taken;
        for (double x : xs) {
            add(Line{{x, a.y}, {x, a.y + a.height}, marker_pen});
            taken.push_back({x - 1, a.y, x + 1, a.y + a.height});
        }
        const double height = 1.05 * t_;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const double width = 0.62 * t_ * static_cast<double>(shown_length(shown[i]->label));
            std::vector<Box> candidates;
            for (int row = 0; row < 6; ++row) {
                const double top = a.y + 0.3 * t_ + row * height * 1.1;
                candidates.push_back({xs[i] + 3, top, xs[i] + 3 + width, top + height});
                candidates.push_back({xs[i] - 3 - width, top, xs[i] - 3, top + height});
            }
            const Box box = place_label(candidates, taken, a);
            taken.push_back(box);
            labels.push_back(Text{
                {box.x0, box.y1 - 0.25 * t_}, shown[i]->label, t_, Anchor::Start, black, true});
        }
        return outside;
    }

    void curve_on_plot(const std::vector<double>& f, const std::vector<Complex>& g,
                       const Pen& pen) {
        const std::size_t n = std::min(f.size(), g.size());
        const double lo = frame().f_lo_ghz;
        const double hi = frame().f_hi_ghz;
        // The samples in view with one either side.
        std::size_t first = static_cast<std::size_t>(
            std::lower_bound(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n), lo) -
            f.begin());
        std::size_t last = static_cast<std::size_t>(
            std::upper_bound(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n), hi) -
            f.begin());
        first = first > 0 ? first - 1 : 0;
        last = std::min(last + 1, n);
        Polyline line{{}, pen};
        for (std::size_t i = first; i < last; ++i) {
            add_point(line.points, on_plot(f[i], return_loss_db(g[i])), pen.width);
        }
        if (line.points.size() >= 2) {
            add(std::move(line));
        }
    }

    void legend() {
        double x = frame().smith_area.x;
        const double y = picture_.height - t_;
        const auto entry = [&](const Pen& pen, const std::string& label) {
            add(Line{{x, y - 0.4 * t_}, {x + 2.6 * t_, y - 0.4 * t_}, pen});
            text({x + 3.1 * t_, y}, label, t_, Anchor::Start);
            x += 4.6 * t_ + 0.6 * t_ * static_cast<double>(shown_length(label));
        };
        const auto swatch = [&](Colour fill, const std::string& label) {
            add(FilledRect{{x, y - 0.95 * t_, 2.6 * t_, 1.1 * t_}, fill});
            text({x + 3.1 * t_, y}, label, t_, Anchor::Start);
            x += 4.6 * t_ + 0.6 * t_ * static_cast<double>(shown_length(label));
        };
        if (input_.draw_model) {
            entry(model_pen, "model");
        }
        if (input_.standard) {
            entry(standard_pen, "model with " + input_.standard_name + " values");
        }
        for (const ExtraCurve& curve : input_.extra) {
            entry(Pen{role_colour(curve.role), 2.0, curve.dash}, curve.label);
        }
        if (!data_g_.empty()) {
            std::string source = input_.data->source;
            if (shown_length(source) > 48) {
                source = "\u2026" + source.substr(source.size() - 45);
            }
            entry(data_pen, "data" + (source.empty() ? std::string() : " (" + source + ")"));
        }
        if (input_.draw_model) {
            swatch(band_fill, "band FL..FH");
        }
        if (has_range()) {
            swatch(outside_fill, "outside the search range");
        }
    }

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

// Bisects [a, b] while the curve moves more than `step` across it or bends away from the
// chord by more than half of that.
struct Refiner {
    const LumpedModel& model;
    double z0;
    double step;
    std::vector<double>& out;

    Complex at(double f) const { return model_reflection(model, f, z0); }

    void refine(double a, Complex ga, double b, Complex gb, int depth) {
        if (depth >= 16 || out.size() >= max_curve_points) {
            return;
        }
        const double mid = a + (b - a) / 2;
        if (!(mid > a && mid < b)) {
            return;
        }
        const Complex gm = at(mid);
        const bool finite = std::isfinite(gm.real()) && std::isfinite(gm.imag());
        if (!finite || (std::abs(gb - ga) <= step && std::abs(gm - (ga + gb) / 2.0) <= step / 2)) {
            return;
        }
        refine(a, ga, mid, gm, depth + 1);
        out.push_back(mid);
        refine(mid, gm, b, gb, depth + 1);
    }
};

} // namespace

Picture model_picture(const PlotInput& input) {
    return Builder(input).build();
}

ChartFrame chart_layout(double width, double height, double text_size, int header_lines) {
    const double t = std::max(text_size, 1.0);
    ChartFrame frame;
    const double header_bottom = t + 1.3 * t + 1.5 * t * std::max(header_lines - 1, 0) + 0.5 * t;
    // Chart headings, then room for the rim's labels above the chart.
    const double top = header_bottom + 2.0 * t + 1.6 * t;
    // The legend, then room for the rim's labels below the chart.
    const double bottom = height - t - 1.3 * t - 1.6 * t;
    const double left = t + 3.6 * t;
    double side = std::min(bottom - top, 0.46 * width - 8 * t);
    side = std::max(side, 4 * t);
    frame.smith_area = {left, top, side, side};
    frame.smith_radius = side / 2;
    frame.smith_centre = {left + side / 2, top + side / 2};
    const double plot_left = left + side + 3.2 * t + 4.2 * t;
    const double plot_bottom = height - t - 1.3 * t - 3.6 * t;
    frame.plot_area = {plot_left, top, std::max(width - t - 1.5 * t - plot_left, 4 * t),
                       std::max(plot_bottom - top, 4 * t)};
    return frame;
}

std::vector<double> curve_frequencies(const LumpedModel& model, std::span<const double> f_ghz,
                                      double z0_ohm, double max_step) {
    std::vector<double> seeds(f_ghz.begin(), f_ghz.end());
    if (seeds.size() < 2 || !(max_step > 0)) {
        return seeds;
    }
    const double lo = seeds.front();
    const double hi = seeds.back();
    for (const double f :
         {resonance_ghz(model.ls_nh, model.cs_pf), resonance_ghz(model.lp_nh, model.cp_pf)}) {
        if (f > lo && f < hi) {
            seeds.insert(std::upper_bound(seeds.begin(), seeds.end(), f), f);
        }
    }
    std::vector<double> out;
    out.reserve(seeds.size() * 2);
    Refiner refiner{model, z0_ohm, max_step, out};
    Complex previous = refiner.at(seeds[0]);
    out.push_back(seeds[0]);
    for (std::size_t i = 1; i < seeds.size(); ++i) {
        const Complex g = refiner.at(seeds[i]);
        if (seeds[i] > seeds[i - 1]) {
            const bool finite = std::isfinite(previous.real()) && std::isfinite(previous.imag()) &&
                                std::isfinite(g.real()) && std::isfinite(g.imag());
            if (finite) {
                refiner.refine(seeds[i - 1], previous, seeds[i], g, 0);
            }
        }
        out.push_back(seeds[i]);
        previous = g;
    }
    return out;
}

} // namespace veltrane::rf
