#pragma once

#include "model/field_set.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane {

// The units of the calculator's quantities.
enum class Unit { None, GHz, MHz, Ohm, NanoHenry, PicoFarad };

// The unit as people read it in texts: "GHz", "MHz", "ohm", "nH", "pF"; empty for none.
[[nodiscard]] constexpr std::string_view unit_symbol(Unit unit) {
    switch (unit) {
    case Unit::GHz:
        return "GHz";
    case Unit::MHz:
        return "MHz";
    case Unit::Ohm:
        return "ohm";
    case Unit::NanoHenry:
        return "nH";
    case Unit::PicoFarad:
        return "pF";
    case Unit::None:
        break;
    }
    return {};
}

// The unit as the calculator window and its report write it after a number: " Ohm" in the
// window's names, " Ohms" in the report; the others as unit_symbol gives them.
[[nodiscard]] constexpr std::string_view window_unit(Unit unit) {
    return unit == Unit::Ohm ? "Ohm" : unit_symbol(unit);
}
[[nodiscard]] constexpr std::string_view report_unit(Unit unit) {
    switch (unit) {
    case Unit::Ohm:
        return " Ohms";
    case Unit::MHz:
        return " MHz";
    case Unit::NanoHenry:
        return " nH";
    case Unit::PicoFarad:
        return " pF";
    case Unit::GHz:
        return " GHz";
    case Unit::None:
        break;
    }
    return {};
}

// One quantity of the calculator: a text field of its window.
struct Quantity {
    Field field;
    std::string_view control;      // the window's name for the field
    std::string_view symbol;       // "F1", "Ls", "Q0"
    Unit unit;                     //
    std::string_view default_text; // what the field holds when the window opens
    std::string_view meaning;      // "resistance at F1", "series inductance"
    std::string_view tooltip;      // what resting the mouse on the field shows
};

// Every text field of the calculator window, in the order of Field.
inline constexpr std::array<Quantity, field_count> quantities = {{
    {Field::F1, "F1_txt", "F1", Unit::GHz, "1.0", "first frequency", "F1: first frequency, GHz"},
    {Field::R1, "R1_txt", "R1", Unit::Ohm, "1.0", "resistance at F1",
     "R1 + jX1: impedance measured at F1, ohm"},
    {Field::X1, "X1_txt", "X1", Unit::Ohm, "0.0", "reactance at F1",
     "R1 + jX1: impedance measured at F1, ohm"},
    {Field::F2, "F2_txt", "F2", Unit::GHz, "2.0", "second frequency", "F2: second frequency, GHz"},
    {Field::R2, "R2_txt", "R2", Unit::Ohm, "1.1", "resistance at F2",
     "R2 + jX2: impedance measured at F2, ohm"},
    {Field::X2, "X2_txt", "X2", Unit::Ohm, "0.0", "reactance at F2",
     "R2 + jX2: impedance measured at F2, ohm"},
    {Field::RL, "RL_txt", "RL", Unit::Ohm, "1.0", "load resistance", "RL: load resistance, ohm"},
    {Field::Ls, "Ls_txt", "Ls", Unit::NanoHenry, "", "series inductance",
     "Ls: series inductance, nH"},
    {Field::Cs, "Cs_txt", "Cs", Unit::PicoFarad, "", "series capacitance",
     "Cs: series capacitance, pF"},
    {Field::Lp, "Lp_txt", "Lp", Unit::NanoHenry, "", "parallel inductance",
     "Lp: parallel inductance, nH"},
    {Field::Cp, "Cp_txt", "Cp", Unit::PicoFarad, "", "parallel capacitance",
     "Cp: parallel capacitance, pF"},
    {Field::Q1, "Q1_txt", "Q1", Unit::None, "", "section Q at F1", "Q1: section Q at F1"},
    {Field::Q2, "Q2_txt", "Q2", Unit::None, "", "section Q at F2", "Q2: section Q at F2"},
    {Field::Q0, "Q0_txt", "Q0", Unit::None, "", "bandpass Q", "Q0: bandpass Q"},
    {Field::FL, "FL_txt", "FL", Unit::MHz, "", "lower band edge", "FL: lower band edge, MHz"},
    {Field::FH, "FH_txt", "FH", Unit::MHz, "", "upper band edge", "FH: upper band edge, MHz"},
    {Field::F0, "F0_txt", "F0", Unit::MHz, "", "mean frequency", "F0: mean frequency, MHz"},
    {Field::Message, "model_text", "Message", Unit::None, "", "message", ""},
}};

[[nodiscard]] constexpr const Quantity& quantity(Field field) {
    return quantities[static_cast<std::size_t>(field)];
}

// The field's name for people with its unit: "F1 [GHz]", "R1 [Ohm]", "Q1".
[[nodiscard]] std::string accessible_name(const Quantity& q);

// The unit after a number in a line for people: " nH", " MHz"; empty for none.
[[nodiscard]] std::string unit_suffix(Unit unit);

} // namespace veltrane
