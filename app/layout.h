#pragma once

// The Qt windows built from the design tables of layout_table.h (see build_controls).

#include "app/layout_table.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <span>
#include <string_view>

class QWidget;

namespace veltrane::app {

[[nodiscard]] constexpr QRect to_pixels(Twips t) {
    return {twips_to_px(t.left), twips_to_px(t.top), twips_to_px(t.width), twips_to_px(t.height)};
}

[[nodiscard]] QFont font_for(FontRole role);
[[nodiscard]] QString qstring(std::string_view utf8);

// Creates the controls of `table` as children of `window` (containers before their contents),
// with names, texts, geometry, fonts, colours and accessibility, and chains the focus-taking
// ones in tab order. Option buttons are not grouped here.
void build_controls(QWidget& window, std::span<const Control> table);

} // namespace veltrane::app
