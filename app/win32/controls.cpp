#include "app/win32/controls.h"

#include "app/win32/text_field.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <stdexcept>

namespace veltrane::win32 {

using app::Control;
using app::FontRole;
using app::Kind;

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), length);
    return text;
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

namespace {

struct Face {
    const wchar_t* name;
    double points;
    bool bold;
    bool italic;
};

// True when the system has a font family called `name` (GDI's mapper would otherwise put another
// family in its place without saying so).
bool has_family(const wchar_t* name) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return false;
    }
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, name, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found_it) -> int {
            *reinterpret_cast<bool*>(found_it) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The dialog face: Microsoft Sans Serif (the scalable heir of MS Sans Serif, on every Windows
// since 2000), else Tahoma (on every Windows too, and the face wine's own fonts bring, with a
// true bold). Any other stand-in GDI would choose may lack the bold the labels ask for.
const wchar_t* dialog_face() {
    static const wchar_t* const face =
        has_family(L"Microsoft Sans Serif") ? L"Microsoft Sans Serif" : L"Tahoma";
    return face;
}

// The designers' faces; GDI's font mapper gives the nearest where a face is missing.
Face face_of(FontRole role) {
    switch (role) {
    case FontRole::Dialog:
        return {dialog_face(), 8.25, false, false};
    case FontRole::DialogBold:
        return {dialog_face(), 8.25, true, false};
    case FontRole::Arial:
        return {L"Arial", 8.25, false, false};
    case FontRole::Brand:
        return {L"Arial", 9.75, true, true};
    case FontRole::AboutCredit:
        return {L"Arial", 14.25, false, true};
    case FontRole::AboutContact:
        return {L"Arial", 11.25, false, true};
    }
    throw std::logic_error("unknown font role");
}

constexpr std::array all_roles = {FontRole::Dialog, FontRole::DialogBold,  FontRole::Arial,
                                  FontRole::Brand,  FontRole::AboutCredit, FontRole::AboutContact};

struct WindowClass {
    const wchar_t* name;
    DWORD style;
    DWORD ex_style;
};

WindowClass class_of(const Control& control) {
    constexpr DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
    constexpr DWORD edit = child | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL;
    switch (control.kind) {
    case Kind::Frame:
        return {WC_BUTTONW, child | WS_VISIBLE | BS_GROUPBOX, 0};
    case Kind::Input:
    case Kind::Result:
        return {text_field_class, edit | WS_VISIBLE, WS_EX_CLIENTEDGE};
    case Kind::Message:
        return {text_field_class, edit, WS_EX_CLIENTEDGE}; // hidden until a message
    case Kind::Option:
        // Not automatic: the window keeps the pairs exclusive, so that every option button
        // can be a tab stop of its own.
        return {WC_BUTTONW, child | WS_VISIBLE | WS_TABSTOP | BS_RADIOBUTTON, 0};
    case Kind::Command:
        return {WC_BUTTONW, child | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::Label:
        return {WC_STATICW, child | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0};
    case Kind::Picture:
        return {WC_STATICW, child | WS_VISIBLE | WS_TABSTOP | SS_OWNERDRAW, 0};
    }
    throw std::logic_error("unknown control kind");
}

} // namespace

std::wstring pasted_text(std::wstring_view clipboard) {
    std::wstring text;
    text.reserve(clipboard.size());
    for (std::size_t i = 0; i < clipboard.size(); ++i) {
        if (clipboard[i] == L'\r' && i + 1 < clipboard.size() && clipboard[i + 1] == L'\n') {
            continue;
        }
        text.push_back(clipboard[i]);
    }
    return text;
}

Fonts::~Fonts() {
    release();
}

void Fonts::release() {
    for (HFONT& font : fonts_) {
        if (font != nullptr) {
            DeleteObject(font);
            font = nullptr;
        }
    }
}

void Fonts::make(int dpi) {
    release();
    for (FontRole role : all_roles) {
        const Face face = face_of(role);
        const int height = -static_cast<int>(std::lround(face.points * dpi / 72.0));
        fonts_.at(static_cast<std::size_t>(role)) =
            CreateFontW(height, 0, 0, 0, face.bold ? FW_BOLD : FW_NORMAL, face.italic, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        VARIABLE_PITCH | FF_SWISS, face.name);
    }
}

HFONT Fonts::font(FontRole role) const {
    return fonts_.at(static_cast<std::size_t>(role));
}

Controls::Controls(HWND window, std::span<const Control> table) : window_(window), table_(table) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    register_text_field(instance);
    windows_.reserve(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Control& control = table[i];
        const WindowClass kind = class_of(control);
        const std::wstring text =
            control.kind == Kind::Picture ? std::wstring{} : wide(control.text);
        HWND child = CreateWindowExW(
            kind.ex_style, kind.name, text.c_str(), kind.style, 0, 0, 0, 0, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_control_id + static_cast<int>(i))),
            instance, nullptr);
        if (child == nullptr) {
            throw std::runtime_error("cannot create the control " + std::string(control.name));
        }
        windows_.push_back(child);
    }
    // Z order: the focus-taking controls in tab order, then the labels, the frames at the bottom
    // so that their contents are drawn over them.
    for (const Control* control : app::tab_chain(table)) {
        chain_.push_back(windows_[static_cast<std::size_t>(control - table.data())]);
    }
    HWND above = HWND_TOP;
    auto stack = [&above](HWND child) {
        SetWindowPos(child, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = child;
    };
    std::ranges::for_each(chain_, stack);
    for (Kind kind : {Kind::Label, Kind::Frame}) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].kind == kind) {
                stack(windows_[i]);
            }
        }
    }
}

void Controls::lay_out(int dpi) {
    fonts_.make(dpi);
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const app::Twips at = app::window_geometry(table_, table_[i]);
        MoveWindow(windows_[i], app::twips_to_px(at.left, dpi), app::twips_to_px(at.top, dpi),
                   app::twips_to_px(at.width, dpi), app::twips_to_px(at.height, dpi), FALSE);
        SendMessageW(windows_[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.font(table_[i].font)),
                     FALSE);
    }
    InvalidateRect(window_, nullptr, TRUE);
}

HWND Controls::control(std::string_view name) const {
    const Control* control = app::find_control(table_, name);
    return control == nullptr ? nullptr
                              : windows_[static_cast<std::size_t>(control - table_.data())];
}

const Control* Controls::control_of(HWND child) const {
    const auto found = std::ranges::find(windows_, child);
    return found == windows_.end() ? nullptr
                                   : &table_[static_cast<std::size_t>(found - windows_.begin())];
}

HWND Controls::next_in_tab_order(HWND from, bool backwards) const {
    const auto count = static_cast<std::ptrdiff_t>(chain_.size());
    const auto found = std::ranges::find(chain_, from);
    std::ptrdiff_t at = found == chain_.end() ? (backwards ? 0 : -1) : found - chain_.begin();
    for (std::ptrdiff_t step = 0; step < count; ++step) {
        at = ((backwards ? at - 1 : at + 1) % count + count) % count;
        HWND candidate = chain_[static_cast<std::size_t>(at)];
        if (IsWindowVisible(candidate) && IsWindowEnabled(candidate)) {
            return candidate;
        }
    }
    return from;
}

namespace {

// A function of user32 that older Windows lack, looked up when the program runs (an import
// would keep the program from starting there); nullptr where missing.
template <typename Function> Function user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

} // namespace

int window_dpi(HWND window) {
    static const auto for_window = user32_function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (for_window != nullptr) {
        if (const UINT dpi = for_window(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    // Windows before 10 (version 1607): the system DPI, the same for every screen.
    HDC screen = GetDC(nullptr);
    const int dpi = screen == nullptr ? 0 : GetDeviceCaps(screen, LOGPIXELSX);
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

SIZE window_size(app::Twips client, DWORD style, DWORD ex_style, int dpi) {
    static const auto adjust =
        user32_function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, app::twips_to_px(client.width, dpi), app::twips_to_px(client.height, dpi)};
    if (adjust != nullptr) {
        adjust(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi));
    } else {
        // The frame at the system DPI: the DPI a window there has.
        AdjustWindowRectEx(&rect, style, FALSE, ex_style);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace veltrane::win32
