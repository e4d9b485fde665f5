#pragma once

// The calculator window's text fields: a single-line edit field the program draws itself, with
// the keys, mouse, clipboard, undo, context menu and messages of Windows' edit control (the
// ones the window and its users need). Text is measured with per-character widths of the field's
// font, so a text of any length costs time in proportion to its length; Windows' edit control
// runs the whole text through the script analysis of complex scripts after each change, which
// under wine takes time growing with the square of a run of digits.
//
// Messages: WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETTEXT, WM_SETFONT, WM_GETFONT, WM_CUT, WM_COPY,
// WM_PASTE, WM_CLEAR, WM_UNDO, EM_UNDO, EM_CANUNDO, EM_EMPTYUNDOBUFFER, EM_GETSEL, EM_SETSEL,
// EM_REPLACESEL, EM_SCROLLCARET, EM_GETRECT, EM_POSFROMCHAR, EM_CHARFROMPOS; the parent is told
// EN_SETFOCUS, EN_KILLFOCUS and EN_CHANGE and asked for colours with WM_CTLCOLOREDIT (and
// WM_CTLCOLORSTATIC when disabled), as by an edit control. ES_LEFT, ES_CENTER and ES_RIGHT
// align a text narrower than the field.

#include <windows.h>

namespace veltrane::win32 {

inline constexpr wchar_t text_field_class[] = L"VeltraneTextField";

// Registers the window class text_field_class (once; later calls do nothing). Throws
// std::runtime_error when Windows refuses it.
void register_text_field(HINSTANCE instance);

} // namespace veltrane::win32
