// The Win32 calculator window driven with window messages: what CALCULATE shows and writes
// against the core's own run on the same inputs, the keyboard, the layout and the About window.

#include "app/layout_table.h"
#include "app/win32/field_set.h"
#include "output/calculate.h"
#include "output/report.h"
#include "window_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace veltrane::testing {
namespace {

constexpr std::array all_fields = {Field::F1, Field::R1, Field::X1,     Field::F2, Field::R2,
                                   Field::X2, Field::RL, Field::Ls,     Field::Cs, Field::Lp,
                                   Field::Cp, Field::Q1, Field::Q2,     Field::Q0, Field::FL,
                                   Field::FH, Field::F0, Field::Message};

struct CalculationCase {
    std::string name;
    std::vector<std::pair<Field, std::string>> texts;
    std::vector<Option> options;        // clicked in this order
    std::optional<std::string> message; // the message shown, if one
    std::optional<std::string> Ls = {}; // a result as the window must show it
};

void PrintTo(const CalculationCase& row, std::ostream* out) {
    *out << row.name;
}

std::string long_rl() {
    // Read whole it is 2.0; cut at Windows' usual 30000 or 32767 characters it would be 0.
    return std::string(40000, '0') + "2.0";
}

const std::vector<CalculationCase> calculation_cases = {
    {"worked_example",
     {{Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     std::nullopt,
     std::string(worked_example_Ls)},
    {"series_parallel",
     {{Field::RL, "0.5"}},
     {Option::F1Ind, Option::F2Cap, Option::SerPar},
     std::nullopt},
    {"option_changed_in_its_pair",
     {{Field::RL, "2.0"}},
     {Option::F1Cap, Option::F1Ind, Option::F2Ind, Option::F2Cap, Option::SerPar, Option::ParSer},
     std::nullopt,
     std::string(worked_example_Ls)},
    {"comma_reads_to_the_comma",
     {{Field::RL, "2,0"}, {Field::F1, "1,5"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     std::nullopt,
     std::string(worked_example_Ls)},
    {"long_pasted_text",
     {{Field::RL, long_rl()}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     std::nullopt,
     std::string(worked_example_Ls)},
    {"text_beyond_ascii",
     {{Field::RL, "2.0"}, {Field::X1, "\xC2\xB5\xE2\x84\xA6 \xF0\x9D\x9B\x80"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     std::nullopt},
    {"no_f1_crossover", {}, {}, "Please F1 crossover"},
    {"no_f2_crossover", {}, {Option::F1Ind}, "Please F2 crossover"},
    {"no_topology", {}, {Option::F1Ind, Option::F2Cap}, "Please select topology"},
    {"rl_too_small", {}, {Option::F1Ind, Option::F2Cap, Option::ParSer}, "RL must be >   1.1"},
    {"rl_too_large",
     {{Field::RL, "5"}},
     {Option::F1Ind, Option::F2Cap, Option::SerPar},
     "RL must be <   1.0"},
    {"rl_not_positive",
     {{Field::RL, "-1"}},
     {Option::F1Ind, Option::F2Cap, Option::SerPar},
     "RL must be positive"},
    {"f1_zero",
     {{Field::F1, "0"}, {Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     "F1 must not be 0"},
    {"same_frequencies",
     {{Field::F2, "1"}, {Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     "F1 and F2 must differ"},
    {"change_topology",
     {{Field::F2, "-2"}, {Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     "Please change topology"},
    {"r1_negative",
     {{Field::R1, "-1"}, {Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     "R1 must be positive"},
    {"f1_too_large",
     {{Field::F1, "1e309"}, {Field::RL, "2.0"}},
     {Option::F1Ind, Option::F2Cap, Option::ParSer},
     "F1 is too large"},
};

// What the core does with the same texts and clicks.
struct CoreRun {
    MemoryFieldSet fields;
    MemoryReport report;
};

CoreRun core_run(const CalculationCase& row) {
    CoreRun run;
    for (const auto& [field, text] : row.texts) {
        run.fields.set_text(field, text);
    }
    for (Option option : row.options) {
        run.fields.select(option);
    }
    calculate(run.fields, run.report);
    return run;
}

void enter(Win32Window& window, const CalculationCase& row) {
    for (const auto& [field, text] : row.texts) {
        window.set_text(field_name(field), text);
    }
    for (Option option : row.options) {
        window.click(option_name(option));
    }
}

void expect_as_core(const Win32Window& window, const CoreRun& core) {
    for (Field field : all_fields) {
        EXPECT_EQ(window.text(field_name(field)), core.fields.text(field)) << field_name(field);
    }
    EXPECT_EQ(window.visible("model_text"), core.fields.is_message_visible());
    const auto report = window.folder() / std::string(report_file_name);
    EXPECT_EQ(std::filesystem::exists(report), core.report.written());
    EXPECT_EQ(read_bytes(report), core.report.bytes());
}

class CalculateCommand : public ::testing::TestWithParam<CalculationCase> {};

TEST_P(CalculateCommand, ShowsAndWritesWhatTheCoreDoes) {
    const CalculationCase& row = GetParam();
    Win32Window window;
    enter(window, row);
    window.click("Calc");
    const CoreRun core = core_run(row);
    expect_as_core(window, core);
    EXPECT_EQ(window.visible("model_text"), row.message.has_value());
    if (row.message) {
        EXPECT_EQ(window.text("model_text"), *row.message);
    }
    if (row.Ls) {
        EXPECT_EQ(window.text("Ls_txt"), *row.Ls);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CalculateCommand, ::testing::ValuesIn(calculation_cases),
                         [](const auto& info) { return info.param.name; });

struct PasteCase {
    std::string name;
    std::string clipboard;
    std::string held; // what the field holds after the paste, as the Qt window's does
};

void PrintTo(const PasteCase& row, std::ostream* out) {
    *out << row.name;
}

class PasteIntoField : public ::testing::TestWithParam<PasteCase> {};

// A paste keeps the whole text, line breaks included (CR LF as a line feed), and CALCULATE
// reads what the field holds, as the core does.
TEST_P(PasteIntoField, HoldsTheWholeTextAndCalculatesWithIt) {
    const PasteCase& row = GetParam();
    Win32Window window;
    window.paste("RL_txt", row.clipboard);
    EXPECT_EQ(window.text("RL_txt"), row.held);
    const CalculationCase worked = {
        row.name, {{Field::RL, row.held}}, {Option::F1Ind, Option::F2Cap, Option::ParSer}, {}};
    enter(window, {row.name, {}, worked.options, {}});
    window.click("Calc");
    expect_as_core(window, core_run(worked));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasteIntoField,
    ::testing::Values(PasteCase{"windows_line_end_between_digits", "1\r\n5", "1\n5"},
                      PasteCase{"line_feed", "2.\n0", "2.\n0"},
                      PasteCase{"trailing_windows_line_end", "2.0\r\n", "2.0\n"},
                      PasteCase{"lone_carriage_return_kept", "2\r.0", "2\r.0"},
                      PasteCase{"beyond_an_edit_fields_limit", std::string(33000, '0') + "2.0",
                                std::string(33000, '0') + "2.0"},
                      // Digits that took Windows' edit control seconds and minutes under wine.
                      PasteCase{"forty_thousand_digits", std::string(39997, '0') + "2.0",
                                std::string(39997, '0') + "2.0"},
                      PasteCase{"two_hundred_thousand_digits", std::string(199997, '0') + "2.0",
                                std::string(199997, '0') + "2.0"}),
    [](const auto& info) { return info.param.name; });

struct PasteKeyCase {
    std::string name;
    WPARAM modifier;
    WPARAM key;
};

void PrintTo(const PasteKeyCase& row, std::ostream* out) {
    *out << row.name;
}

class PasteKeys : public ::testing::TestWithParam<PasteKeyCase> {};

// The keys a Windows user pastes with give the same whole text as WM_PASTE.
TEST_P(PasteKeys, PasteTheWholeText) {
    Win32Window window;
    window.paste("RL_txt", "1\r\n5", GetParam().modifier, GetParam().key);
    EXPECT_EQ(window.text("RL_txt"), "1\n5");
}

INSTANTIATE_TEST_SUITE_P(Cases, PasteKeys,
                         ::testing::Values(PasteKeyCase{"ctrl_v", VK_CONTROL, 'V'},
                                           PasteKeyCase{"shift_insert", VK_SHIFT, VK_INSERT}),
                         [](const auto& info) { return info.param.name; });

TEST(CalculateCommand, NextCalculationHidesTheMessageAndKeepsItsText) {
    Win32Window window;
    window.click("Calc");
    ASSERT_TRUE(window.visible("model_text"));
    const CalculationCase worked = calculation_cases.front();
    enter(window, worked);
    window.click("Calc");
    EXPECT_FALSE(window.visible("model_text"));
    EXPECT_EQ(window.text("model_text"), "Please F1 crossover");
    EXPECT_EQ(window.text("F0_txt"), worked_example_F0);
}

TEST(Window, OpensWithTheDesignValues) {
    Win32Window window;
    EXPECT_EQ(window.focused(), "F1_txt");
    for (Field field : all_fields) {
        EXPECT_EQ(window.text(field_name(field)), default_text(field)) << field_name(field);
    }
    for (std::size_t i = 0; i < option_count; ++i) {
        EXPECT_FALSE(window.checked(option_name(static_cast<Option>(i))));
    }
    EXPECT_FALSE(window.visible("model_text"));
    wchar_t caption[32]{};
    GetWindowTextW(window.window(), caption, 32);
    EXPECT_EQ(std::wstring(caption), L"Veltrane");
}

// Every control where its twips put it (screen of 96 dots per inch): the same pixels as the
// Linux window's.
TEST(Window, PlacesEveryControlAtItsTwips) {
    Win32Window window;
    const int dpi = static_cast<int>(GetDpiForWindow(window.window()));
    const auto table = app::main_window_controls();
    for (const app::Control& control : table) {
        SCOPED_TRACE(std::string(control.name));
        RECT rect{};
        GetWindowRect(window.control(control.name), &rect);
        MapWindowPoints(nullptr, window.window(), reinterpret_cast<POINT*>(&rect), 2);
        const app::Twips at = app::window_geometry(table, control);
        EXPECT_EQ(rect.left, app::twips_to_px(at.left, dpi));
        EXPECT_EQ(rect.top, app::twips_to_px(at.top, dpi));
        EXPECT_EQ(rect.right - rect.left, app::twips_to_px(at.width, dpi));
        EXPECT_EQ(rect.bottom - rect.top, app::twips_to_px(at.height, dpi));
    }
    RECT client{};
    GetClientRect(window.window(), &client);
    EXPECT_EQ(client.right, app::twips_to_px(app::main_window_client.width, dpi));
    EXPECT_EQ(client.bottom, app::twips_to_px(app::main_window_client.height, dpi));
}

// The field set itself: what is written is read back, whatever the characters and the length.
TEST(WindowFieldSet, ReadsBackWhatItWrites) {
    const std::vector<std::pair<std::string, std::size_t>> texts = {
        // UTF-8 text, its length in UTF-16 units
        {"", 0},
        {"1.0", 3},
        {"1,5", 3},
        {"\xC2\xB5\xE2\x84\xA6", 2},      // micro sign, ohm sign
        {"\xF0\x9D\x9B\x80 x", 4},        // a character beyond 16 bits: two units
        {std::string(40000, '7'), 40000}, // beyond an edit field's usual limit
    };
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    {
        const win32::Controls controls(parent, app::main_window_controls());
        win32::WindowFieldSet fields(controls);
        for (const auto& [text, units] : texts) {
            SCOPED_TRACE(text.substr(0, 20));
            fields.set_text(Field::X2, text);
            HWND edit = controls.control("X2_txt");
            EXPECT_EQ(static_cast<std::size_t>(GetWindowTextLengthW(edit)), units);
            EXPECT_EQ(fields.text(Field::X2), text);
        }
        fields.set_message_visible(true);
        EXPECT_TRUE(GetWindowLongW(controls.control("model_text"), GWL_STYLE) & WS_VISIBLE);
        fields.set_message_visible(false);
        EXPECT_FALSE(GetWindowLongW(controls.control("model_text"), GWL_STYLE) & WS_VISIBLE);
        SendMessageW(controls.control("F2_cap"), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_TRUE(fields.is_selected(Option::F2Cap));
        EXPECT_FALSE(fields.is_selected(Option::F2Ind));
    }
    DestroyWindow(parent);
}

const std::vector<std::string> tab_order = {
    "F1_txt", "R1_txt", "X1_txt", "F2_txt", "R2_txt", "X2_txt",     "Picture1", "Ls_txt", "F1_ind",
    "F1_cap", "F2_ind", "F2_cap", "Cs_txt", "Lp_txt", "Q1_txt",     "Q2_txt",   "FL_txt", "FH_txt",
    "F0_txt", "Q0_txt", "RL_txt", "SerPar", "ParSer", "AboutModel", "Calc",     "Cp_txt"};

struct TabCase {
    std::string name;
    bool message_shown;
    bool backwards;
};

class TabKey : public ::testing::TestWithParam<TabCase> {};

TEST_P(TabKey, WalksTheTabOrder) {
    const TabCase& row = GetParam();
    Win32Window window;
    std::vector<std::string> chain = tab_order;
    if (row.message_shown) {
        window.click("Calc"); // "Please F1 crossover"
        chain.emplace_back("model_text");
    }
    if (row.backwards) {
        std::reverse(chain.begin() + 1, chain.end());
    }
    std::vector<std::string> expected = chain;
    expected.push_back(chain.front()); // round to the start
    window.focus("F1_txt");
    BYTE keys[256]{};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = row.backwards ? 0x80 : 0;
    SetKeyboardState(keys);
    std::vector<std::string> visited = {window.focused()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        window.key(VK_TAB);
        visited.push_back(window.focused());
    }
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(visited, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TabKey,
                         ::testing::Values(TabCase{"message_hidden", false, false},
                                           TabCase{"message_shown", true, false},
                                           TabCase{"backwards", false, true}),
                         [](const auto& info) { return info.param.name; });

struct EnterCase {
    std::string focus;
    bool calculates;
    bool opens_about = false;
};

class EnterKey : public ::testing::TestWithParam<EnterCase> {};

// Enter runs a command only on the command button that has the focus: there is no default
// button.
TEST_P(EnterKey, RunsOnlyTheFocusedCommand) {
    const EnterCase& row = GetParam();
    Win32Window window;
    enter(window, calculation_cases.front());
    window.focus(row.focus);
    window.key(VK_RETURN);
    EXPECT_EQ(window.text("Ls_txt"), row.calculates ? worked_example_Ls : "");
    EXPECT_EQ(std::filesystem::exists(window.folder() / "Model.prt"), row.calculates);
    HWND about = win32::about_window();
    EXPECT_EQ(about != nullptr && IsWindowVisible(about), row.opens_about);
    if (row.opens_about) {
        SendMessageW(about, WM_CLOSE, 0, 0);
        window.pump();
    } else {
        EXPECT_EQ(window.focused(), row.focus);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EnterKey,
                         ::testing::Values(EnterCase{"Calc", true}, EnterCase{"F1_txt", false},
                                           EnterCase{"RL_txt", false}, EnterCase{"ParSer", false},
                                           EnterCase{"AboutModel", false, true}),
                         [](const auto& info) { return info.param.focus; });

struct ArrowCase {
    std::string name;
    std::string focus;
    bool focus_selected; // the option with the focus is selected first
    WPARAM key;
    std::string moves_to; // the focus after the key
    std::vector<std::string> selected;
};

void PrintTo(const ArrowCase& row, std::ostream* out) {
    *out << row.name;
}

class ArrowKey : public ::testing::TestWithParam<ArrowCase> {};

// As in the Qt window: an arrow key moves to the partner that lies that way, and selects it when
// the option left was selected; nothing wraps around.
TEST_P(ArrowKey, MovesToThePartnerOption) {
    const ArrowCase& row = GetParam();
    Win32Window window;
    if (row.focus_selected) {
        window.click(row.focus);
    }
    window.focus(row.focus);
    window.key(row.key);
    EXPECT_EQ(window.focused(), row.moves_to);
    std::vector<std::string> selected;
    for (std::size_t i = 0; i < option_count; ++i) {
        const std::string name(option_name(static_cast<Option>(i)));
        if (window.checked(name)) {
            selected.push_back(name);
        }
    }
    EXPECT_EQ(selected, row.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArrowKey,
    ::testing::Values(ArrowCase{"down_to_partner", "F1_ind", false, VK_DOWN, "F1_cap", {}},
                      ArrowCase{"down_selects", "F1_ind", true, VK_DOWN, "F1_cap", {"F1_cap"}},
                      ArrowCase{"up_selects", "F2_cap", true, VK_UP, "F2_ind", {"F2_ind"}},
                      ArrowCase{"no_wrap_below", "F1_cap", true, VK_DOWN, "F1_cap", {"F1_cap"}},
                      ArrowCase{"no_wrap_above", "SerPar", false, VK_UP, "SerPar", {}},
                      ArrowCase{"nothing_beside", "SerPar", true, VK_RIGHT, "SerPar", {"SerPar"}},
                      ArrowCase{"topology", "SerPar", true, VK_DOWN, "ParSer", {"ParSer"}}),
    [](const auto& info) { return info.param.name; });

int about_windows() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
            wchar_t name[16]{};
            GetClassNameW(window, name, 16);
            if (std::wstring(name) == L"AboutMdl") {
                ++*reinterpret_cast<int*>(found);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(AboutCommand, ShowsOneAboutWindowWithoutOwner) {
    Win32Window window;
    window.click("AboutModel");
    HWND about = win32::about_window();
    ASSERT_NE(about, nullptr);
    window.click("AboutModel");
    EXPECT_EQ(win32::about_window(), about);
    EXPECT_EQ(about_windows(), 1);
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_EQ(GetWindow(about, GW_OWNER), nullptr);
    wchar_t caption[64]{};
    GetWindowTextW(about, caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Veltrane  (for broadband impedance matching ) ");

    // Closed by the user, shown again by the next ABOUT; the calculator works meanwhile.
    SendMessageW(about, WM_CLOSE, 0, 0);
    window.pump();
    EXPECT_FALSE(IsWindowVisible(about));
    enter(window, calculation_cases.front());
    window.click("Calc");
    EXPECT_EQ(window.text("Ls_txt"), worked_example_Ls);
    window.click("AboutModel");
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_EQ(about_windows(), 1);
    SendMessageW(about, WM_CLOSE, 0, 0);
    window.pump();
}

// The program ends when its last window closes, whichever closes last.
TEST(Program, EndsWhenTheLastWindowCloses) {
    {
        Win32Window window;
        window.click("AboutModel");
        SendMessageW(window.window(), WM_CLOSE, 0, 0);
        window.pump();
        EXPECT_FALSE(window.ended()) << "the About window is still open";
        SendMessageW(win32::about_window(), WM_CLOSE, 0, 0);
        window.pump();
        EXPECT_TRUE(window.ended());
    }
    {
        Win32Window window;
        SendMessageW(window.window(), WM_CLOSE, 0, 0);
        window.pump();
        EXPECT_TRUE(window.ended());
    }
}

} // namespace
} // namespace veltrane::testing
