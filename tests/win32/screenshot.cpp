// Takes a picture of the Win32 calculator window's client area as the screen shows it, for a person
// to compare with the Linux window: veltrane_win32_screenshot OUT.bmp [--worked-example] With
// --worked-example the window shows the results of the worked example; then with
// --tooltip CONTROL the pointer rests on CONTROL and its tooltip is in the picture.

#include "app/layout_table.h"
#include "app/win32/controls.h"
#include "app/win32/window.h"
#include "model/field_set.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

HWND control(HWND window, std::string_view name) {
    const auto table = veltrane::app::main_window_controls();
    const auto* found = veltrane::app::find_control(table, name);
    return GetDlgItem(window,
                      veltrane::win32::first_control_id + static_cast<int>(found - table.data()));
}

void pump(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        veltrane::win32::process_messages();
        Sleep(50);
    }
}

bool write_bmp(const char* path, HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fputs(
            "usage: veltrane_win32_screenshot OUT.bmp [--worked-example [--tooltip CONTROL]]\n",
            stderr);
        return 2;
    }
    HWND window = veltrane::win32::open_main_window(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    SetWindowPos(window, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    if (argc > 2 && std::string(argv[2]) == "--worked-example") {
        SetWindowTextW(control(window, "RL_txt"), L"2.0");
        for (std::string_view name : {"F1_ind", "F2_cap", "ParSer", "Calc"}) {
            SendMessageW(control(window, name), BM_CLICK, 0, 0);
        }
        SetFocus(control(window, "RL_txt"));
    }
    pump(40);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    pump(20);
    if (argc > 3 && std::string_view(argv[3]) == "--tooltip" && argc > 4) {
        // The pointer rests on the control until its tooltip shows.
        RECT rect{};
        GetWindowRect(control(window, argv[4]), &rect);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        pump(40);
    }
    const bool written = write_bmp(argv[1], window);
    DestroyWindow(window);
    pump(2);
    return written ? 0 : 1;
}
