// Times a long paste into the Win32 calculator window as a user makes it: the text on the
// clipboard, Ctrl+V's WM_PASTE into RL_txt with the field's text selected, the window repainted,
// then CALCULATE and its repaint (not a test: the figures of the Windows build's notes).
// veltrane_win32_paste_timing [LENGTH...]   (default 40000 200000)

#include "app/layout_table.h"
#include "app/win32/controls.h"
#include "app/win32/window.h"

#include <windows.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

bool put_on_clipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return false;
    }
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool done = false;
    if (memory != nullptr) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!done) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
    return done;
}

// Handles what is waiting and paints what is invalid.
void settle(HWND window) {
    veltrane::win32::process_messages();
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    veltrane::win32::process_messages();
}

double milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<long> lengths;
    for (int i = 1; i < argc; ++i) {
        long length = 0;
        const std::string_view arg = argv[i];
        std::from_chars(arg.data(), arg.data() + arg.size(), length);
        if (length > 3) {
            lengths.push_back(length);
        }
    }
    if (lengths.empty()) {
        lengths = {40000, 200000};
    }
    const auto folder = std::filesystem::temp_directory_path() / "veltrane-paste-timing";
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);

    HWND window = veltrane::win32::open_main_window(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    for (std::string_view name : {"F1_ind", "F2_cap", "ParSer"}) {
        SendMessageW(control(window, name), BM_CLICK, 0, 0);
    }
    settle(window);
    HWND rl = control(window, "RL_txt");
    HWND ls = control(window, "Ls_txt");
    for (long length : lengths) {
        // Zeros and then 2.0: the worked example's RL, read whole.
        const std::wstring text = std::wstring(static_cast<std::size_t>(length) - 3, L'0') + L"2.0";
        if (!put_on_clipboard(window, text)) {
            std::fputs("cannot use the clipboard\n", stderr);
            return 1;
        }
        SetFocus(rl);
        SendMessageW(rl, EM_SETSEL, 0, -1);
        settle(window);
        auto start = std::chrono::steady_clock::now();
        SendMessageW(rl, WM_PASTE, 0, 0);
        settle(window);
        const double paste = milliseconds_since(start);
        const auto held = SendMessageW(rl, WM_GETTEXTLENGTH, 0, 0);

        SetWindowTextW(ls, L"");
        start = std::chrono::steady_clock::now();
        SendMessageW(control(window, "Calc"), BM_CLICK, 0, 0);
        settle(window);
        const double calculate = milliseconds_since(start);
        wchar_t result[32]{};
        GetWindowTextW(ls, result, 32);
        std::printf("%ld characters: paste %.1f ms (field holds %ld), CALCULATE %.1f ms, Ls %ls\n",
                    length, paste, static_cast<long>(held), calculate, result);
    }
    DestroyWindow(window);
    veltrane::win32::process_messages();
    return 0;
}
