#pragma once

// The Win32 controls of a window built from its design table: one child window per control,
// laid out in pixels for the window's DPI, with fonts of that size, in tab order.

#include "app/layout_table.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::win32 {

// The id of the control at `index` of its table (WM_COMMAND and GetDlgItem use it).
inline constexpr int first_control_id = 100;

// The text as Windows takes it, and back (invalid sequences become U+FFFD).
[[nodiscard]] std::wstring wide(std::string_view utf8);
[[nodiscard]] std::string utf8(std::wstring_view text);

// A text from the clipboard as a field takes it: CR LF line ends become line feeds (the
// calculation reads past line feeds); everything else is kept.
[[nodiscard]] std::wstring pasted_text(std::wstring_view clipboard);

// The fonts of the design at one DPI, the nearest the system has to each face.
class Fonts {
  public:
    Fonts() = default;
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;
    ~Fonts();

    // Makes the fonts for `dpi`, releasing those of the previous DPI.
    void make(int dpi);
    [[nodiscard]] HFONT font(app::FontRole role) const;

  private:
    void release();
    std::array<HFONT, 6> fonts_{};
};

// The controls of one window, built from its table.
class Controls {
  public:
    // Creates every control of `table` as a child of `window` (frames below their contents);
    // the message field starts hidden. Positions and fonts come with lay_out.
    Controls(HWND window, std::span<const app::Control> table);

    // Places and sizes the controls for `dpi` and gives them the fonts of that DPI.
    void lay_out(int dpi);

    [[nodiscard]] std::span<const app::Control> table() const { return table_; }
    // The control called `name`; nullptr if the table has none.
    [[nodiscard]] HWND control(std::string_view name) const;
    // The table entry of a child window of this window, or nullptr.
    [[nodiscard]] const app::Control* control_of(HWND child) const;
    // The control that takes the focus after `from` (or before it when `backwards`), skipping
    // hidden and disabled ones; wraps around. `from` outside the chain starts at its start.
    [[nodiscard]] HWND next_in_tab_order(HWND from, bool backwards) const;
    [[nodiscard]] const Fonts& fonts() const { return fonts_; }

  private:
    HWND window_;
    std::span<const app::Control> table_;
    std::vector<HWND> windows_; // in table order
    std::vector<HWND> chain_;   // the focus-taking ones, in tab order
    Fonts fonts_;
};

// The DPI of `window`'s screen; where Windows cannot tell one screen from another (before
// Windows 10 version 1607), the system DPI.
[[nodiscard]] int window_dpi(HWND window);

// Client area of `client` for `dpi`, as a window rectangle for `style`.
[[nodiscard]] SIZE window_size(app::Twips client, DWORD style, DWORD ex_style, int dpi);

} // namespace veltrane::win32
