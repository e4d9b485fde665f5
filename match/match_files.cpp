#include "match/match_files.h"
#include "match/parts.h"
#include "model/units.h"

#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <variant>

namespace veltrane::match {

namespace {

// The lowest frequency the files evaluate the network at: 1 Hz.
constexpr double lowest_ghz = 1e-9;

void append_element_lines(std::string& out, const Ladder& ladder, const Losses& losses,
                          char comment) {
    out += comment;
    out += " Elements from the source to the load:\n";
    for (std::size_t k = 0; k < ladder.size(); ++k) {
        const Element& e = ladder[k];
        out += comment;
        out += "   " + std::to_string(k + 1) + " " + std::string{position_name(e.position)} + " " +
               std::string{kind_name(e.kind)};
        if (is_line(e.kind)) {
            out += " Z0 = " + rf::shortest(e.z0_ohm) + " ohm, " + rf::shortest(e.value) +
                   " deg at " + rf::shortest(e.at_ghz) + " GHz\n";
            continue;
        }
        out += " = " + rf::shortest(e.value) + " " + std::string{unit_name(e.kind)};
        if (e.part >= 0 && losses.parts) {
            const Part& part = losses.parts->parts[static_cast<std::size_t>(e.part)];
            out += ", measured part " + part.file +
                   (part.package.empty() ? "" : " (" + part.package + ")");
        }
        out += "\n";
    }
    if (losses.inductor) {
        out += comment;
        out += " Inductors: Q = " + rf::shortest(losses.inductor->q) + " at " +
               rf::shortest(losses.inductor->at_ghz) + " GHz, growing as sqrt(f)\n";
    }
    if (losses.capacitor) {
        out += comment;
        out +=
            " Capacitors: Q = " + rf::shortest(losses.capacitor->q) + " (constant loss tangent)\n";
    }
    if (losses.inductor_srf_ghz) {
        out += comment;
        out += " Inductors: self-resonant at " + rf::shortest(*losses.inductor_srf_ghz) +
               " GHz (a parallel C of 1 / ((2 pi f)^2 L))\n";
    }
    if (losses.capacitor_esl_nh || losses.capacitor_esr_ohm) {
        out += comment;
        out += " Capacitors: in series " + rf::shortest(losses.capacitor_esl_nh.value_or(0)) +
               " nH and " + rf::shortest(losses.capacitor_esr_ohm.value_or(0)) + " ohm\n";
    }
}

// A measured part as its equivalent circuit fitted over the band, with a comment giving the fit.
void append_part_equivalent(std::string& out, const Element& e, const PartLibrary& library,
                            const Band& band, const std::string& name, const std::string& node,
                            const std::string& to) {
    const Part& part = library.parts[static_cast<std::size_t>(e.part)];
    PartEquivalent q = fit_equivalent(library, e.part, band.fl_ghz, band.fh_ghz);
    if (!(std::isfinite(q.r_ohm) && std::isfinite(q.l_nh) && std::isfinite(q.c_pf) &&
          std::isfinite(q.worst_error) && (e.kind == Kind::L || q.c_pf > 0))) {
        // Nothing to fit (an impedance of 0 or beyond numbers): the nominal value alone.
        out +=
            "* " + name + ": " + part.file + " cannot be fitted over the band: its nominal value\n";
        q = e.kind == Kind::L ? PartEquivalent{0.0, e.value, 0.0, 0.0}
                              : PartEquivalent{0.0, 0.0, e.value, 0.0};
    } else {
        out += "* " + name + ": " + part.file +
               (part.package.empty() ? "" : " (" + part.package + ")") +
               (e.kind == Kind::L ? " as (R + L) || C" : " as R + L + C") +
               " fitted over the band, within " + rf::readable(100 * q.worst_error, 3) +
               " % of its measured impedance\n";
    }
    // Parts of no value are left out: a resistance or series inductance of 0 is a wire.
    const auto line = [&out](const std::string& part, const std::string& a, const std::string& b,
                             double value) {
        out += part + " " + a + " " + b + " " + rf::full_precision(value) + "\n";
    };
    const bool r = q.r_ohm > 0;
    if (e.kind == Kind::L) {
        line("L" + name, node, r ? "r" + name : to, nh_to_h(q.l_nh));
        if (r) {
            line("R" + name, "r" + name, to, q.r_ohm);
        }
        if (q.c_pf > 0) {
            line("CP" + name, node, to, pf_to_f(q.c_pf));
        }
    } else {
        const bool l = q.l_nh > 0;
        line("C" + name, node, l || r ? "s" + name : to, pf_to_f(q.c_pf));
        if (l) {
            line("LS" + name, "s" + name, r ? "t" + name : to, nh_to_h(q.l_nh));
        }
        if (r) {
            line("RS" + name, l ? "t" + name : "s" + name, to, q.r_ohm);
        }
    }
}

void append_complex(std::string& out, Complex value) {
    out += ' ';
    rf::append_shortest(out, value.real() + 0.0);
    out += ' ';
    rf::append_shortest(out, value.imag() + 0.0);
}

// A line or stub as ngspice's lossless T: Z0 and the delay TD = theta / (2 pi f) that gives its
// electrical length. A line runs from `node` to `to`; a stub's near end sits between `node` and
// `to`, its far end left open through 1 Tohm (ngspice wants a path at DC) or shorted.
void append_line(std::string& out, const Element& e, const std::string& name,
                 const std::string& node, const std::string& to) {
    const double td = e.at_ghz > 0 ? e.value / 360 / ghz_to_hz(e.at_ghz) : 0.0;
    const std::string values =
        " Z0=" + rf::full_precision(e.z0_ohm) + " TD=" + rf::full_precision(td) + "\n";
    if (e.kind == Kind::Line) {
        out += "T" + name + " " + node + " ground " + to + " ground" + values;
        return;
    }
    const std::string far = e.kind == Kind::OpenStub ? "f" + name : to;
    out += "T" + name + " " + node + " " + to + " " + far + " " + to + values;
    if (e.kind == Kind::OpenStub) {
        out += "RF" + name + " " + far + " " + to + " 1e12\n";
    }
}

// Finite for any input: NaN and infinities become 0 (they only arise from broken loads).
Complex finite(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag()) ? value : Complex{};
}

} // namespace

std::string ladder_summary(const Ladder& ladder) {
    std::string text;
    for (const Element& e : ladder) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::string{position_name(e.position)} + " " + std::string{kind_name(e.kind)} + " ";
        if (is_line(e.kind)) {
            text += rf::readable(e.z0_ohm) + " ohm ";
        }
        text += rf::readable(e.value) + " " + std::string{unit_name(e.kind)};
    }
    return text;
}

std::string network_touchstone(const Ladder& ladder, const Losses& losses, double source_ohm,
                               const std::vector<double>& f_ghz, std::string_view program) {
    std::string out = "! Veltrane matching network, written by " + std::string{program} +
                      "\n! Port 1 at the source, port 2 at the load\n";
    append_element_lines(out, ladder, losses, '!');
    out += "# GHz S RI R ";
    rf::append_shortest(out, source_ohm);
    out += '\n';
    for (double f : f_ghz) {
        const SParameters s =
            s_parameters(chain_matrix(ladder, std::max(f, lowest_ghz), losses), source_ohm);
        rf::append_shortest(out, f);
        append_complex(out, finite(s.s11));
        append_complex(out, finite(s.s21));
        append_complex(out, finite(s.s12));
        append_complex(out, finite(s.s22));
        out += '\n';
    }
    return out;
}

std::vector<Complex> matched_reflections(const Ladder& ladder, const Losses& losses,
                                         double source_ohm, const Load& load) {
    std::vector<Complex> result;
    for (std::size_t i = 0; i < load.f_ghz.size(); ++i) {
        const Abcd m = chain_matrix(ladder, std::max(load.f_ghz[i], lowest_ghz), losses);
        result.push_back(finite(reflection(input_impedance(m, load.z_ohm[i]), source_ohm)));
    }
    return result;
}

std::string matched_touchstone(const Ladder& ladder, const Losses& losses, double source_ohm,
                               const Load& load, std::string_view program) {
    std::string out =
        "! Veltrane matched input (network and load), written by " + std::string{program} + "\n";
    append_element_lines(out, ladder, losses, '!');
    out += "# GHz S RI R ";
    rf::append_shortest(out, source_ohm);
    out += '\n';
    const std::vector<Complex> g = matched_reflections(ladder, losses, source_ohm, load);
    for (std::size_t i = 0; i < g.size(); ++i) {
        rf::append_shortest(out, load.f_ghz[i]);
        append_complex(out, g[i]);
        out += '\n';
    }
    return out;
}

std::string network_spice(const Ladder& ladder, const Losses& losses, double source_ohm,
                          const Band& band, std::string_view program) {
    const double centre = std::sqrt(band.fl_ghz * band.fh_ghz);
    std::string out = "* Veltrane matching network, written by " + std::string{program} + "\n";
    out += "* Source resistance " + rf::shortest(source_ohm) + " ohm, band " +
           rf::shortest(band.fl_ghz) + " to " + rf::shortest(band.fh_ghz) + " GHz\n*\n";
    append_element_lines(out, ladder, losses, '*');
    if (losses.inductor || losses.capacitor) {
        out += "* Loss resistances are the parts' at the band's centre, " + rf::shortest(centre) +
               " GHz\n";
    }
    out += "*\n* Example deck (the model written by --spice as the load; the impedance at the\n"
           "* source pin is v(in) for a 1 A source):\n"
           "*   .include model.cir\n"
           "*   X1 in load 0 veltrane_match\n"
           "*   X2 load 0 veltrane_model\n"
           "*   I1 0 in AC 1\n"
           "*   .ac lin 201 " +
           rf::full_precision(ghz_to_hz(band.fl_ghz)) + " " +
           rf::full_precision(ghz_to_hz(band.fh_ghz)) + "\n*   .print ac vr(in) vi(in)\n*\n";
    out += ".subckt veltrane_match source load ground\n";
    const auto series_count =
        static_cast<std::size_t>(std::count_if(ladder.begin(), ladder.end(), [](const Element& e) {
            return e.position == Position::Series;
        }));
    if (series_count == 0) {
        out += "Vlink source load 0\n";
    }
    std::string node = "source";
    std::size_t series_seen = 0;
    // The loss resistances of the Q model alone: the parasitics are parts of their own.
    Losses q_only = losses;
    q_only.inductor_srf_ghz.reset();
    q_only.capacitor_esl_nh.reset();
    q_only.capacitor_esr_ohm.reset();
    for (std::size_t k = 0; k < ladder.size(); ++k) {
        const Element& e = ladder[k];
        const std::string name = std::to_string(k + 1);
        std::string to = "ground";
        if (e.position == Position::Series) {
            ++series_seen;
            to = series_seen == series_count ? "load" : "n" + name;
        }
        const Complex z = branch_impedance(e, centre, q_only);
        if (is_line(e.kind)) {
            append_line(out, e, name, node, to);
        } else if (e.part >= 0 && losses.parts) {
            append_part_equivalent(out, e, *losses.parts, band, name, node, to);
        } else if (e.kind == Kind::L) {
            const std::string end = z.real() > 0 ? "r" + name : to;
            out += "L" + name + " " + node + " " + end + " " +
                   rf::full_precision(nh_to_h(e.value)) + "\n";
            if (z.real() > 0) {
                out +=
                    "R" + name + " " + end + " " + to + " " + rf::full_precision(z.real()) + "\n";
            }
            if (const auto srf = losses.inductor_srf_ghz) {
                const double w = 2 * std::numbers::pi * ghz_to_hz(*srf);
                out += "CP" + name + " " + node + " " + to + " " +
                       rf::full_precision(1 / (w * w * nh_to_h(e.value))) + "\n";
            }
        } else {
            const auto& esl = losses.capacitor_esl_nh;
            const auto& esr = losses.capacitor_esr_ohm;
            // The capacitance, then its series L and R on to `to`.
            const std::string mid = esl || esr ? "s" + name : to;
            out += "C" + name + " " + node + " " + mid + " " +
                   rf::full_precision(pf_to_f(e.value)) + "\n";
            const Complex y = 1.0 / z;
            if (y.real() > 0) {
                out += "R" + name + " " + node + " " + mid + " " +
                       rf::full_precision(1 / y.real()) + "\n";
            }
            if (esl) {
                out += "LS" + name + " " + mid + " " + (esr ? "t" + name : to) + " " +
                       rf::full_precision(nh_to_h(*esl)) + "\n";
            }
            if (esr) {
                out += "RS" + name + " " + (esl ? "t" + name : mid) + " " + to + " " +
                       rf::full_precision(*esr) + "\n";
            }
        }
        if (e.position == Position::Series) {
            node = to;
        }
    }
    out += ".ends veltrane_match\n";
    return out;
}

void add_element_path(rf::Picture& picture, const ElementPath& path, double z0_ohm) {
    constexpr rf::Colour path_magenta{200, 0, 120};
    const rf::ChartFrame& frame = picture.frame;
    const double t = picture.text_size;
    const rf::Pen pen{path_magenta, 1.4, rf::Dash::Solid};
    const rf::Rect& square = frame.smith_area;
    const bool cut = square.width > 0 && square.height > 0;
    // Labels point inwards, so that they stay on the chart.
    const double middle_x = cut ? square.x + square.width / 2 : frame.smith_centre.x;
    std::vector<rf::Operation> ops;
    rf::Polyline line{{}, pen};
    for (const Complex& z : path.z_ohm) {
        const Complex g = reflection(z, z0_ohm);
        if (std::isfinite(g.real()) && std::isfinite(g.imag()) && std::abs(g) <= 1.5) {
            line.points.push_back(rf::smith_point(frame, g));
        }
    }
    if (line.points.size() >= 2) {
        ops.emplace_back(std::move(line));
    }
    for (std::size_t j = 0; j < path.joints.size(); ++j) {
        const std::size_t i = path.joints[j];
        if (i >= path.z_ohm.size()) {
            continue;
        }
        const Complex g = reflection(path.z_ohm[i], z0_ohm);
        if (!std::isfinite(g.real()) || !std::isfinite(g.imag()) || std::abs(g) > 1.5) {
            continue;
        }
        const rf::Point p = rf::smith_point(frame, g);
        ops.emplace_back(rf::Circle{p, 0.28 * t, pen, path_magenta});
        const bool first = j == 0;
        const bool last = j + 1 == path.joints.size();
        if (first || last) {
            const bool right = p.x > middle_x;
            ops.emplace_back(rf::Text{{right ? p.x - 0.6 * t : p.x + 0.6 * t, p.y - 0.5 * t},
                                      first ? "load" : "in",
                                      t,
                                      right ? rf::Anchor::End : rf::Anchor::Start,
                                      path_magenta,
                                      true});
        }
    }
    if (ops.empty()) {
        return;
    }
    if (cut) {
        picture.operations.emplace_back(rf::BeginClip{square});
    }
    for (rf::Operation& op : ops) {
        picture.operations.push_back(std::move(op));
    }
    if (cut) {
        picture.operations.emplace_back(rf::EndClip{});
    }
    const rf::Point corner = cut ? rf::Point{square.x, square.y}
                                 : rf::Point{frame.smith_centre.x - frame.smith_radius,
                                             frame.smith_centre.y - frame.smith_radius};
    picture.operations.emplace_back(
        rf::Text{{corner.x, corner.y + t},
                 "element path at " + rf::readable(path.f_ghz, 4) + " GHz",
                 t,
                 rf::Anchor::Start,
                 path_magenta,
                 false});
}

rf::Picture match_picture(const MatchPlot& plot) {
    // The matched input drawn as the picture's data curve sets the axes; the load alone, the
    // band and the bound are drawn over it.
    rf::PortData matched;
    matched.source = "matched";
    matched.reference_ohm = plot.source_ohm;
    matched.f_ghz = plot.load.f_ghz;
    matched.s = matched_reflections(plot.ladder, plot.losses, plot.source_ohm, plot.load);
    rf::PlotInput input;
    input.f_ghz = plot.load.f_ghz;
    input.z0_ohm = plot.source_ohm;
    input.data = &matched;
    input.draw_model = false;
    if (plot.bound) {
        input.db_mark = plot.bound->rl_db; // the return-loss axis reaches the bound's line
    }
    rf::Picture picture = rf::model_picture(input);

    constexpr rf::Colour data_red{170, 0, 0};
    constexpr rf::Colour matched_blue{0, 50, 160};
    constexpr rf::Colour load_grey{110, 110, 110};
    constexpr rf::Colour band_colour{0, 110, 50};
    constexpr rf::Colour bound_colour{200, 90, 0};
    for (rf::Operation& op : picture.operations) {
        if (auto* line = std::get_if<rf::Polyline>(&op); line && line->pen.colour == data_red) {
            line->pen.colour = matched_blue;
            line->pen.width = 2.2;
        } else if (auto* l = std::get_if<rf::Line>(&op); l && l->pen.colour == data_red) {
            l->pen.colour = matched_blue;
        } else if (auto* text = std::get_if<rf::Text>(&op)) {
            if (text->text == "Measured data: matched") {
                text->text = "Matching network: " + ladder_summary(plot.ladder);
                text->size = 12;
            } else if (text->text == "data (matched)") {
                text->text = "matched input";
            }
        }
    }
    const rf::ChartFrame& frame = picture.frame;
    const double f_lo = frame.f_lo_ghz;
    const double f_hi = frame.f_hi_ghz;
    const auto x_of = [&](double f) {
        return frame.plot_area.x + frame.plot_area.width * (f - f_lo) / (f_hi - f_lo);
    };
    const auto y_of = [&](double db) {
        const double t = std::clamp((db - frame.db_lo) / (frame.db_hi - frame.db_lo), -0.1, 1.1);
        return frame.plot_area.y + frame.plot_area.height * (1 - t);
    };
    const rf::Pen load_pen{load_grey, 1.4, rf::Dash::Solid};
    rf::Polyline on_smith{{}, load_pen};
    rf::Polyline on_plot{{}, load_pen};
    for (std::size_t i = 0; i < plot.load.f_ghz.size(); ++i) {
        const Complex g = finite(reflection(plot.load.z_ohm[i], plot.source_ohm));
        if (std::abs(g) <= 1.5) {
            on_smith.points.push_back({frame.smith_centre.x + frame.smith_radius * g.real(),
                                       frame.smith_centre.y - frame.smith_radius * g.imag()});
        }
        on_plot.points.push_back({x_of(plot.load.f_ghz[i]), y_of(return_loss_db(std::abs(g)))});
    }
    const rf::Rect& a = frame.plot_area;
    picture.operations.emplace_back(rf::BeginClip{{0, 0, picture.width, a.y + a.height}});
    if (on_smith.points.size() >= 2) {
        picture.operations.emplace_back(std::move(on_smith));
    }
    picture.operations.emplace_back(rf::EndClip{});
    const double centre = std::sqrt(plot.band.fl_ghz * plot.band.fh_ghz);
    add_element_path(picture,
                     element_path(plot.ladder, plot.losses, load_at(plot.load, centre), centre),
                     plot.source_ohm);
    picture.operations.emplace_back(rf::BeginClip{a});
    if (f_hi > f_lo && on_plot.points.size() >= 2) {
        picture.operations.emplace_back(std::move(on_plot));
        for (double f : {plot.band.fl_ghz, plot.band.fh_ghz}) {
            picture.operations.emplace_back(rf::Line{
                {x_of(f), a.y}, {x_of(f), a.y + a.height}, {band_colour, 1.2, rf::Dash::Dashed}});
        }
        if (plot.bound) {
            const double y = y_of(plot.bound->rl_db);
            picture.operations.emplace_back(rf::Line{{x_of(plot.band.fl_ghz), y},
                                                     {x_of(plot.band.fh_ghz), y},
                                                     {bound_colour, 1.6, rf::Dash::Dotted}});
        }
    }
    picture.operations.emplace_back(rf::EndClip{});
    // After the picture's own legend entry ("matched input"), on its line, in its size.
    double x = 0;
    double y = picture.height - 9;
    double size = 9;
    for (const rf::Operation& op : picture.operations) {
        if (const auto* text = std::get_if<rf::Text>(&op); text && text->text == "matched input") {
            size = text->size;
            y = text->at.y;
            x = text->at.x + 0.6 * size * static_cast<double>(text->text.size()) + 1.5 * size;
        }
    }
    const auto entry = [&](const rf::Pen& pen, const std::string& label) {
        picture.operations.emplace_back(
            rf::Line{{x, y - 0.4 * size}, {x + 2.6 * size, y - 0.4 * size}, pen});
        picture.operations.emplace_back(
            rf::Text{{x + 3.1 * size, y}, label, size, rf::Anchor::Start, {0, 0, 0}, false});
        x += 4.6 * size + 0.6 * size * static_cast<double>(label.size());
    };
    entry(load_pen, "load alone");
    entry({band_colour, 1.2, rf::Dash::Dashed}, "band edges");
    if (plot.bound) {
        entry({bound_colour, 1.6, rf::Dash::Dotted},
              "Bode-Fano bound, RL " + rf::readable(plot.bound->rl_db, 4) + " dB");
    }
    return picture;
}

} // namespace veltrane::match
