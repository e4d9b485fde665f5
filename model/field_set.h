#pragma once

#include "model/choice.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane {

// The named text fields of the calculator window.
enum class Field {
    F1,
    R1,
    X1,
    F2,
    R2,
    X2,
    RL, // inputs
    Ls,
    Cs,
    Lp,
    Cp,
    Q1,
    Q2,
    Q0,
    FL,
    FH,
    F0,      // results
    Message, // model_text
};
inline constexpr std::size_t field_count = 18;

// The option buttons, in three exclusive pairs: F1 crossover, F2 crossover, topology.
enum class Option { F1Ind, F1Cap, F2Ind, F2Cap, SerPar, ParSer };
inline constexpr std::size_t option_count = 6;

// Inputs in the order the calculation reads them.
inline constexpr std::array<Field, 7> input_fields = {Field::F1, Field::F2, Field::R1, Field::X1,
                                                      Field::R2, Field::X2, Field::RL};

// Results in the order the calculation clears them.
inline constexpr std::array<Field, 10> result_fields = {Field::Ls, Field::Cs, Field::Lp, Field::Cp,
                                                        Field::Q1, Field::Q2, Field::Q0, Field::FL,
                                                        Field::FH, Field::F0};

// Control names as the window knows them: "F1_txt", ..., "model_text".
[[nodiscard]] std::string_view field_name(Field field);
// "F1_ind", "F1_cap", "F2_ind", "F2_cap", "SerPar", "ParSer".
[[nodiscard]] std::string_view option_name(Option option);
// The text a field holds when the window opens ("1.0" for F1_txt, empty for results).
[[nodiscard]] std::string_view default_text(Field field);
// The other member of the option's exclusive pair.
[[nodiscard]] Option partner(Option option);

// What the calculation needs from the window: read and write field texts, ask an option
// button, show or hide the message field. Texts are UTF-8.
class FieldSet {
  public:
    virtual ~FieldSet() = default;
    [[nodiscard]] virtual std::string text(Field field) const = 0;
    virtual void set_text(Field field, std::string_view text) = 0;
    [[nodiscard]] virtual bool is_selected(Option option) const = 0;
    virtual void set_message_visible(bool visible) = 0;
};

// A window without pixels: the default texts, no option selected, the message field hidden
// and empty.
class MemoryFieldSet final : public FieldSet {
  public:
    MemoryFieldSet();

    [[nodiscard]] std::string text(Field field) const override;
    void set_text(Field field, std::string_view text) override;
    [[nodiscard]] bool is_selected(Option option) const override;
    void set_message_visible(bool visible) override;

    // Selects an option button and clears its partner, as a click does.
    void select(Option option);
    [[nodiscard]] bool is_message_visible() const { return message_visible_; }

  private:
    std::array<std::string, field_count> texts_;
    std::array<bool, option_count> selected_{};
    bool message_visible_ = false;
};

// The choice the option buttons of `fields` make (a missing one reads as its second button).
[[nodiscard]] Choice choice_of(const FieldSet& fields);

// Clicks the option buttons of `choice`.
void select_choice(MemoryFieldSet& fields, Choice choice);

} // namespace veltrane
