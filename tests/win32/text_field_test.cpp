// The calculator window's text field edited with the keys and the mouse as a Windows user edits
// an edit field: the text and selection after each sequence, the caret within the field and the
// text drawn.

#include "window_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace veltrane::testing {
namespace {

// One step of a user: a key (with Shift and/or Ctrl held), a mouse action at the place before
// a character, or the context menu's item with the underlined letter `key`.
struct Step {
    enum Kind { Key, Click, ShiftClick, DoubleClick, Drag, Menu } kind = Key;
    WPARAM key = 0;
    bool shift = false;
    bool control = false;
    std::size_t at = 0; // Click, ShiftClick, DoubleClick: the character; Drag: from `at` to `to`
    std::size_t to = 0;
};

Step press(WPARAM key) {
    return {Step::Key, key};
}
Step shift(WPARAM key) {
    return {Step::Key, key, true};
}
Step ctrl(WPARAM key) {
    return {Step::Key, key, false, true};
}
Step ctrl_shift(WPARAM key) {
    return {Step::Key, key, true, true};
}
Step mouse(Step::Kind kind, std::size_t at, std::size_t to = 0) {
    return {kind, 0, false, false, at, to};
}

Step menu(char letter) {
    return {Step::Menu, static_cast<WPARAM>(letter)};
}

struct EditCase {
    std::string name;
    std::string text;
    DWORD start; // EM_SETSEL before the steps
    DWORD end;
    std::vector<Step> steps;
    std::string held;
    DWORD low; // the selection after the steps (EM_GETSEL)
    DWORD high;
};

void PrintTo(const EditCase& row, std::ostream* out) {
    *out << row.name;
}

const std::string long_text = std::string(40000, '0') + "2.0";

const std::vector<EditCase> edit_cases = {
    {"typing_replaces_the_selection", "1.5", 0, 3, {press('2'), press('7')}, "27", 2, 2},
    {"backspace_and_delete", "12345", 2, 2, {press(VK_BACK), press(VK_DELETE)}, "145", 1, 1},
    {"backspace_deletes_the_selection", "12345", 1, 4, {press(VK_BACK)}, "15", 1, 1},
    {"shift_end_then_shift_home", "12345", 2, 2, {shift(VK_END), shift(VK_HOME)}, "12345", 0, 2},
    {"home_then_shift_right", "12345", 4, 4, {press(VK_HOME), shift(VK_RIGHT)}, "12345", 0, 1},
    {"right_and_left_end_a_selection",
     "12345",
     1,
     3,
     {press(VK_RIGHT), shift(VK_LEFT), press(VK_LEFT)},
     "12345",
     2,
     2},
    {"ctrl_right_to_the_next_word",
     "10 20 30",
     0,
     0,
     {ctrl(VK_RIGHT), ctrl(VK_RIGHT)},
     "10 20 30",
     6,
     6},
    {"ctrl_shift_left_selects_a_word",
     "10 20 30",
     8,
     8,
     {ctrl_shift(VK_LEFT), ctrl_shift(VK_LEFT)},
     "10 20 30",
     3,
     8},
    {"ctrl_a_selects_all", "123", 1, 1, {ctrl('A')}, "123", 0, 3},
    {"ctrl_x_then_ctrl_v", "12345", 1, 3, {ctrl('X'), press(VK_END), ctrl('V')}, "14523", 5, 5},
    {"ctrl_c_then_shift_insert",
     "12",
     0,
     1,
     {ctrl('C'), press(VK_END), shift(VK_INSERT)},
     "121",
     3,
     3},
    {"shift_delete_then_ctrl_insert",
     "123",
     1,
     3,
     {shift(VK_DELETE), shift(VK_HOME), ctrl(VK_INSERT), press(VK_END), ctrl('V')},
     "11",
     2,
     2},
    {"undo_takes_back_the_typing", "1.5", 3, 3, {press('0'), press('1'), ctrl('Z')}, "1.5", 3, 3},
    {"second_undo_redoes", "1.5", 3, 3, {press('0'), ctrl('Z'), ctrl('Z')}, "1.50", 4, 4},
    {"undo_takes_back_a_paste",
     "2.0",
     0,
     1,
     {ctrl('C'), press(VK_END), ctrl('V'), ctrl('Z')},
     "2.0",
     3,
     3},
    {"enter_and_escape_type_nothing", "12", 2, 2, {press(VK_RETURN), press(VK_ESCAPE)}, "12", 2, 2},
    {"click_then_shift_click",
     "12345",
     0,
     0,
     {mouse(Step::Click, 1), mouse(Step::ShiftClick, 4)},
     "12345",
     1,
     4},
    {"drag_selects", "12345", 0, 0, {mouse(Step::Drag, 4, 2)}, "12345", 2, 4},
    {"double_click_selects_a_word",
     "10 200 3",
     0,
     0,
     {mouse(Step::DoubleClick, 4)},
     "10 200 3",
     3,
     6},
    {"menu_delete", "12345", 1, 3, {menu('D')}, "145", 1, 1},
    {"menu_cut_and_paste", "12345", 0, 2, {menu('T'), press(VK_END), menu('P')}, "34512", 5, 5},
    {"menu_undo", "1.5", 3, 3, {press('0'), menu('U')}, "1.5", 3, 3},
    {"menu_select_all", "123", 1, 1, {menu('A')}, "123", 0, 3},
    {"long_text_end_then_home",
     long_text,
     0,
     0,
     {press(VK_END), shift(VK_LEFT), press(VK_HOME)},
     long_text,
     0,
     0},
    {"long_text_end", long_text, 0, 0, {press(VK_END), shift(VK_LEFT)}, long_text, 40002, 40003},
};

class TextFieldEditing : public ::testing::TestWithParam<EditCase> {};

void set_keys(bool shift, bool control) {
    BYTE keys[256]{};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
}

// Modifier keys released whatever happens to the test.
struct KeysReleased {
    ~KeysReleased() { set_keys(false, false); }
};

// The client x of the place before character `at`.
LPARAM place(HWND field, std::size_t at) {
    const auto where = SendMessageW(field, EM_POSFROMCHAR, at, 0);
    return MAKELPARAM(LOWORD(where) + 1, HIWORD(where) + 2);
}

// How many pixels of the field's inside differ from its top-left one (the background): the text
// drawn, and the selection.
int drawn_pixels(HWND field) {
    RECT client{};
    GetClientRect(field, &client);
    const int width = client.right;
    const int height = client.bottom;
    HDC dc = GetDC(field);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    int drawn = 0;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        if ((pixels[i] & 0xFFFFFF) != (pixels[0] & 0xFFFFFF)) {
            ++drawn;
        }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(field, dc);
    return drawn;
}

// The key of the menu item to choose once the context menu shows.
WPARAM menu_key = 0;

void CALLBACK choose_menu_item(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND menu = FindWindowW(L"#32768", nullptr);
    if (menu == nullptr || !IsWindowVisible(menu)) {
        return; // not yet open
    }
    KillTimer(nullptr, timer);
    PostMessageW(menu, WM_KEYDOWN, menu_key, 1);
    PostMessageW(menu, WM_KEYUP, menu_key, static_cast<LPARAM>(0xC0000001U));
}

TEST_P(TextFieldEditing, HoldsTheTextAndSelectionAWindowsUserExpects) {
    const EditCase& row = GetParam();
    Win32Window window;
    const KeysReleased released;
    window.set_text("X1_txt", row.text);
    window.focus("X1_txt");
    HWND field = window.control("X1_txt");
    SendMessageW(field, EM_SETSEL, row.start, row.end);
    for (const Step& step : row.steps) {
        switch (step.kind) {
        case Step::Key:
            set_keys(step.shift, step.control);
            window.key(step.key);
            set_keys(false, false);
            break;
        case Step::Click:
        case Step::ShiftClick:
            SendMessageW(field, WM_LBUTTONDOWN, step.kind == Step::ShiftClick ? MK_SHIFT : 0,
                         place(field, step.at));
            SendMessageW(field, WM_LBUTTONUP, 0, place(field, step.at));
            break;
        case Step::DoubleClick:
            SendMessageW(field, WM_LBUTTONDOWN, 0, place(field, step.at));
            SendMessageW(field, WM_LBUTTONUP, 0, place(field, step.at));
            SendMessageW(field, WM_LBUTTONDBLCLK, 0, place(field, step.at));
            SendMessageW(field, WM_LBUTTONUP, 0, place(field, step.at));
            break;
        case Step::Drag:
            SendMessageW(field, WM_LBUTTONDOWN, 0, place(field, step.at));
            SendMessageW(field, WM_MOUSEMOVE, MK_LBUTTON, place(field, step.to));
            SendMessageW(field, WM_LBUTTONUP, 0, place(field, step.to));
            break;
        case Step::Menu: {
            // Opened as by the menu key; Windows' menu loop runs until the item is chosen.
            menu_key = step.key;
            const UINT_PTR timer = SetTimer(nullptr, 0, 50, choose_menu_item);
            SendMessageW(field, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(field), -1);
            KillTimer(nullptr, timer);
            break;
        }
        }
        window.pump();
    }
    // A screen reader asks for the field's description: the answer never ends the program (wine
    // has only a stub of the system's edit description).
    SendMessageW(field, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    EXPECT_EQ(window.text("X1_txt"), row.held);
    DWORD low = 0;
    DWORD high = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, row.low);
    EXPECT_EQ(high, row.high);
    EXPECT_EQ(window.focused(), "X1_txt");

    // The caret shows inside the field, and so does the text around it.
    RECT format{};
    SendMessageW(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    POINT caret{};
    GetCaretPos(&caret);
    EXPECT_GE(caret.x, format.left);
    EXPECT_LE(caret.x, format.right);
    HideCaret(field); // the blinking caret is no text
    UpdateWindow(field);
    EXPECT_GT(drawn_pixels(field), 0);
    ShowCaret(field);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextFieldEditing, ::testing::ValuesIn(edit_cases),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace veltrane::testing
