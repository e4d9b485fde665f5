#pragma once

#include "app/win32/controls.h"
#include "model/field_set.h"

namespace veltrane::win32 {

// The calculator window's controls as the field set the calculation reads and writes.
class WindowFieldSet final : public FieldSet {
  public:
    explicit WindowFieldSet(const Controls& controls);

    [[nodiscard]] std::string text(Field field) const override;
    void set_text(Field field, std::string_view text) override;
    [[nodiscard]] bool is_selected(Option option) const override;
    void set_message_visible(bool visible) override;

  private:
    std::array<HWND, field_count> fields_{};
    std::array<HWND, option_count> options_{};
};

} // namespace veltrane::win32
