#include "app/win32/field_set.h"

#include <algorithm>
#include <stdexcept>

namespace veltrane::win32 {

namespace {

HWND named(const Controls& controls, std::string_view name) {
    HWND control = controls.control(name);
    if (control == nullptr) {
        throw std::logic_error("the window has no control " + std::string(name));
    }
    return control;
}

} // namespace

WindowFieldSet::WindowFieldSet(const Controls& controls) {
    for (std::size_t i = 0; i < field_count; ++i) {
        fields_[i] = named(controls, field_name(static_cast<Field>(i)));
    }
    for (std::size_t i = 0; i < option_count; ++i) {
        options_[i] = named(controls, option_name(static_cast<Option>(i)));
    }
}

std::string WindowFieldSet::text(Field field) const {
    HWND edit = fields_.at(static_cast<std::size_t>(field));
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    const int length = GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return utf8(text);
}

void WindowFieldSet::set_text(Field field, std::string_view text) {
    SetWindowTextW(fields_.at(static_cast<std::size_t>(field)), wide(text).c_str());
}

bool WindowFieldSet::is_selected(Option option) const {
    return SendMessageW(options_.at(static_cast<std::size_t>(option)), BM_GETCHECK, 0, 0) ==
           BST_CHECKED;
}

void WindowFieldSet::set_message_visible(bool visible) {
    ShowWindow(fields_[static_cast<std::size_t>(Field::Message)], visible ? SW_SHOWNA : SW_HIDE);
}

} // namespace veltrane::win32
