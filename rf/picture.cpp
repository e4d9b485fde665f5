// The picture of a model: what its parts share (tick values, points, the title and the legend),
// where the charts lie and the frequencies a model's curve is drawn at. The Smith chart is drawn
// in picture_smith.cpp, the return-loss plot in picture_plot.cpp.

#include "rf/picture.h"
#include "model/units.h"

#include "rf/choices.h"
#include "rf/label_place.h"
#include "rf/numbers.h"
#include "rf/picture_builder.h"
#include "rf/response.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

namespace veltrane::rf {

namespace picture_detail {

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

void add_point(std::vector<Point>& points, Point p, double pen_width) {
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

Builder::Builder(const PlotInput& input) : input_(input), t_(std::max(input.text_size, 1.0)) {
    picture_.width = input.width > 0 && std::isfinite(input.width) ? input.width : 1000;
    picture_.height = input.height > 0 && std::isfinite(input.height) ? input.height : 600;
    picture_.text_size = t_;
}

Picture Builder::build() {
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

void Builder::title() {
    const double mid = picture_.width / 2;
    if (!input_.draw_model) {
        text({mid, header_y(0)},
             input_.data != nullptr ? "Measured data: " + input_.data->source : "No data", 1.3 * t_,
             Anchor::Middle, black, true);
        return;
    }
    const LumpedModel& m = input_.model;
    std::string line = (input_.model_label.empty() ? std::string{} : input_.model_label + ": ") +
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

void Builder::legend() {
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
    for (const auto& [fill, label] : input_.extra_swatches) {
        swatch(fill, label);
    }
}

} // namespace picture_detail

namespace {

constexpr std::size_t max_curve_points = 60000;

double resonance_ghz(double l_nh, double c_pf) {
    const double product = l_nh * c_pf;
    return product > 0 && std::isfinite(product) ? 5.0329212104487 / std::sqrt(product) : 0.0;
}

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
    return picture_detail::Builder(input).build();
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
