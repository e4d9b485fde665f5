#pragma once

// The calculator window Z_MODEL and the About window AboutMdl on Win32. CALCULATE and ABOUT are
// the only code they run; everything else is what Windows' controls do by themselves.

#include <windows.h>

namespace veltrane::win32 {

// Creates and shows the calculator window, with the focus in F1_txt. Throws
// std::runtime_error when Windows refuses a window.
HWND open_main_window(HINSTANCE instance, int show_command);

// The About window once ABOUT has run (it is kept, hidden when closed), else nullptr.
[[nodiscard]] HWND about_window();

// The keys the window handles before the control with the focus: Tab and Shift+Tab walk the
// tab order, Enter on a command button runs it, Enter elsewhere does nothing, an arrow key on an
// option button moves to its partner when the partner lies that way (selecting it when the
// option left was selected). True when `message` was one of them.
bool handle_window_key(const MSG& message);

// Handles the messages waiting in this thread's queue and returns; false once the program
// has been told to end (its last window closed).
bool process_messages();

// Handles messages until the last window of the program closes; returns the exit code.
int run_message_loop();

} // namespace veltrane::win32
