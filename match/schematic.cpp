#include "match/schematic.h"

#include "match/parts.h"

#include "rf/numbers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane::match {

namespace {

// Layout, in picture units.
constexpr double strip_height = 150;
constexpr double line_y = 45;
constexpr double ground_y = 115;
constexpr double left_margin = 20;
constexpr double source_width = 120;
constexpr double device_width = 110;
constexpr double largest_slot = 120;
constexpr double symbol_length = 40;
constexpr double label_char_width = 6.2;  // of the labels' 11-unit text, about
constexpr double shunt_label_offset = 14; // a shunt part's label from its symbol's axis

constexpr rf::Colour black{0, 0, 0};
constexpr rf::Colour part_blue{0, 50, 160};
const rf::Pen wire_pen{black, 1.3, rf::Dash::Solid};
const rf::Pen part_pen{part_blue, 1.8, rf::Dash::Solid};

class Painter {
  public:
    Painter(rf::Picture& picture, double top) : picture_(picture), top_(top) {}

    void line(rf::Point a, rf::Point b, const rf::Pen& pen = wire_pen) {
        picture_.operations.emplace_back(rf::Line{at(a), at(b), pen});
    }
    void text(rf::Point p, std::string s, rf::Anchor anchor, bool bold = false) {
        picture_.operations.emplace_back(rf::Text{at(p), std::move(s), 11, anchor, black, bold});
    }

    // A part's symbol centred between a and b (a horizontal or a vertical run), with leads to
    // both.
    void symbol(Kind kind, rf::Point a, rf::Point b) {
        const bool across = a.x == b.x;
        const rf::Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
        const double half = symbol_length / 2;
        // Along the run, from the middle.
        const auto along = [&](double t, double side) -> rf::Point {
            return across ? rf::Point{mid.x + side, mid.y + t} : rf::Point{mid.x + t, mid.y - side};
        };
        if (kind == Kind::L) {
            line(a, along(-half, 0));
            for (int k = 0; k < 4; ++k) {
                const rf::Point c = along(-half + 5 + 10 * k, 0);
                // Humps above a horizontal run, to the right of a vertical one.
                picture_.operations.emplace_back(
                    rf::Arc{at(c), 5, across ? -90.0 : 0.0, 180, part_pen});
            }
            line(along(half, 0), b);
        } else {
            line(a, along(-4, 0));
            line(along(-4, -13), along(-4, 13), part_pen);
            line(along(4, -13), along(4, 13), part_pen);
            line(along(4, 0), b);
        }
    }

    void resistor(rf::Point a, rf::Point b) {
        const double half = symbol_length / 2;
        const double mid = (a.x + b.x) / 2;
        line(a, {mid - half, a.y});
        rf::Polyline zigzag{{at({mid - half, a.y})}, part_pen};
        for (int k = 0; k < 6; ++k) {
            const double x = mid - half + symbol_length * (k + 0.5) / 6;
            zigzag.points.push_back(at({x, a.y + (k % 2 == 0 ? -6.0 : 6.0)}));
        }
        zigzag.points.push_back(at({mid + half, a.y}));
        picture_.operations.emplace_back(std::move(zigzag));
        line({mid + half, a.y}, b);
    }

    void generator(rf::Point centre, double radius) {
        picture_.operations.emplace_back(rf::Circle{at(centre), radius, wire_pen, std::nullopt});
        rf::Polyline wave{{}, wire_pen};
        for (int k = 0; k <= 16; ++k) {
            const double t = k / 16.0;
            wave.points.push_back(
                at({centre.x - radius * 0.6 + 1.2 * radius * t,
                    centre.y - radius * 0.35 * std::sin(2 * std::numbers::pi * t)}));
        }
        picture_.operations.emplace_back(std::move(wave));
    }

    void box(const rf::Rect& r) {
        line({r.x, r.y}, {r.x + r.width, r.y});
        line({r.x + r.width, r.y}, {r.x + r.width, r.y + r.height});
        line({r.x + r.width, r.y + r.height}, {r.x, r.y + r.height});
        line({r.x, r.y + r.height}, {r.x, r.y});
    }

  private:
    rf::Point at(rf::Point p) const { return {p.x, p.y + top_}; }

    rf::Picture& picture_;
    double top_;
};

std::string part_label(const Element& e, std::size_t index, const Losses& losses) {
    std::string label = std::string{kind_name(e.kind)} + std::to_string(index + 1) + " " +
                        rf::readable(e.value, 4) + " " + std::string{unit_name(e.kind)};
    if (e.part >= 0 && losses.parts) {
        const Part& part = losses.parts->parts[static_cast<std::size_t>(e.part)];
        label += " " + part.file + (part.package.empty() ? "" : " " + part.package);
    }
    return label;
}

} // namespace

SchematicLayout schematic_layout(const Ladder& ladder, double source_ohm, const std::string& device,
                                 double width, const Losses& losses) {
    SchematicLayout layout;
    layout.width = width;
    layout.height = strip_height;
    layout.line_y = line_y;
    layout.ground_y = ground_y;
    layout.source = {left_margin, line_y - 25, source_width, ground_y - line_y + 35};
    layout.source_label = "source " + rf::readable(source_ohm, 4) + " \u03a9";
    const double first = layout.source.x + layout.source.width;
    const double room = width - first - device_width - 2 * left_margin;
    // A measured part's label names its file and package: its slot widens to hold the label (a
    // shunt part's runs right of its symbol, a series part's is centred above it), as far as the
    // strip has room.
    double wanted = largest_slot;
    for (std::size_t k = 0; k < ladder.size(); ++k) {
        if (ladder[k].part >= 0 && losses.parts) {
            const double text =
                label_char_width * static_cast<double>(part_label(ladder[k], k, losses).size());
            wanted = std::max(wanted, ladder[k].position == Position::Shunt
                                          ? 2 * (shunt_label_offset + text) + 8
                                          : text + 8);
        }
    }
    const double slot =
        ladder.empty() ? 0.0 : std::min(wanted, room / static_cast<double>(ladder.size()));
    double x = first;
    for (std::size_t k = 0; k < ladder.size(); ++k) {
        const Element& e = ladder[k];
        SchematicPart part{e.position, e.kind, {}, {}, {}, part_label(e, k, losses)};
        if (e.position == Position::Series) {
            part.a = {x, line_y};
            part.b = {x + slot, line_y};
            part.box = {x + 2, line_y - 30, slot - 4, 40};
        } else {
            part.a = {x + slot / 2, line_y};
            part.b = {x + slot / 2, ground_y};
            part.box = {x + 2, line_y + 5, slot - 4, ground_y - line_y - 10};
        }
        layout.parts.push_back(std::move(part));
        x += slot;
    }
    layout.device = {x + left_margin, line_y - 10, device_width, ground_y - line_y + 20};
    layout.device_label = device.empty() ? std::string{"device"} : device;
    return layout;
}

void draw_schematic(rf::Picture& picture, const SchematicLayout& layout, double top) {
    Painter p(picture, top);
    const rf::Rect& s = layout.source;
    const double y = layout.line_y;
    const double g = layout.ground_y;
    // The generator and its resistance.
    const rf::Point centre{s.x + 20, (y + g) / 2};
    const double radius = 14;
    p.generator(centre, radius);
    p.line({centre.x, y}, {centre.x, centre.y - radius});
    p.line({centre.x, centre.y + radius}, {centre.x, g});
    p.resistor({centre.x, y}, {s.x + s.width, y});
    p.text({s.x + s.width / 2 + 10, y - 14}, layout.source_label, rf::Anchor::Middle);
    // The parts; the line runs straight past a shunt part.
    for (const SchematicPart& part : layout.parts) {
        if (part.position == Position::Series) {
            p.symbol(part.kind, part.a, part.b);
            p.text({(part.a.x + part.b.x) / 2, y - 16}, part.label, rf::Anchor::Middle);
        } else {
            const double x0 = part.box.x - 2;
            p.line({x0, y}, {x0 + part.box.width + 4, y});
            p.symbol(part.kind, part.a, part.b);
            p.text({part.a.x + shunt_label_offset, (y + g) / 2 + 4}, part.label, rf::Anchor::Start);
        }
    }
    // To the device, and the ground rail under everything.
    const rf::Rect& d = layout.device;
    const double end = layout.parts.empty() ? s.x + s.width
                       : layout.parts.back().position == Position::Series
                           ? layout.parts.back().b.x
                           : layout.parts.back().box.x + layout.parts.back().box.width + 2;
    p.line({end, y}, {d.x, y});
    p.line({centre.x, g}, {d.x, g});
    p.box(d);
    p.text({d.x + d.width / 2, (y + g) / 2 + 4}, layout.device_label, rf::Anchor::Middle, true);
    // The ground symbol under the generator.
    for (int k = 0; k < 3; ++k) {
        const double half = 10 - 3.5 * k;
        p.line({centre.x - half, g + 4 * k}, {centre.x + half, g + 4 * k});
    }
}

rf::Picture with_schematic(rf::Picture picture, const SchematicLayout& layout) {
    const double top = picture.height;
    picture.height += layout.height;
    picture.operations.emplace_back(
        rf::FilledRect{{0, top, picture.width, layout.height}, picture.background});
    draw_schematic(picture, layout, top);
    return picture;
}

} // namespace veltrane::match
