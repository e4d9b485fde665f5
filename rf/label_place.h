#pragma once

// Where labels go on a chart so that they cover neither each other nor what they name: each
// label takes the first of its candidate places that is clear of what is already there. No Qt.

#include "rf/chart_frame.h"

#include <span>
#include <string_view>
#include <vector>

namespace veltrane::rf {

struct Box {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0; // left, top, right, bottom

    [[nodiscard]] double overlap(const Box& other) const;
};

// The box a line of text of `size` and `characters` takes with its baseline start at `at`: a
// generous estimate (bold sans-serif glyphs average about 0.6 of the size).
[[nodiscard]] Box text_box(Point at, double size, std::size_t characters);
// The number of characters `text` shows (UTF-8 sequences count once).
[[nodiscard]] std::size_t shown_length(std::string_view text);

// Places for a label of `width` x `height` around a marker of `radius` at `p`, `gap` from its
// edge: right, left, above, below, then the four diagonals, then the same twice as far.
[[nodiscard]] std::vector<Box> around(Point p, double radius, double gap, double width,
                                      double height);

// The first of `candidates` inside `bounds` that overlaps none of `taken`, else the one that
// overlaps them least. Candidates must not be empty.
[[nodiscard]] Box place_label(std::span<const Box> candidates, std::span<const Box> taken,
                              const Rect& bounds);

} // namespace veltrane::rf
