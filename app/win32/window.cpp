#include "app/win32/window.h"

#include "app/win32/controls.h"
#include "app/win32/field_set.h"
#include "app/win32/resource_ids.h"
#include "output/calculate.h"
#include "output/report.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

namespace veltrane::win32 {

namespace {

using app::Control;
using app::Kind;

constexpr wchar_t main_class[] = L"Z_MODEL";
constexpr wchar_t about_class[] = L"AboutMdl";
// Fixed size: the layout is in twips. Not WS_CLIPCHILDREN: the window paints the inside of its
// group boxes, which do not.
constexpr DWORD main_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD about_style = main_style;
constexpr COLORREF light_yellow = RGB(255, 255, 128);

// One top-level window of the program: its controls and what it draws with.
struct Window {
    explicit Window(HWND handle, std::span<const Control> table) : controls(handle, table) {}
    Controls controls;
    std::optional<WindowFieldSet> fields; // the calculator window only
    HWND last_focus = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
};

// The program's state between events: its two windows.
struct Program {
    HWND main = nullptr;
    HWND about = nullptr;
    bool main_open = false;
    bool about_open = false;
} program;

Window* window_of(HWND handle) {
    return reinterpret_cast<Window*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
}

COLORREF colour_value(app::Colour colour) {
    switch (colour) {
    case app::Colour::Red:
        return RGB(255, 0, 0);
    case app::Colour::LightYellow:
        return light_yellow;
    case app::Colour::Default:
        break;
    }
    return GetSysColor(COLOR_WINDOWTEXT);
}

// The program ends when neither window is open any more.
void end_if_last_window() {
    if (!program.main_open && !program.about_open) {
        PostQuitMessage(0);
    }
}

void apply_dpi(HWND handle, Window& window, int dpi, app::Twips client, DWORD style) {
    window.dpi = dpi;
    window.controls.lay_out(dpi);
    const SIZE size = window_size(client, style, 0, dpi);
    SetWindowPos(handle, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The die photograph at its natural size from the box's top-left corner; the sharper one where
// the screen is denser. A dotted frame shows the focus.
void draw_picture(const DRAWITEMSTRUCT& item, int dpi) {
    const auto instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(item.hwndItem, GWLP_HINSTANCE));
    const bool sharper = dpi > USER_DEFAULT_SCREEN_DPI;
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(sharper ? picture_2x_resource : picture_resource),
                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (bitmap != nullptr) {
        BITMAP info{};
        GetObjectW(bitmap, sizeof info, &info);
        HDC memory = CreateCompatibleDC(item.hDC);
        HGDIOBJ old = SelectObject(memory, bitmap);
        const int scale = sharper ? 2 : 1;
        const int width = MulDiv(info.bmWidth / scale, dpi, USER_DEFAULT_SCREEN_DPI);
        const int height = MulDiv(info.bmHeight / scale, dpi, USER_DEFAULT_SCREEN_DPI);
        SetStretchBltMode(item.hDC, HALFTONE);
        StretchBlt(item.hDC, 0, 0, width, height, memory, 0, 0, info.bmWidth, info.bmHeight,
                   SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
    }
    if (GetFocus() == item.hwndItem) {
        RECT frame = item.rcItem;
        FrameRect(item.hDC, &frame, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawFocusRect(item.hDC, &frame);
    }
}

// The picture box repaints when the focus comes or goes, to show it.
LRESULT CALLBACK picture_focus(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
        InvalidateRect(handle, nullptr, FALSE);
    }
    return DefSubclassProc(handle, message, wparam, lparam);
}

void add_tooltips(HWND handle, const Controls& controls) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(handle, GWLP_HINSTANCE));
    HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle,
                                nullptr, instance, nullptr);
    if (tips == nullptr) {
        return;
    }
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 600);
    for (const Control& control : controls.table()) {
        if (control.tooltip.empty()) {
            continue;
        }
        std::wstring text = wide(control.tooltip);
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = handle;
        tool.uId = reinterpret_cast<UINT_PTR>(controls.control(control.name));
        tool.lpszText = text.data(); // copied by the tooltip control
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// A tooltip about to show goes just above the control it describes, from its left edge, so that
// it covers no neighbouring field (Windows would put it below and right of the pointer, over the
// field beside or below); below the control where there is no room above.
bool place_tooltip(const NMHDR& header) {
    const auto described = reinterpret_cast<HWND>(header.idFrom); // TTF_IDISHWND
    RECT control{};
    RECT tip{};
    if (!GetWindowRect(described, &control) || !GetWindowRect(header.hwndFrom, &tip)) {
        return false;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(described, MONITOR_DEFAULTTONEAREST), &monitor);
    const int height = tip.bottom - tip.top;
    const int gap = 2;
    int top = control.top - gap - height;
    if (top < monitor.rcWork.top) {
        top = control.bottom + gap;
    }
    const int width = tip.right - tip.left;
    const int left = std::max<int>(monitor.rcWork.left,
                                   std::min<int>(control.left, monitor.rcWork.right - width));
    SetWindowPos(header.hwndFrom, nullptr, left, top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void about_command(HINSTANCE instance);

// WM_COMMAND of the calculator window: the two commands and the option pairs.
void command(HWND handle, Window& window, HWND child, int code) {
    const Control* control = window.controls.control_of(child);
    if (control == nullptr || code != BN_CLICKED) {
        return;
    }
    if (control->kind == Kind::Option) {
        // Selecting one member of a pair clears the other.
        for (std::size_t i = 0; i < option_count; ++i) {
            const auto option = static_cast<Option>(i);
            if (option_name(option) == control->name) {
                SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
                SendMessageW(window.controls.control(option_name(partner(option))), BM_SETCHECK,
                             BST_UNCHECKED, 0);
            }
        }
    } else if (control->name == "Calc") {
        FileReport report{std::filesystem::path{report_file_name}};
        calculate(*window.fields, report);
    } else if (control->name == "AboutModel") {
        about_command(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(handle, GWLP_HINSTANCE)));
    }
}

// What both windows do alike; nullopt leaves the message to the window's own handling.
std::optional<LRESULT> common(HWND handle, UINT message, WPARAM wparam, LPARAM lparam,
                              app::Twips client, DWORD style) {
    Window* window = window_of(handle);
    if (window == nullptr) {
        return std::nullopt;
    }
    switch (message) {
    case WM_DPICHANGED: {
        const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
        apply_dpi(handle, *window, HIWORD(wparam), client, style);
        SetWindowPos(handle, nullptr, suggested.left, suggested.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_ACTIVATE:
        // The focus comes back to where it was when the window was left.
        if (LOWORD(wparam) == WA_INACTIVE) {
            window->last_focus = GetFocus();
        } else if (window->last_focus != nullptr && IsWindow(window->last_focus)) {
            SetFocus(window->last_focus);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
        delete window;
        break;
    default:
        break;
    }
    return std::nullopt;
}

LRESULT CALLBACK main_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (auto handled =
            common(handle, message, wparam, lparam, app::main_window_client, main_style)) {
        return *handled;
    }
    Window* window = window_of(handle);
    switch (message) {
    case WM_COMMAND:
        if (window != nullptr && lparam != 0) {
            command(handle, *window, reinterpret_cast<HWND>(lparam), HIWORD(wparam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
        if (header.code == TTN_SHOW && place_tooltip(header)) {
            return TRUE; // placed here
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        if (window != nullptr) {
            const Control* control = window->controls.control_of(reinterpret_cast<HWND>(lparam));
            if (control != nullptr && control->colour != app::Colour::Default) {
                auto dc = reinterpret_cast<HDC>(wparam);
                SetTextColor(dc, colour_value(control->colour));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
        }
        break;
    case WM_DRAWITEM:
        if (window != nullptr) {
            draw_picture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), window->dpi);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        program.main = nullptr;
        program.main_open = false;
        end_if_last_window();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(handle, message, wparam, lparam);
}

LRESULT CALLBACK about_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (auto handled =
            common(handle, message, wparam, lparam, app::about_window_client, about_style)) {
        return *handled;
    }
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, light_yellow);
        SetBkColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    }
    case WM_CLOSE:
        // Kept for the next ABOUT, with its design values: it has no state of its own.
        ShowWindow(handle, SW_HIDE);
        program.about_open = false;
        end_if_last_window();
        return 0;
    case WM_DESTROY:
        program.about = nullptr;
        program.about_open = false;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(handle, message, wparam, lparam);
}

void register_classes(HINSTANCE instance) {
    static bool registered = false;
    if (registered) {
        return;
    }
    INITCOMMONCONTROLSEX common_controls{sizeof common_controls,
                                         ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&common_controls);
    WNDCLASSEXW main{};
    main.cbSize = sizeof main;
    main.lpfnWndProc = main_procedure;
    main.hInstance = instance;
    main.hIcon = LoadIconW(instance, L"IDI_ICON1");
    main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = main_class;
    WNDCLASSEXW about = main;
    about.lpfnWndProc = about_procedure;
    about.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(about_icon_resource));
    about.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    about.lpszClassName = about_class;
    if (RegisterClassExW(&main) == 0 || RegisterClassExW(&about) == 0) {
        throw std::runtime_error("cannot register the window classes");
    }
    registered = true;
}

// A top-level window of `table`, not shown yet, laid out for the DPI of its screen.
HWND create_window(HINSTANCE instance, const wchar_t* window_class, const wchar_t* caption,
                   DWORD style, std::span<const Control> table, app::Twips client) {
    register_classes(instance);
    HWND handle =
        CreateWindowExW(0, window_class, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (handle == nullptr) {
        throw std::runtime_error("cannot create a window");
    }
    auto* window = new Window(handle, table);
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    apply_dpi(handle, *window, window_dpi(handle), client, style);
    return handle;
}

void about_command(HINSTANCE instance) {
    if (program.about == nullptr) {
        // No owner: an independent top-level window that outlives the calculator window.
        program.about =
            create_window(instance, about_class, L"Veltrane  (for broadband impedance matching ) ",
                          about_style, app::about_window_controls(), app::about_window_client);
    }
    ShowWindow(program.about, IsIconic(program.about) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(program.about);
    program.about_open = true;
}

} // namespace

HWND open_main_window(HINSTANCE instance, int show_command) {
    HWND handle = create_window(instance, main_class, L"Veltrane", main_style,
                                app::main_window_controls(), app::main_window_client);
    Window& window = *window_of(handle);
    window.fields.emplace(window.controls);
    SetWindowSubclass(window.controls.control("Picture1"), picture_focus, 0, 0);
    add_tooltips(handle, window.controls);
    program.main = handle;
    program.main_open = true;
    ShowWindow(handle, show_command);
    UpdateWindow(handle);
    HWND first = window.controls.control(field_name(Field::F1));
    SetFocus(first);
    window.last_focus = first;
    return handle;
}

HWND about_window() {
    return program.about;
}

namespace {

// The option button of a pair that an arrow key moves to from `from`, as in the Qt window: the
// partner when it lies that way (Up: above, Down: below, Left and Right: beside), else none.
HWND option_for_arrow(const Controls& controls, const Control& from, WPARAM key) {
    const auto table = controls.table();
    for (std::size_t i = 0; i < option_count; ++i) {
        const auto option = static_cast<Option>(i);
        if (option_name(option) != from.name) {
            continue;
        }
        const Control* other = app::find_control(table, option_name(partner(option)));
        if (other == nullptr) {
            return nullptr;
        }
        const app::Twips here = app::window_geometry(table, from);
        const app::Twips there = app::window_geometry(table, *other);
        // Twice the centres, in whole twips.
        const int dx = (2 * there.left + there.width) - (2 * here.left + here.width);
        const int dy = (2 * there.top + there.height) - (2 * here.top + here.height);
        const bool that_way = (key == VK_UP && dy < 0) || (key == VK_DOWN && dy > 0) ||
                              (key == VK_LEFT && dx < 0) || (key == VK_RIGHT && dx > 0);
        return that_way ? controls.control(other->name) : nullptr;
    }
    return nullptr;
}

} // namespace

bool handle_window_key(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.hwnd == nullptr) {
        return false;
    }
    HWND parent = GetParent(message.hwnd);
    Window* window = parent == nullptr ? nullptr : window_of(parent);
    if (window == nullptr) {
        return false;
    }
    const Control* control = window->controls.control_of(message.hwnd);
    if (control == nullptr) {
        return false;
    }
    if (message.wParam == VK_TAB) {
        const bool backwards = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        HWND next = window->controls.next_in_tab_order(message.hwnd, backwards);
        SetFocus(next);
        const Control* target = window->controls.control_of(next);
        if (target != nullptr && (target->kind == Kind::Input || target->kind == Kind::Result ||
                                  target->kind == Kind::Message)) {
            SendMessageW(next, EM_SETSEL, 0, -1); // as a dialog does
        }
        return true;
    }
    if (message.wParam == VK_RETURN) {
        if (control->kind == Kind::Command) {
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(message.hwnd), BN_CLICKED),
                         reinterpret_cast<LPARAM>(message.hwnd));
        }
        return true; // no default button: Enter elsewhere starts nothing
    }
    const bool arrow = message.wParam == VK_UP || message.wParam == VK_DOWN ||
                       message.wParam == VK_LEFT || message.wParam == VK_RIGHT;
    if (arrow && control->kind == Kind::Option) {
        // The focus moves to the partner, which is selected when the option left was.
        HWND target = option_for_arrow(window->controls, *control, message.wParam);
        if (target == nullptr) {
            return true;
        }
        if (SendMessageW(message.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(target), BN_CLICKED),
                         reinterpret_cast<LPARAM>(target));
        }
        SetFocus(target);
        return true;
    }
    return false;
}

bool process_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            return false;
        }
        if (!handle_window_key(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

int run_message_loop() {
    MSG message;
    BOOL got = FALSE;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 1;
        }
        if (!handle_window_key(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace veltrane::win32
