#include "rf/picture.h"
#include "model/units.h"

#include "rf/choices.h"
#include "rf/numbers.h"
#include "rf/response.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>
#include <utility>

namespace veltrane::rf {

namespace {

// Layout, in picture units.
constexpr double picture_width = 1000;
constexpr double picture_height = 590;
constexpr Point smith_centre{265, 320};
constexpr double smith_radius = 205;
constexpr Rect plot_area{590, 115, 380, 390};

// Dark on white, so that a printout on a grey-scale printer still tells the curves apart by
// weight and dash as well as by colour.
constexpr Colour black{0, 0, 0};
constexpr Colour grid_grey{150, 150, 150};
constexpr Colour label_grey{60, 60, 60};
constexpr Colour model_blue{0, 50, 160};
constexpr Colour standard_green{0, 110, 50};
constexpr Colour data_red{170, 0, 0};
constexpr Colour band_fill{222, 230, 242};
constexpr Colour white{255, 255, 255};

const Pen grid_pen{grid_grey, 0.6, Dash::Solid};
const Pen frame_pen{black, 1.0, Dash::Solid};
const Pen model_pen{model_blue, 2.2, Dash::Solid};
const Pen standard_pen{standard_green, 1.8, Dash::Dashed};
const Pen data_pen{data_red, 1.4, Dash::Solid};
const Pen marker_pen{black, 0.8, Dash::Dashed};

constexpr std::array<double, 6> resistance_circles = {0, 0.2, 0.5, 1, 2, 5};
constexpr std::array<double, 5> reactance_arcs = {0.2, 0.5, 1, 2, 5};

// Return loss is drawn up to this; a perfect match would be infinite.
constexpr double max_return_loss_db = 60;

constexpr double degrees = 180 / std::numbers::pi;

// Drops points closer than a fraction of a unit to the last one kept: a sweep of millions of
// frequencies draws the same curve with a few thousand points.
void add_point(std::vector<Point>& points, Point p) {
    if (!points.empty()) {
        const double dx = p.x - points.back().x;
        const double dy = p.y - points.back().y;
        if (dx * dx + dy * dy < 0.09) {
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
    for (double power = std::pow(10.0, std::floor(std::log10(lo)));
         power <= hi && ticks.size() < 50; power *= 10) {
        for (double factor : {1.0, 2.0, 5.0}) {
            const double value = factor * power;
            if (value >= lo * (1 - 1e-12) && value <= hi * (1 + 1e-12)) {
                ticks.push_back(value);
            }
        }
    }
    return ticks.size() >= 2 ? ticks : nice_ticks(lo, hi, 5);
}

class Builder {
  public:
    explicit Builder(const PlotInput& input) : input_(input) {
        picture_.width = picture_width;
        picture_.height = picture_height;
    }

    Picture build() {
        if (input_.draw_model) {
            model_g_ = model_reflections(input_.model, input_.f_ghz, input_.z0_ohm);
        }
        if (input_.standard) {
            standard_g_ = model_reflections(*input_.standard, input_.f_ghz, input_.z0_ohm);
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
        picture_.frame.smith_centre = smith_centre;
        picture_.frame.smith_radius = smith_radius;
        picture_.frame.plot_area = plot_area;
        if (!input_.f_ghz.empty()) {
            picture_.frame.f_lo_ghz = input_.f_ghz.front();
            picture_.frame.f_hi_ghz = input_.f_ghz.back();
        }
        picture_.frame.log_frequency = input_.log_frequency;
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

    void title() {
        if (!input_.draw_model) {
            text({picture_width / 2, 28},
                 input_.data != nullptr ? "Measured data: " + input_.data->source : "No data", 14,
                 Anchor::Middle, black, true);
            return;
        }
        const LumpedModel& m = input_.model;
        text({picture_width / 2, 28},
             (input_.model_label.empty() ? std::string{} : input_.model_label + ": ") +
                 std::string(topology_name(m.topology)) + ": " + element_summary(m) +
                 ", RL = " + readable(m.rl_ohm) + " \u03a9",
             14, Anchor::Middle, input_.model_flagged ? Colour{170, 0, 0} : black, true);
        if (input_.standard) {
            text({picture_width / 2, 50},
                 input_.standard_name + " values: " + element_summary(*input_.standard), 12,
                 Anchor::Middle, standard_green, true);
        }
    }

    void smith_chart() {
        const Point c = smith_centre;
        const double r = smith_radius;
        text({c.x, 78}, "Smith chart, z0 = " + readable(input_.z0_ohm) + " \u03a9", 12,
             Anchor::Middle, black, true);
        add(Circle{c, r, grid_pen, white});
        for (double rc : resistance_circles) {
            const double radius = 1 / (1 + rc);
            add(Circle{on_chart({rc / (1 + rc), 0}), r * radius, rc == 0 ? frame_pen : grid_pen,
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
                const Point at = on_chart(rim * 1.07);
                const Anchor anchor = rim.real() < -0.2  ? Anchor::End
                                      : rim.real() > 0.2 ? Anchor::Start
                                                         : Anchor::Middle;
                text({at.x, at.y + (sign > 0 ? 0 : 8)}, (sign > 0 ? "+j" : "\u2212j") + readable(x),
                     9, anchor, label_grey);
            }
        }
        for (double rc : resistance_circles) {
            const Point at = on_chart({(rc - 1) / (rc + 1), 0});
            text({at.x + 2, at.y - 3}, readable(rc), 9, Anchor::Start, label_grey);
        }
        if (!data_g_.empty()) {
            curve_on_chart(data_g_, data_pen);
        }
        if (input_.standard) {
            curve_on_chart(standard_g_, standard_pen);
        }
        if (input_.draw_model) {
            curve_on_chart(model_g_, model_pen);
            smith_markers();
        }
    }

    void curve_on_chart(const std::vector<Complex>& g, const Pen& pen) {
        Polyline line{{}, pen};
        for (Complex value : g) {
            add_point(line.points, on_chart(value));
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
            if (!std::isfinite(f)) {
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

    void smith_markers() {
        std::vector<Point> placed;
        for (const Marker& marker : markers()) {
            const Complex g = model_reflection(input_.model, marker.f_ghz, input_.z0_ohm);
            const Point p = on_chart(g);
            add(Circle{p, 3.5, Pen{black, 1.2, Dash::Solid}, white});
            const double magnitude = std::abs(g);
            const Complex direction = magnitude > 0.05 ? g / magnitude : Complex(0, 1);
            const Anchor anchor = direction.real() > 0.35    ? Anchor::Start
                                  : direction.real() < -0.35 ? Anchor::End
                                                             : Anchor::Middle;
            Point at{p.x + 9 * direction.real(), p.y - 9 * direction.imag() + 4};
            // Markers close together on the chart: each label moves down until it is clear of
            // those already placed.
            for (int tries = 0; tries < 10; ++tries) {
                const bool clear = std::none_of(placed.begin(), placed.end(), [&](Point q) {
                    return std::fabs(q.x - at.x) < 34 && std::fabs(q.y - at.y) < 12;
                });
                if (clear) {
                    break;
                }
                at.y += 12;
            }
            placed.push_back(at);
            text(at, marker.label, 10, anchor, black, true);
        }
    }

    Point on_chart(Complex g) const { return smith_point(picture_.frame, g); }
    double x_of(double f_ghz) const { return plot_x(picture_.frame, f_ghz); }
    double y_of(double db) const { return plot_y(picture_.frame, db); }

    void return_loss_plot() {
        const Rect& a = plot_area;
        text({a.x, a.y - 12},
             "Return loss (dB) against z0 = " + readable(input_.z0_ohm) + " \u03a9", 12,
             Anchor::Start, black, true);
        if (input_.f_ghz.size() < 2) {
            return;
        }
        db_scale();
        add(FilledRect{a, white});
        add(BeginClip{a});
        band_shading();
        add(EndClip{});
        for (double tick : nice_ticks(picture_.frame.db_lo, picture_.frame.db_hi, 6)) {
            const double y = y_of(tick);
            add(Line{{a.x, y}, {a.x + a.width, y}, grid_pen});
            add(Line{{a.x - 4, y}, {a.x, y}, frame_pen});
            text({a.x - 7, y + 4}, readable(tick), 10, Anchor::End);
        }
        const double lo = input_.f_ghz.front();
        const double hi = input_.f_ghz.back();
        for (double tick : input_.log_frequency ? log_ticks(lo, hi) : nice_ticks(lo, hi, 6)) {
            const double x = x_of(tick);
            add(Line{{x, a.y}, {x, a.y + a.height}, grid_pen});
            add(Line{{x, a.y + a.height}, {x, a.y + a.height + 4}, frame_pen});
            text({x, a.y + a.height + 17}, readable(tick), 10, Anchor::Middle);
        }
        text({a.x + a.width / 2, a.y + a.height + 38}, "Frequency (GHz)", 12, Anchor::Middle, black,
             true);
        add(BeginClip{a});
        frequency_markers();
        if (!data_g_.empty()) {
            curve_on_plot(data_f_, data_g_, data_pen);
        }
        if (input_.standard) {
            curve_on_plot(input_.f_ghz, standard_g_, standard_pen);
        }
        if (input_.draw_model) {
            curve_on_plot(input_.f_ghz, model_g_, model_pen);
        }
        add(EndClip{});
        add(Line{{a.x, a.y}, {a.x + a.width, a.y}, frame_pen});
        add(Line{{a.x + a.width, a.y}, {a.x + a.width, a.y + a.height}, frame_pen});
        add(Line{{a.x + a.width, a.y + a.height}, {a.x, a.y + a.height}, frame_pen});
        add(Line{{a.x, a.y + a.height}, {a.x, a.y}, frame_pen});
    }

    // The return-loss axis: from 0 (or the lowest value, for data with |Gamma| > 1) to the
    // highest value, at most 60 dB, in whole ticks.
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
        lo = std::max(lo, -20.0);
        hi = std::min(hi, max_return_loss_db);
        const std::vector<double> ticks = nice_ticks(lo, hi, 6);
        const double step = ticks.size() >= 2 ? ticks[1] - ticks[0] : 1;
        picture_.frame.db_lo = std::floor(lo / step + 1e-9) * step;
        picture_.frame.db_hi = std::ceil(hi / step - 1e-9) * step;
        if (!(picture_.frame.db_hi > picture_.frame.db_lo)) {
            picture_.frame.db_hi = picture_.frame.db_lo + 1;
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
        add(FilledRect{{x0, plot_area.y, x1 - x0, plot_area.height}, band_fill});
    }

    void frequency_markers() {
        const double lo = input_.f_ghz.front();
        const double hi = input_.f_ghz.back();
        double last_x = -1e9;
        int row = 0;
        for (const Marker& marker : markers()) {
            if (marker.f_ghz < lo || marker.f_ghz > hi) {
                continue;
            }
            const double x = x_of(marker.f_ghz);
            add(Line{{x, plot_area.y}, {x, plot_area.y + plot_area.height}, marker_pen});
            row = x - last_x < 40 ? (row + 1) % 3 : 0;
            last_x = x;
            text({x + 3, plot_area.y + 13 + 13 * row}, marker.label, 10, Anchor::Start, black,
                 true);
        }
    }

    void curve_on_plot(const std::vector<double>& f, const std::vector<Complex>& g,
                       const Pen& pen) {
        Polyline line{{}, pen};
        for (std::size_t i = 0; i < f.size() && i < g.size(); ++i) {
            add_point(line.points, {x_of(f[i]), y_of(return_loss_db(g[i]))});
        }
        if (line.points.size() >= 2) {
            add(std::move(line));
        }
    }

    void legend() {
        double x = 60;
        const double y = picture_height - 22;
        const auto entry = [&](const Pen& pen, const std::string& label) {
            add(Line{{x, y - 4}, {x + 30, y - 4}, pen});
            text({x + 36, y}, label, 11, Anchor::Start);
            x += 50 + 6.5 * static_cast<double>(label.size());
        };
        if (input_.draw_model) {
            entry(model_pen, "model");
        }
        if (input_.standard) {
            entry(standard_pen, "model with " + input_.standard_name + " values");
        }
        if (!data_g_.empty()) {
            entry(data_pen,
                  "data" + (input_.data->source.empty() ? std::string()
                                                        : " (" + input_.data->source + ")"));
        }
        if (input_.draw_model) {
            add(FilledRect{{x, y - 11, 30, 12}, band_fill});
            text({x + 36, y}, "band FL..FH", 11, Anchor::Start);
        }
    }

    const PlotInput& input_;
    Picture picture_;
    std::vector<Complex> model_g_;
    std::vector<Complex> standard_g_;
    std::vector<double> data_f_;
    std::vector<Complex> data_g_;
};

} // namespace

Picture model_picture(const PlotInput& input) {
    return Builder(input).build();
}

} // namespace veltrane::rf
