// The calculator program on Windows: the window Z_MODEL, until its last window closes.

#include "app/win32/window.h"

#include <exception>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    try {
        veltrane::win32::open_main_window(instance, show_command);
        return veltrane::win32::run_message_loop();
    } catch (const std::exception& error) {
        MessageBoxA(nullptr, error.what(), "Veltrane", MB_ICONERROR | MB_OK);
        return 1;
    }
}
