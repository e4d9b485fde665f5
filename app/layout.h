#pragma once

// The design of the two windows as data: every control with its name, kind, container, caption,
// position and size in twips, font, colour and place in the tab order. The windows are built
// from these tables in one loop each (see build_controls).

#include "model/quantities.h"

#include <QFont>
#include <QRect>
#include <QString>

#include <span>
#include <string_view>

class QWidget;

namespace veltrane::app {

// 1440 twips to the inch, 96 pixels to the inch: 15 twips to a (device-independent) pixel.
inline constexpr int twips_per_pixel = 15;

// The one conversion rule from twips to pixels (nearest pixel).
[[nodiscard]] constexpr int twips_to_px(int twips) {
    return (twips >= 0 ? twips + twips_per_pixel / 2 : twips - twips_per_pixel / 2) /
           twips_per_pixel;
}

struct Twips {
    int left;
    int top;
    int width;
    int height;
};

[[nodiscard]] constexpr QRect to_pixels(Twips t) {
    return {twips_to_px(t.left), twips_to_px(t.top), twips_to_px(t.width), twips_to_px(t.height)};
}

enum class Kind {
    Frame,   // captioned frame (QGroupBox)
    Input,   // editable input field (QLineEdit)
    Result,  // editable result field, written by the calculation (QLineEdit)
    Message, // the message field, hidden at start (QLineEdit)
    Option,  // option button of its frame's exclusive group (QRadioButton)
    Command, // command button (QPushButton)
    Label,   // static text (QLabel)
    Picture, // picture box showing a bitmap from its top-left corner, framed when focused
};

// The fonts of the design. The designers' fonts are mapped to what the platform has:
// Arial to Liberation Sans (metric compatible), the dialog font and MS Sans Serif to
// Liberation Sans of the same size.
enum class FontRole {
    Dialog,       // default dialog font, 8.25 pt regular
    DialogBold,   // MS Sans Serif 8.25 pt bold
    Arial,        // Arial 8.25 pt regular
    Brand,        // Arial 9.75 pt bold italic
    AboutCredit,  // Arial 14.25 pt italic
    AboutContact, // Arial 11.25 pt italic
};

enum class Colour {
    Default,
    Red,         // rgb(255, 0, 0)
    LightYellow, // rgb(255, 255, 128)
};

struct Control {
    std::string_view name;            // objectName
    Kind kind;                        //
    std::string_view parent;          // containing frame, empty for the window itself
    std::string_view text;            // caption or default text (UTF-8)
    Twips geometry;                   // relative to the container's top-left corner
    FontRole font;                    //
    int tab;                          // place in the tab order (used by controls that take focus)
    std::string_view accessible_name; // what a screen reader announces; empty: the caption
    Colour colour = Colour::Default;
    std::string_view tooltip = {};      // the quantity and its unit, or what a choice means
    const Quantity* quantity = nullptr; // the calculator's quantity a text field holds
};

// Client areas.
inline constexpr Twips main_window_client{0, 0, 9360, 4845};
inline constexpr Twips about_window_client{0, 0, 9360, 1170};

[[nodiscard]] std::span<const Control> main_window_controls();
[[nodiscard]] std::span<const Control> about_window_controls();

[[nodiscard]] QFont font_for(FontRole role);
[[nodiscard]] QString qstring(std::string_view utf8);

// Creates the controls of `table` as children of `window` (containers before their contents),
// with names, texts, geometry, fonts, colours and accessibility, and chains the focus-taking
// ones in tab order. Option buttons are not grouped here.
void build_controls(QWidget& window, std::span<const Control> table);

// Kinds that take the keyboard focus.
[[nodiscard]] constexpr bool takes_focus(Kind kind) {
    return kind != Kind::Frame && kind != Kind::Label;
}

} // namespace veltrane::app
