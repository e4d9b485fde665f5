#pragma once

// The matching network as a schematic in the shared display list: the source with its
// resistance, the series and shunt parts with their values from the source to the load, and the
// device. The window and the SVG draw the same operations.

#include "match/network.h"
#include "rf/picture.h"

#include <string>
#include <vector>

namespace veltrane::match {

// Where one symbol of the schematic lies: its two terminals (for a series part on the line, a
// before b from left to right; for a shunt part, a on the line and b on the ground rail) and
// the box its symbol and label take.
struct SchematicPart {
    Position position = Position::Series;
    Kind kind = Kind::L;
    rf::Point a, b;
    rf::Rect box;
    std::string label; // "L1 12.5 nH"
};

struct SchematicLayout {
    double width = 0.0, height = 0.0;
    double line_y = 0.0;   // the signal line
    double ground_y = 0.0; // the ground rail
    rf::Rect source;       // the generator with its resistance, at the left
    std::string source_label;
    std::vector<SchematicPart> parts; // from the source to the load
    rf::Rect device;                  // the load, at the right
    std::string device_label;
};

// The layout of `ladder` between a source of `source_ohm` and the device named `device`, in a
// strip `width` units wide. A measured part of `losses.parts` is labelled with its nominal value,
// its file and package ("L1 68 nH L0402_68N.s2p 0402").
[[nodiscard]] SchematicLayout schematic_layout(const Ladder& ladder, double source_ohm,
                                               const std::string& device, double width = 1000,
                                               const Losses& losses = {});

// Appends the schematic's operations to `picture`, moved down by `top`.
void draw_schematic(rf::Picture& picture, const SchematicLayout& layout, double top);

// `picture` with the schematic of `layout` added below it: the picture grows by the schematic's
// height, its charts stay where they were.
[[nodiscard]] rf::Picture with_schematic(rf::Picture picture, const SchematicLayout& layout);

} // namespace veltrane::match
