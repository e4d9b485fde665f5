#pragma once

// Drives the Win32 calculator window with window messages, as Windows delivers a user's keys
// and clicks, in a temporary current folder.

#include "app/layout_table.h"
#include "app/win32/controls.h"
#include "app/win32/window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::testing {

// Windows' own UTF-16 to UTF-8, written apart from the window's so that both are checked.
inline std::string to_utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(std::max(length, 0)));
    return bytes;
}

inline std::wstring to_utf16(std::string_view bytes) {
    std::wstring text(bytes.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

class Win32Window {
  public:
    Win32Window()
        : previous_(std::filesystem::current_path()),
          window_(win32::open_main_window(GetModuleHandleW(nullptr), SW_SHOWNORMAL)) {
        std::filesystem::current_path(folder_.path());
        pump();
    }
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;
    ~Win32Window() {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
        pump();
        std::filesystem::current_path(previous_);
    }

    // Handles what the window has been sent; a request to end the program is noted.
    void pump() {
        for (int round = 0; round < 3; ++round) {
            if (!win32::process_messages()) {
                ended_ = true;
            }
        }
    }

    [[nodiscard]] HWND window() const { return window_; }
    [[nodiscard]] const TempDir& folder() const { return folder_; }
    [[nodiscard]] bool ended() const { return ended_; }

    [[nodiscard]] HWND control(std::string_view name) const {
        const auto id = first_id(name);
        return GetDlgItem(window_, id);
    }

    [[nodiscard]] std::wstring wide_text(std::string_view name) const {
        HWND control = this->control(name);
        const auto length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const auto copied =
            SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(copied));
        return text;
    }
    [[nodiscard]] std::string text(std::string_view name) const { return to_utf8(wide_text(name)); }

    // A paste or a program setting the whole text.
    void set_text(std::string_view name, std::string_view utf8) {
        const std::wstring text = to_utf16(utf8);
        SendMessageW(control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        pump();
    }
    // A paste into a field whose whole text is selected, with `utf8` on the clipboard as another
    // program puts it there: WM_PASTE, or the keys `key` with `modifier` held.
    void paste(std::string_view name, std::string_view utf8, WPARAM modifier = 0, WPARAM key = 0) {
        const std::wstring text = to_utf16(utf8);
        ASSERT_TRUE(OpenClipboard(window_));
        EmptyClipboard();
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        ASSERT_NE(memory, nullptr);
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
        CloseClipboard();
        focus(name);
        SendMessageW(control(name), EM_SETSEL, 0, -1);
        if (key == 0) {
            SendMessageW(control(name), WM_PASTE, 0, 0);
            pump();
            return;
        }
        BYTE keys[256]{};
        GetKeyboardState(keys);
        keys[modifier] = 0x80;
        SetKeyboardState(keys);
        this->key(key);
        keys[modifier] = 0;
        SetKeyboardState(keys);
    }
    void click(std::string_view name) {
        SendMessageW(control(name), BM_CLICK, 0, 0);
        pump();
    }
    [[nodiscard]] bool checked(std::string_view name) const {
        return SendMessageW(control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    [[nodiscard]] bool visible(std::string_view name) const {
        return IsWindowVisible(control(name)) != FALSE;
    }

    // A key pressed and released where the focus is, through the message queue.
    void key(WPARAM key) {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001U));
        pump();
    }
    void focus(std::string_view name) {
        SetFocus(control(name));
        pump();
    }
    // The name of the control with the focus, or "" when the focus is elsewhere.
    [[nodiscard]] std::string focused() const {
        HWND focus = GetFocus();
        for (const app::Control& control : app::main_window_controls()) {
            if (this->control(control.name) == focus) {
                return std::string(control.name);
            }
        }
        return {};
    }

  private:
    static int first_id(std::string_view name) {
        const auto table = app::main_window_controls();
        const app::Control* control = app::find_control(table, name);
        if (control == nullptr) {
            return 0;
        }
        return win32::first_control_id + static_cast<int>(control - table.data());
    }

    std::filesystem::path previous_;
    TempDir folder_;
    HWND window_;
    bool ended_ = false;
};

} // namespace veltrane::testing
