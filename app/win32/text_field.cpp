#include "app/win32/text_field.h"

#include "app/win32/controls.h"

#include <commctrl.h>
#include <unknwn.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane::win32 {

namespace {

// The commands of the context menu (the edit control's, in its order).
enum MenuCommand : UINT {
    menu_undo = 1,
    menu_cut,
    menu_copy,
    menu_paste,
    menu_delete,
    menu_select_all,
};

// How often a drag beyond the field's edge scrolls by one character, in milliseconds.
constexpr UINT drag_scroll_ms = 100;
constexpr UINT_PTR drag_timer = 1;

bool is_high_surrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
// What separates words for Ctrl+Left/Right and a double-click, as in the edit control.
bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool key_down(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

// The answer to WM_GETOBJECT for the field's client: Windows' description of an edit control,
// which screen readers read through the edit messages the field answers, so that they hear it
// as editable text. Nothing (the default description) where the system cannot lend it: wine's
// oleacc has the function only as a stub that ends the program.
LRESULT edit_description(HWND window, WPARAM flags) {
    using Proxy = HRESULT(WINAPI*)(HWND, LPCWSTR, LONG, REFIID, void**);
    using Result = LRESULT(WINAPI*)(REFIID, WPARAM, IUnknown*);
    struct Oleacc {
        Proxy proxy = nullptr;
        Result result = nullptr;
    };
    static const Oleacc oleacc = [] {
        Oleacc found;
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
            return found;
        }
        if (const HMODULE library = LoadLibraryW(L"oleacc.dll")) {
            found.proxy = reinterpret_cast<Proxy>(
                reinterpret_cast<void*>(GetProcAddress(library, "CreateStdAccessibleProxyW")));
            found.result = reinterpret_cast<Result>(
                reinterpret_cast<void*>(GetProcAddress(library, "LresultFromObject")));
        }
        return found;
    }();
    if (oleacc.proxy == nullptr || oleacc.result == nullptr) {
        return 0;
    }
    // IAccessible's interface id, {618736E0-3C3D-11CF-810C-00AA00389B71}.
    static constexpr IID accessible_id = {
        0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    IUnknown* description = nullptr;
    if (FAILED(oleacc.proxy(window, L"Edit", OBJID_CLIENT, accessible_id,
                            reinterpret_cast<void**>(&description))) ||
        description == nullptr) {
        return 0;
    }
    const LRESULT answer = oleacc.result(accessible_id, flags, description);
    description->Release();
    return answer;
}

// Advance widths of the characters of one font, in pixels, asked of GDI a block of 256 at a time
// and kept.
class Widths {
  public:
    void reset(HFONT font) {
        font_ = font;
        blocks_ = {};
        pairs_.clear();
    }

    // The width of text[i]: a surrogate pair's whole width goes to its first half.
    int at(const std::wstring& text, std::size_t i, HWND window) {
        const wchar_t c = text[i];
        if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            const auto code = static_cast<char32_t>(
                0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            const auto found = pairs_.find(code);
            if (found != pairs_.end()) {
                return found->second;
            }
            SIZE size{};
            GetTextExtentPoint32W(dc(window), text.data() + i, 2, &size);
            return pairs_[code] = size.cx;
        }
        if (is_low_surrogate(c) && i > 0 && is_high_surrogate(text[i - 1])) {
            return 0;
        }
        auto& block = blocks_[static_cast<std::size_t>(c) >> 8];
        if (!block) {
            block = std::make_unique<std::array<int, 256>>();
            const UINT first = static_cast<UINT>(c) & ~0xFFU;
            if (!GetCharWidth32W(dc(window), first, first + 255, block->data())) {
                block->fill(0);
            }
        }
        return (*block)[static_cast<std::size_t>(c) & 0xFF];
    }

    // Ends a measuring pass: the device context asked for goes back.
    void done() {
        if (dc_ != nullptr) {
            SelectObject(dc_, old_font_);
            ReleaseDC(dc_window_, dc_);
            dc_ = nullptr;
        }
    }

  private:
    HDC dc(HWND window) {
        if (dc_ == nullptr) {
            dc_window_ = window;
            dc_ = GetDC(window);
            old_font_ = SelectObject(dc_, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
        }
        return dc_;
    }

    HFONT font_ = nullptr;
    std::array<std::unique_ptr<std::array<int, 256>>, 256> blocks_;
    std::map<char32_t, int> pairs_;
    HDC dc_ = nullptr;
    HWND dc_window_ = nullptr;
    HGDIOBJ old_font_ = nullptr;
};

struct Selection {
    std::size_t anchor = 0; // where it started
    std::size_t caret = 0;  // where the caret is
    [[nodiscard]] std::size_t low() const { return std::min(anchor, caret); }
    [[nodiscard]] std::size_t high() const { return std::max(anchor, caret); }
    [[nodiscard]] bool empty() const { return anchor == caret; }
};

// Whether a change may join the previous one in the undo buffer.
enum class Change { Typing, Other };

class TextField {
  public:
    explicit TextField(HWND self) : self_(self) {}

    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  private:
    // Text and selection.
    void replace_selection(std::wstring_view with, bool can_undo, Change change);
    void set_text(std::wstring_view text);
    void select(std::size_t anchor, std::size_t caret);
    void move_caret(std::size_t to, bool extend);
    void undo();
    void copy() const;
    void paste();
    [[nodiscard]] std::size_t length() const { return text_.size(); }
    [[nodiscard]] std::size_t step_back(std::size_t from) const;
    [[nodiscard]] std::size_t step_forward(std::size_t from) const;
    [[nodiscard]] std::size_t word_back(std::size_t from) const;
    [[nodiscard]] std::size_t word_forward(std::size_t from) const;
    [[nodiscard]] std::size_t clamp(std::size_t at) const;

    // Geometry.
    void measure_from(std::size_t from);
    const RECT& format();
    [[nodiscard]] int format_width() { return format().right - format().left; }
    [[nodiscard]] int x_of(std::size_t at);
    [[nodiscard]] std::size_t at_x(int x);
    void scroll_to_caret();
    void place_caret();
    void changed_view();

    // Events.
    void paint();
    bool key(WPARAM key);
    void character(wchar_t c);
    void context_menu(LPARAM at);
    void notify(WORD code) const;
    void paint_border(HRGN region);

    HWND self_;
    std::wstring text_;
    Selection selection_;
    std::vector<std::int64_t> x_{0}; // x_[i]: the width of text_[0, i)
    std::size_t first_ = 0;          // the first character shown when the text is scrolled
    HFONT font_ = nullptr;
    Widths widths_;
    int line_height_ = 0;
    std::optional<RECT> format_; // where the text goes; nullopt until asked for after a change
    // The edit control's one level of undo: the text and selection before the last change.
    std::wstring undo_text_;
    Selection undo_selection_;
    bool can_undo_ = false;
    bool typing_ = false; // the last change was a typed character, where the caret still is
    bool dragging_ = false;
    bool focused_ = false;
    HTHEME theme_ = nullptr; // the visual style's edit field, when one is on
};

TextField* field_of(HWND window) {
    return reinterpret_cast<TextField*>(GetWindowLongPtrW(window, 0));
}

LRESULT CALLBACK text_field_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(new TextField(window)));
    }
    TextField* field = field_of(window);
    if (field == nullptr) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, 0, 0);
        delete field;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return field->handle(message, wparam, lparam);
}

// The clipboard's text as a paste gives it to a field (see pasted_text); nothing when the
// clipboard holds no text.
std::optional<std::wstring> clipboard_text(HWND owner) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(owner)) {
        return std::nullopt;
    }
    std::optional<std::wstring> text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Up to the terminating zero, within the block in case it has none.
            const std::size_t limit = GlobalSize(data) / sizeof(wchar_t);
            text = pasted_text(std::wstring_view(chars, wcsnlen(chars, limit)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void TextField::notify(WORD code) const {
    SendMessageW(GetParent(self_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(self_), code),
                 reinterpret_cast<LPARAM>(self_));
}

std::size_t TextField::clamp(std::size_t at) const {
    at = std::min(at, length());
    // Never between the halves of a surrogate pair.
    if (at > 0 && at < length() && is_low_surrogate(text_[at]) &&
        is_high_surrogate(text_[at - 1])) {
        --at;
    }
    return at;
}

std::size_t TextField::step_back(std::size_t from) const {
    return from == 0 ? 0 : clamp(from - 1);
}

std::size_t TextField::step_forward(std::size_t from) const {
    if (from >= length()) {
        return length();
    }
    const bool pair =
        from + 1 < length() && is_high_surrogate(text_[from]) && is_low_surrogate(text_[from + 1]);
    return from + (pair ? 2 : 1);
}

std::size_t TextField::word_back(std::size_t from) const {
    while (from > 0 && is_blank(text_[from - 1])) {
        --from;
    }
    while (from > 0 && !is_blank(text_[from - 1])) {
        --from;
    }
    return from;
}

// To the start of the next word, as Windows' edit control moves.
std::size_t TextField::word_forward(std::size_t from) const {
    while (from < length() && !is_blank(text_[from])) {
        ++from;
    }
    while (from < length() && is_blank(text_[from])) {
        ++from;
    }
    return from;
}

void TextField::measure_from(std::size_t from) {
    from = std::min(from, length());
    // A pair's width sits on its first half: measure again from there.
    if (from > 0) {
        --from;
    }
    x_.resize(length() + 1);
    for (std::size_t i = from; i < length(); ++i) {
        x_[i + 1] = x_[i] + widths_.at(text_, i, self_);
    }
    widths_.done();
}

// Where the edit control puts its text: its formatting rectangle, asked of an edit control of
// the same size, styles and font that never holds a text (its margins and border insets differ
// between Windows versions and wine, and a field must look as the edit control does).
const RECT& TextField::format() {
    if (format_) {
        return *format_;
    }
    RECT client{};
    GetClientRect(self_, &client);
    const auto style = static_cast<DWORD>(GetWindowLongW(self_, GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(GetWindowLongW(self_, GWL_EXSTYLE));
    RECT outer{};
    GetWindowRect(self_, &outer);
    HWND probe = CreateWindowExW(
        (ex_style & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) | WS_EX_NOPARENTNOTIFY, WC_EDITW, L"",
        WS_CHILD | (style & (ES_LEFT | ES_CENTER | ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER)), 0, 0,
        outer.right - outer.left, outer.bottom - outer.top, GetParent(self_), nullptr,
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(self_, GWLP_HINSTANCE)), nullptr);
    RECT rect = client;
    if (probe != nullptr) {
        SendMessageW(probe, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        SendMessageW(probe, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rect));
        DestroyWindow(probe);
    } else {
        InflateRect(&rect, -2, -1);
    }
    rect.right = std::max(rect.right, rect.left + 1);
    rect.bottom = std::min<LONG>(client.bottom, rect.top + line_height_);
    format_ = rect;
    return *format_;
}

// The x of the caret before text_[at], in client pixels.
int TextField::x_of(std::size_t at) {
    const RECT& rect = format();
    const std::int64_t width = rect.right - rect.left;
    const std::int64_t whole = x_.back();
    std::int64_t indent = 0;
    if (first_ == 0 && whole <= width) {
        const auto style = GetWindowLongW(self_, GWL_STYLE);
        if ((style & ES_CENTER) != 0) {
            indent = (width - whole) / 2;
        } else if ((style & ES_RIGHT) != 0) {
            indent = width - whole;
        }
    }
    const std::int64_t x = rect.left + indent + x_[at] - x_[first_];
    return static_cast<int>(std::clamp<std::int64_t>(x, -30000, 30000));
}

// The place between two characters nearest to client x.
std::size_t TextField::at_x(int x) {
    const std::int64_t wanted = x_[first_] + (x - x_of(first_));
    const auto after = std::lower_bound(x_.begin(), x_.end(), wanted);
    if (after == x_.begin()) {
        return 0;
    }
    if (after == x_.end()) {
        return length();
    }
    auto at = static_cast<std::size_t>(after - x_.begin());
    if (wanted - x_[at - 1] < x_[at] - wanted) {
        --at;
    }
    return clamp(at);
}

// Scrolls as the edit control does when the caret leaves the field: by a third of the field's
// width past the caret, no further than needed to show the text's end.
void TextField::scroll_to_caret() {
    const std::int64_t width = format_width();
    const std::size_t caret = selection_.caret;
    first_ = std::min(first_, length());
    if (x_.back() <= width) {
        first_ = 0;
        return;
    }
    const auto index = [this](std::vector<std::int64_t>::const_iterator at) {
        return clamp(static_cast<std::size_t>(at - x_.cbegin()));
    };
    if (x_[caret] < x_[first_]) {
        // Left of the field: the caret a third into it.
        const auto at = std::upper_bound(x_.cbegin(), x_.cend(), x_[caret] - width / 3);
        first_ = at == x_.cbegin() ? 0 : index(at - 1);
    } else if (x_[caret] - x_[first_] > width) {
        const auto caret_goal =
            std::lower_bound(x_.cbegin(), x_.cend(), x_[caret] - (width - width / 3));
        const auto end_shown = std::lower_bound(x_.cbegin(), x_.cend(), x_.back() - width);
        first_ = index(std::min(caret_goal, end_shown));
    }
    // No empty room after the text's end while its start is hidden.
    if (first_ > 0 && x_.back() - x_[first_] < width) {
        first_ = index(std::lower_bound(x_.cbegin(), x_.cend(), x_.back() - width));
    }
}

void TextField::place_caret() {
    if (focused_) {
        SetCaretPos(x_of(selection_.caret), format().top);
    }
}

// After a change of the text, the selection, the font or the size.
void TextField::changed_view() {
    scroll_to_caret();
    place_caret();
    InvalidateRect(self_, nullptr, TRUE);
}

void TextField::select(std::size_t anchor, std::size_t caret) {
    selection_ = {clamp(anchor), clamp(caret)};
    typing_ = false;
    changed_view();
}

void TextField::move_caret(std::size_t to, bool extend) {
    select(extend ? selection_.anchor : to, to);
}

void TextField::replace_selection(std::wstring_view with, bool can_undo, Change change) {
    const std::size_t low = selection_.low();
    const std::size_t high = selection_.high();
    if (low == high && with.empty()) {
        return;
    }
    const bool joins = change == Change::Typing && typing_ && selection_.empty() && can_undo_;
    if (can_undo && !joins) {
        undo_text_ = text_;
        undo_selection_ = selection_;
        can_undo_ = true;
    } else if (!can_undo) {
        can_undo_ = false;
        undo_text_.clear();
    }
    text_.replace(low, high - low, with);
    measure_from(low);
    selection_.anchor = selection_.caret = low + with.size();
    typing_ = change == Change::Typing;
    changed_view();
    notify(EN_CHANGE);
}

void TextField::set_text(std::wstring_view text) {
    text_.assign(text);
    measure_from(0);
    selection_ = {};
    first_ = 0;
    can_undo_ = false;
    undo_text_.clear();
    typing_ = false;
    changed_view();
    notify(EN_CHANGE);
}

// The text and selection before the last change come back; the undone change becomes the one to
// undo, so a second undo redoes it.
void TextField::undo() {
    if (!can_undo_) {
        return;
    }
    std::swap(text_, undo_text_);
    std::swap(selection_, undo_selection_);
    measure_from(0);
    typing_ = false;
    changed_view();
    notify(EN_CHANGE);
}

void TextField::copy() const {
    if (selection_.empty() || !OpenClipboard(self_)) {
        return;
    }
    EmptyClipboard();
    const std::size_t count = selection_.high() - selection_.low();
    const std::size_t bytes = (count + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (auto* chars = static_cast<wchar_t*>(GlobalLock(memory))) {
            std::memcpy(chars, text_.data() + selection_.low(), count * sizeof(wchar_t));
            chars[count] = L'\0';
            GlobalUnlock(memory);
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
                GlobalFree(memory);
            }
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

// The whole text on the clipboard, line breaks included (see pasted_text).
void TextField::paste() {
    if (const auto text = clipboard_text(self_)) {
        replace_selection(*text, true, Change::Other);
    }
}

// The border of a themed edit control: the visual style's picture of an edit field, in its
// state (disabled, focused or normal), over the 3-D edge Windows would draw; without a visual
// style, the edge.
void TextField::paint_border(HRGN region) {
    const auto ex_style = GetWindowLongW(self_, GWL_EXSTYLE);
    if (theme_ == nullptr || (ex_style & WS_EX_CLIENTEDGE) == 0) {
        DefWindowProcW(self_, WM_NCPAINT, reinterpret_cast<WPARAM>(region), 0);
        return;
    }
    const int state = !IsWindowEnabled(self_) ? ETS_DISABLED : focused_ ? ETS_FOCUSED : ETS_NORMAL;
    RECT outer{};
    GetWindowRect(self_, &outer);
    const int edge_x = GetSystemMetrics(SM_CXEDGE);
    const int edge_y = GetSystemMetrics(SM_CYEDGE);
    // What is left for Windows to draw (scroll bars, none here): the inside of the border.
    HRGN inside = CreateRectRgn(outer.left + edge_x, outer.top + edge_y, outer.right - edge_x,
                                outer.bottom - edge_y);
    if (region != reinterpret_cast<HRGN>(1)) {
        CombineRgn(inside, inside, region, RGN_AND);
    }
    OffsetRect(&outer, -outer.left, -outer.top);
    // The whole border, never the inside, which WM_PAINT draws.
    if (HDC dc = GetWindowDC(self_)) {
        ExcludeClipRect(dc, edge_x, edge_y, outer.right - edge_x, outer.bottom - edge_y);
        if (IsThemeBackgroundPartiallyTransparent(theme_, EP_EDITTEXT, state)) {
            DrawThemeParentBackground(self_, dc, &outer);
        }
        DrawThemeBackground(theme_, dc, EP_EDITTEXT, state, &outer, nullptr);
        ReleaseDC(self_, dc);
    }
    DefWindowProcW(self_, WM_NCPAINT, reinterpret_cast<WPARAM>(inside), 0);
    DeleteObject(inside);
}

void TextField::paint() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(self_, &paint);
    if (dc == nullptr) {
        return;
    }
    const bool enabled = IsWindowEnabled(self_) != FALSE;
    // The parent chooses the colours, as for an edit control (a disabled one asks as a static).
    HWND parent = GetParent(self_);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        parent != nullptr ? parent : self_, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
        reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(self_)));
    if (brush == nullptr) {
        brush = GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    }
    if (!enabled) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    RECT client{};
    GetClientRect(self_, &client);
    FillRect(dc, &client, brush);

    const RECT rect = format();
    HGDIOBJ old_font = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
    // Only the characters that show: from the first one in the field to the first one past it.
    const std::size_t from = first_;
    const auto end_x = x_[from] + (rect.right - x_of(from));
    const std::size_t to =
        std::min(length(), clamp(static_cast<std::size_t>(
                               std::upper_bound(x_.begin(), x_.end(), end_x) - x_.begin())) +
                               1);
    std::vector<INT> advances;
    auto draw = [&](std::size_t begin, std::size_t end, bool selected) {
        begin = std::max(begin, from);
        end = std::min(end, to);
        if (begin >= end) {
            return;
        }
        advances.resize(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            advances[i - begin] = static_cast<INT>(x_[i + 1] - x_[i]);
        }
        RECT box{x_of(begin), rect.top, x_of(end), rect.top + line_height_};
        // A glyph may reach past the run's end: only a selection's box cuts it.
        RECT clip = rect;
        if (selected) {
            IntersectRect(&clip, &box, &rect);
        }
        if (selected) {
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            SetBkMode(dc, OPAQUE);
        } else {
            SetBkMode(dc, OPAQUE);
        }
        ExtTextOutW(dc, box.left, rect.top, ETO_CLIPPED | (selected ? ETO_OPAQUE : 0), &clip,
                    text_.data() + begin, static_cast<UINT>(end - begin), advances.data());
    };
    const bool shown = focused_ && !selection_.empty();
    const std::size_t low = shown ? selection_.low() : length();
    const std::size_t high = shown ? selection_.high() : length();
    const COLORREF text_colour = GetTextColor(dc);
    // Runs of digits, of number signs and separators, and of the rest, each drawn over the
    // background of its own advances, as the edit control draws the items its script analysis
    // splits a text into: where a glyph reaches past its advance, the next run covers it (only
    // the text's last glyph keeps its overhang).
    const auto kind = [this](std::size_t i) {
        const wchar_t c = text_[i];
        if (c >= L'0' && c <= L'9') {
            return 0;
        }
        return c == L'.' || c == L',' || c == L'+' || c == L'-' ? 1 : 2;
    };
    const auto draw_runs = [&](std::size_t begin, std::size_t end) {
        begin = std::max(begin, from);
        end = std::min(end, to);
        while (begin < end) {
            std::size_t next = begin + 1;
            while (next < end && kind(next) == kind(begin)) {
                ++next;
            }
            draw(begin, next, false);
            begin = next;
        }
    };
    draw_runs(0, low);
    draw_runs(high, length());
    draw(low, high, true);
    SetTextColor(dc, text_colour);
    SelectObject(dc, old_font);
    EndPaint(self_, &paint);
}

// The keys of the edit control that are no characters; false leaves the key to Windows.
bool TextField::key(WPARAM key) {
    const bool shift = key_down(VK_SHIFT);
    const bool control = key_down(VK_CONTROL);
    const std::size_t caret = selection_.caret;
    switch (key) {
    case VK_LEFT:
    case VK_UP: // single line: as Left
        if (control) {
            move_caret(word_back(caret), shift);
        } else if (!shift && !selection_.empty()) {
            move_caret(selection_.low(), false);
        } else {
            move_caret(step_back(caret), shift);
        }
        return true;
    case VK_RIGHT:
    case VK_DOWN:
        if (control) {
            move_caret(word_forward(caret), shift);
        } else if (!shift && !selection_.empty()) {
            move_caret(selection_.high(), false);
        } else {
            move_caret(step_forward(caret), shift);
        }
        return true;
    case VK_HOME:
        move_caret(0, shift);
        return true;
    case VK_END:
        move_caret(length(), shift);
        return true;
    case VK_DELETE:
        if (shift) {
            SendMessageW(self_, WM_CUT, 0, 0);
        } else {
            if (selection_.empty()) {
                selection_.caret = step_forward(caret);
            }
            replace_selection({}, true, Change::Other);
        }
        return true;
    case VK_INSERT:
        if (control && !shift) {
            SendMessageW(self_, WM_COPY, 0, 0);
        } else if (shift && !control) {
            SendMessageW(self_, WM_PASTE, 0, 0);
        }
        return true;
    default:
        return false;
    }
}

// A character typed, or a control character of Ctrl+A, C, V, X, Z and Backspace.
void TextField::character(wchar_t c) {
    switch (c) {
    case 0x01: // Ctrl+A
        select(0, length());
        return;
    case 0x03: // Ctrl+C
        SendMessageW(self_, WM_COPY, 0, 0);
        return;
    case 0x16: // Ctrl+V
        SendMessageW(self_, WM_PASTE, 0, 0);
        return;
    case 0x18: // Ctrl+X
        SendMessageW(self_, WM_CUT, 0, 0);
        return;
    case 0x1A: // Ctrl+Z
        SendMessageW(self_, WM_UNDO, 0, 0);
        return;
    case 0x08: // Backspace
        if (selection_.empty()) {
            selection_.anchor = step_back(selection_.caret);
        }
        replace_selection({}, true, Change::Other);
        return;
    default:
        break;
    }
    // Other control characters (Enter, Escape, Ctrl+Backspace) type nothing.
    if (c < 0x20 || c == 0x7F) {
        return;
    }
    const wchar_t typed[] = {c};
    replace_selection(std::wstring_view(typed, 1), true, Change::Typing);
}

void TextField::context_menu(LPARAM at) {
    if (GetFocus() != self_) {
        SetFocus(self_);
    }
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (static_cast<DWORD>(at) == 0xFFFFFFFF) { // from the keyboard (x and y -1): at the caret
        point = {x_of(selection_.caret), format().bottom};
        ClientToScreen(self_, &point);
    }
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    const auto state = [](bool enabled) { return MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED); };
    const bool selected = !selection_.empty();
    AppendMenuW(menu, state(can_undo_), menu_undo, L"&Undo");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, state(selected), menu_cut, L"Cu&t");
    AppendMenuW(menu, state(selected), menu_copy, L"&Copy");
    AppendMenuW(menu, state(IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE), menu_paste,
                L"&Paste");
    AppendMenuW(menu, state(selected), menu_delete, L"&Delete");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, state(selection_.high() - selection_.low() < length()), menu_select_all,
                L"Select &All");
    const auto chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                       point.x, point.y, 0, self_, nullptr));
    DestroyMenu(menu);
    switch (chosen) {
    case menu_undo:
        SendMessageW(self_, WM_UNDO, 0, 0);
        break;
    case menu_cut:
        SendMessageW(self_, WM_CUT, 0, 0);
        break;
    case menu_copy:
        SendMessageW(self_, WM_COPY, 0, 0);
        break;
    case menu_paste:
        SendMessageW(self_, WM_PASTE, 0, 0);
        break;
    case menu_delete:
        SendMessageW(self_, WM_CLEAR, 0, 0);
        break;
    case menu_select_all:
        select(0, length());
        break;
    default:
        break;
    }
}

LRESULT TextField::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        const auto& create = *reinterpret_cast<const CREATESTRUCTW*>(lparam);
        text_ = create.lpszName != nullptr ? create.lpszName : L"";
        measure_from(0);
        theme_ = OpenThemeData(self_, WC_EDITW);
        return 0;
    }
    case WM_DESTROY:
        CloseThemeData(theme_);
        theme_ = nullptr;
        break;
    case WM_THEMECHANGED:
        CloseThemeData(theme_);
        theme_ = OpenThemeData(self_, WC_EDITW);
        format_.reset();
        RedrawWindow(self_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
        return 0;
    case WM_NCPAINT:
        paint_border(reinterpret_cast<HRGN>(wparam));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lparam) == OBJID_CLIENT) {
            if (const LRESULT answer = edit_description(self_, wparam); answer != 0) {
                return answer;
            }
        }
        break;
    case WM_SETTEXT:
        set_text(lparam != 0 ? std::wstring_view(reinterpret_cast<const wchar_t*>(lparam))
                             : std::wstring_view{});
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(length());
    case WM_GETTEXT: {
        if (wparam == 0 || lparam == 0) {
            return 0;
        }
        const std::size_t count = std::min<std::size_t>(length(), wparam - 1);
        auto* buffer = reinterpret_cast<wchar_t*>(lparam);
        std::copy_n(text_.data(), count, buffer);
        buffer[count] = L'\0';
        return static_cast<LRESULT>(count);
    }
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wparam);
        {
            HDC dc = GetDC(self_);
            HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(SYSTEM_FONT));
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            line_height_ = metrics.tmHeight;
            SelectObject(dc, old);
            ReleaseDC(self_, dc);
        }
        widths_.reset(font_);
        format_.reset();
        measure_from(0);
        if (focused_) {
            CreateCaret(self_, nullptr, 1, line_height_);
            ShowCaret(self_);
        }
        scroll_to_caret();
        place_caret();
        if (LOWORD(lparam) != 0) {
            InvalidateRect(self_, nullptr, TRUE);
        }
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
        format_.reset();
        changed_view();
        return 0;
    case WM_ERASEBKGND:
        return TRUE; // WM_PAINT fills the field
    case WM_PAINT:
        paint();
        return 0;
    case WM_ENABLE:
        RedrawWindow(self_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return 0;
    case WM_SETFOCUS: {
        focused_ = true;
        DWORD caret_width = 1;
        SystemParametersInfoW(SPI_GETCARETWIDTH, 0, &caret_width, 0);
        CreateCaret(self_, nullptr, static_cast<int>(std::max<DWORD>(caret_width, 1)),
                    line_height_);
        place_caret();
        ShowCaret(self_);
        RedrawWindow(self_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE); // the border's state
        notify(EN_SETFOCUS);
        return 0;
    }
    case WM_KILLFOCUS:
        focused_ = false;
        typing_ = false;
        DestroyCaret();
        // The selection hides; the border's state changes.
        RedrawWindow(self_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        notify(EN_KILLFOCUS);
        return 0;
    case WM_KEYDOWN:
        if (key(wparam)) {
            return 0;
        }
        break;
    case WM_CHAR:
        character(static_cast<wchar_t>(wparam));
        return 0;
    case WM_LBUTTONDOWN:
        if (GetFocus() != self_) {
            SetFocus(self_);
        }
        SetCapture(self_);
        dragging_ = true;
        move_caret(at_x(static_cast<short>(LOWORD(lparam))), (wparam & MK_SHIFT) != 0);
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_ && GetCapture() == self_) {
            const int x = static_cast<short>(LOWORD(lparam));
            move_caret(at_x(x), true);
            const RECT& rect = format();
            if (x < rect.left || x >= rect.right) {
                SetTimer(self_, drag_timer, drag_scroll_ms, nullptr);
            } else {
                KillTimer(self_, drag_timer);
            }
        }
        return 0;
    case WM_TIMER:
        if (wparam == drag_timer && dragging_) {
            // The pointer held beyond an edge: the selection grows a character that way.
            POINT pointer{};
            GetCursorPos(&pointer);
            ScreenToClient(self_, &pointer);
            if (pointer.x < format().left) {
                move_caret(step_back(selection_.caret), true);
            } else if (pointer.x >= format().right) {
                move_caret(step_forward(selection_.caret), true);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (dragging_) {
            ReleaseCapture(); // WM_CAPTURECHANGED ends the drag
        }
        return 0;
    case WM_CAPTURECHANGED:
        dragging_ = false;
        KillTimer(self_, drag_timer);
        return 0;
    case WM_LBUTTONDBLCLK: {
        // The word under the pointer (or the run of blanks).
        const std::size_t at = at_x(static_cast<short>(LOWORD(lparam)));
        const bool blank =
            at < length() ? is_blank(text_[at]) : (at > 0 && is_blank(text_[at - 1]));
        std::size_t begin = at;
        std::size_t end = at;
        while (begin > 0 && is_blank(text_[begin - 1]) == blank) {
            --begin;
        }
        while (end < length() && is_blank(text_[end]) == blank) {
            ++end;
        }
        select(begin, end);
        return 0;
    }
    case WM_CONTEXTMENU:
        context_menu(lparam);
        return 0;
    case WM_CUT:
        copy();
        replace_selection({}, true, Change::Other);
        return 0;
    case WM_COPY:
        copy();
        return 0;
    case WM_PASTE:
        paste();
        return 0;
    case WM_CLEAR:
        replace_selection({}, true, Change::Other);
        return 0;
    case WM_UNDO:
    case EM_UNDO: {
        const bool could = can_undo_;
        undo();
        return could ? TRUE : FALSE;
    }
    case EM_CANUNDO:
        return can_undo_ ? TRUE : FALSE;
    case EM_EMPTYUNDOBUFFER:
        can_undo_ = false;
        undo_text_.clear();
        return 0;
    case EM_GETSEL: {
        const std::size_t low = selection_.low();
        const std::size_t high = selection_.high();
        if (wparam != 0) {
            *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(low);
        }
        if (lparam != 0) {
            *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(high);
        }
        return high > 0xFFFF ? -1 : static_cast<LRESULT>(MAKELONG(low, high));
    }
    case EM_SETSEL: {
        // As the edit control: a start of -1 only clears the selection; -1 or more than the
        // length at the end is the end.
        const auto start = static_cast<INT>(wparam);
        const auto end = static_cast<INT>(lparam);
        const auto place = [this](INT at) {
            return at < 0 ? length() : std::min(static_cast<std::size_t>(at), length());
        };
        if (start == -1) {
            select(selection_.caret, selection_.caret);
        } else {
            select(place(start), place(end));
        }
        return 0;
    }
    case EM_REPLACESEL:
        replace_selection(lparam != 0 ? std::wstring_view(reinterpret_cast<const wchar_t*>(lparam))
                                      : std::wstring_view{},
                          wparam != 0, Change::Other);
        return 0;
    case EM_SCROLLCARET:
        changed_view();
        return TRUE;
    case EM_GETRECT:
        if (lparam != 0) {
            *reinterpret_cast<RECT*>(lparam) = format();
        }
        return 0;
    case EM_POSFROMCHAR:
        if (wparam > length()) {
            return -1;
        }
        return MAKELRESULT(static_cast<WORD>(x_of(wparam)), static_cast<WORD>(format().top));
    case EM_CHARFROMPOS: {
        const std::size_t at = at_x(static_cast<short>(LOWORD(lparam)));
        return MAKELRESULT(static_cast<WORD>(std::min<std::size_t>(at, 0xFFFF)), 0);
    }
    default:
        break;
    }
    return DefWindowProcW(self_, message, wparam, lparam);
}

} // namespace

void register_text_field(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, text_field_class, &existing)) {
        return;
    }
    WNDCLASSEXW field{};
    field.cbSize = sizeof field;
    field.style = CS_DBLCLKS;
    field.lpfnWndProc = text_field_procedure;
    field.cbWndExtra = sizeof(TextField*);
    field.hInstance = instance;
    field.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    field.lpszClassName = text_field_class;
    if (RegisterClassExW(&field) == 0) {
        throw std::runtime_error("cannot register the text field's window class");
    }
}

} // namespace veltrane::win32
