#include "app/layout_table.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace veltrane::app {

namespace {

using enum Kind;
using enum FontRole;

// A text field of the calculator: its name, default text and tooltip come from the table of
// quantities; the window adds where it sits, its font and its place in the tab order.
constexpr Control field(Field f, Kind kind, Twips geometry, FontRole font, int tab,
                        std::string_view parent = {}) {
    const Quantity& q = quantity(f);
    return {q.control, kind, parent,          q.default_text, geometry, font,
            tab,       {},   Colour::Default, q.tooltip,      &q};
}

// clang-format off
constexpr std::array main_controls = std::to_array<Control>({
    // Frames first: they contain other controls.
    {"Frame1",     Frame,   "",       "",                 {360, 2880, 2895, 1815},  Dialog,     12, ""},
    {"Frame2",     Frame,   "",       "F1 crossover",     {3840, 360, 1455, 855},   DialogBold, 14, "", Colour::Default,
     "F1 crossover: the pair next to RL is inductive or capacitive at F1\n"
     "(the shunt pair for Parallel/Series, the series pair for Series/Parallel)"},
    {"Frame3",     Frame,   "",       "F2 crossover",     {3840, 1560, 1455, 855},  DialogBold, 15, "", Colour::Default,
     "F2 crossover: the pair next to RL is inductive or capacitive at F2\n"
     "(the shunt pair for Parallel/Series, the series pair for Series/Parallel)"},
    {"Frame4",     Frame,   "",       "TOPOLOGY",         {3720, 3360, 5295, 1335}, DialogBold, 41, ""},
    // Input fields.
    field(Field::F1, Input, {1080, 480, 1095, 285}, Dialog, 0),
    field(Field::R1, Input, {1080, 960, 1095, 285}, Dialog, 4),
    field(Field::X1, Input, {2400, 960, 1095, 285}, Dialog, 5),
    field(Field::F2, Input, {1080, 1680, 1095, 285}, Dialog, 6),
    field(Field::R2, Input, {1080, 2160, 1095, 285}, Dialog, 10),
    field(Field::X2, Input, {2400, 2160, 1095, 285}, Dialog, 11),
    field(Field::RL, Input, {4200, 2880, 1095, 285}, Dialog, 40),
    // Crossover options.
    {"F1_ind",     Option,  "Frame2", "Inductive",        {120, 240, 1215, 255},    Arial,      18, "F1 crossover Inductive"},
    {"F1_cap",     Option,  "Frame2", "Capacitive",       {120, 480, 1215, 255},    Arial,      19, "F1 crossover Capacitive"},
    {"F2_ind",     Option,  "Frame3", "Inductive",        {120, 240, 1215, 255},    Arial,      20, "F2 crossover Inductive"},
    {"F2_cap",     Option,  "Frame3", "Capacitive",       {120, 480, 1215, 255},    Arial,      21, "F2 crossover Capacitive"},
    // Topology frame.
    field(Field::Message, Message, {240, 240, 4815, 285}, Dialog, 48, "Frame4"),
    {"SerPar",     Option,  "Frame4", "Series/Parallel",  {240, 600, 1455, 255},    Dialog,     42, "Topology Series/Parallel", Colour::Default,
     "Series/Parallel: Ls and Cs in series with RL, Lp and Cp in parallel across both"},
    {"ParSer",     Option,  "Frame4", "Parallel/Series",  {240, 840, 1455, 255},    Dialog,     43, "Topology Parallel/Series", Colour::Default,
     "Parallel/Series: Lp and Cp in parallel across RL, Ls and Cs in series in front"},
    {"AboutModel", Command, "Frame4", "ABOUT",            {1800, 720, 855, 375},    DialogBold, 44, ""},
    {"Calc",       Command, "Frame4", "CALCULATE",        {2760, 720, 2295, 375},   DialogBold, 45, ""},
    // Result fields.
    field(Field::Ls, Result, {6000, 480, 1095, 285}, Dialog, 17),
    field(Field::Cs, Result, {7800, 480, 1095, 285}, Dialog, 23),
    field(Field::Lp, Result, {6000, 960, 1095, 285}, Dialog, 25),
    field(Field::Cp, Result, {7800, 960, 1095, 285}, Dialog, 47),
    field(Field::Q1, Result, {6000, 1680, 1095, 285}, Dialog, 28),
    field(Field::Q2, Result, {7800, 1680, 1095, 285}, Dialog, 30),
    field(Field::FL, Result, {6000, 2160, 1095, 285}, Dialog, 32),
    field(Field::FH, Result, {7800, 2160, 1095, 285}, Dialog, 34),
    field(Field::F0, Result, {6000, 2880, 1095, 285}, Dialog, 36),
    field(Field::Q0, Result, {7800, 2880, 1095, 285}, Dialog, 38),
    // Labels.
    {"Label1",     Label,   "",       "F1",               {360, 480, 615, 255},     DialogBold,  1, ""},
    {"Label2",     Label,   "",       "[GHz]",            {2280, 480, 615, 255},    DialogBold,  2, ""},
    {"Label3",     Label,   "",       "R1+ j X1",         {120, 960, 855, 255},     DialogBold,  3, ""},
    {"Label4",     Label,   "",       "F2",               {360, 1680, 615, 255},    DialogBold,  7, ""},
    {"Label5",     Label,   "",       "[GHz]",            {2280, 1680, 615, 255},   DialogBold,  8, ""},
    {"Label6",     Label,   "",       "R2+ j X2",         {120, 2160, 855, 255},    DialogBold,  9, ""},
    {"Label7",     Label,   "",       "Ls",               {5520, 480, 375, 255},    DialogBold, 16, ""},
    {"Label8",     Label,   "",       "Cs",               {7320, 480, 375, 255},    DialogBold, 22, ""},
    {"Label9",     Label,   "",       "Lp",               {5520, 960, 375, 255},    DialogBold, 24, ""},
    {"Label10",    Label,   "",       "Cp",               {7320, 960, 375, 255},    DialogBold, 26, ""},
    {"Label11",    Label,   "",       "Q1",               {5520, 1680, 375, 255},   DialogBold, 27, ""},
    {"Label12",    Label,   "",       "Q2",               {7320, 1680, 375, 255},   DialogBold, 29, ""},
    {"Label13",    Label,   "",       "FL",               {5520, 2160, 375, 255},   DialogBold, 31, ""},
    {"Label14",    Label,   "",       "FH",               {7320, 2160, 375, 255},   DialogBold, 33, ""},
    {"Label15",    Label,   "",       "F0",               {5520, 2880, 375, 255},   DialogBold, 35, ""},
    {"Label16",    Label,   "",       "Q0",               {7320, 2880, 375, 255},   DialogBold, 37, ""},
    {"Label17",    Label,   "",       "RL",               {3720, 2880, 375, 255},   DialogBold, 39, ""},
    {"Label18",    Label,   "",       "Tarnwell    Design Tools", {360, 2640, 2895, 255}, Brand, 46, "", Colour::Red},
    // The die photograph, shown at its natural size from the box's top-left corner.
    {"Picture1",   Picture, "Frame1", ":/images/die.png", {240, 240, 2415, 1455},   Dialog,     13, "Die photograph"},
});

constexpr std::array about_controls = std::to_array<Control>({
    {"Label1", Label, "", "by the Veltrane team",  {3000, 240, 3015, 375}, AboutCredit,  0, "", Colour::LightYellow},
    {"email",  Label, "", "veltrane@example.org",  {3000, 720, 3015, 255}, AboutContact, 1, "", Colour::LightYellow},
});
// clang-format on

} // namespace

std::span<const Control> main_window_controls() {
    return main_controls;
}
std::span<const Control> about_window_controls() {
    return about_controls;
}

const Control* find_control(std::span<const Control> table, std::string_view name) {
    const auto found = std::ranges::find(table, name, &Control::name);
    return found == table.end() ? nullptr : &*found;
}

Twips window_geometry(std::span<const Control> table, const Control& control) {
    Twips geometry = control.geometry;
    std::string_view parent = control.parent;
    // A frame inside a frame would add its own offset; the depth is bounded by the table's size.
    for (std::size_t depth = 0; !parent.empty(); ++depth) {
        const Control* container = find_control(table, parent);
        if (container == nullptr || depth == table.size()) {
            throw std::logic_error("no container " + std::string(parent) + " for " +
                                   std::string(control.name));
        }
        geometry.left += container->geometry.left;
        geometry.top += container->geometry.top;
        parent = container->parent;
    }
    return geometry;
}

std::vector<const Control*> tab_chain(std::span<const Control> table) {
    std::vector<const Control*> chain;
    for (const Control& control : table) {
        if (takes_focus(control.kind)) {
            chain.push_back(&control);
        }
    }
    std::ranges::stable_sort(chain, {}, &Control::tab);
    return chain;
}

} // namespace veltrane::app
