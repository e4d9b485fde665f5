#pragma once

// The design of the two windows as data: every control with its name, kind, container, caption,
// position and size in twips, font, colour and place in the tab order. Every front end builds
// its windows from these tables in one loop each. No toolkit here.

#include "model/quantities.h"

#include <span>
#include <string_view>
#include <vector>

namespace veltrane::app {

// 1440 twips to the inch, 96 pixels to the inch: 15 twips to a (device-independent) pixel.
inline constexpr int twips_per_pixel = 15;

// The one conversion rule from twips to pixels (nearest pixel).
[[nodiscard]] constexpr int twips_to_px(int twips) {
    return (twips >= 0 ? twips + twips_per_pixel / 2 : twips - twips_per_pixel / 2) /
           twips_per_pixel;
}

// The same rule on a screen of `dpi` pixels to the inch (96 is the rule above).
[[nodiscard]] constexpr int twips_to_px(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled >= 0 ? scaled + 720 : scaled - 720) / 1440);
}

struct Twips {
    int left;
    int top;
    int width;
    int height;
};

enum class Kind {
    Frame,   // captioned frame (Qt QGroupBox, Win32 group box)
    Input,   // editable input field (QLineEdit, EDIT)
    Result,  // editable result field, written by the calculation (QLineEdit, EDIT)
    Message, // the message field, hidden at start (QLineEdit, EDIT)
    Option,  // option button of its frame's exclusive group (QRadioButton, BUTTON)
    Command, // command button (QPushButton, BUTTON)
    Label,   // static text (QLabel, STATIC)
    Picture, // picture box showing a bitmap from its top-left corner, framed when focused
};

// The fonts of the design. Each front end maps the designers' fonts to the nearest the system
// has (on Linux Liberation Sans, metric compatible with Arial, for all of them).
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

// Kinds that take the keyboard focus.
[[nodiscard]] constexpr bool takes_focus(Kind kind) {
    return kind != Kind::Frame && kind != Kind::Label;
}

// The control called `name` in `table`, or nullptr.
[[nodiscard]] const Control* find_control(std::span<const Control> table, std::string_view name);

// Where `control` of `table` sits relative to the window's client area: its own geometry moved
// by the frames that contain it. Throws std::logic_error for a container not in the table.
[[nodiscard]] Twips window_geometry(std::span<const Control> table, const Control& control);

// The controls of `table` that take the focus, in tab order.
[[nodiscard]] std::vector<const Control*> tab_chain(std::span<const Control> table);

} // namespace veltrane::app
