// The design tables as both front ends read them: where a control sits in its window, the tab
// chain, twips to pixels at any density.

#include "app/layout_table.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::app {
namespace {

struct PlaceCase {
    std::string_view name;
    Twips expected;
};

TEST(LayoutTable, PlacesControlsRelativeToTheWindow) {
    const std::array cases = {
        PlaceCase{"F1_txt", {1080, 480, 1095, 285}},      // in the window itself
        PlaceCase{"model_text", {3960, 3600, 4815, 285}}, // in Frame4 at 3720, 3360
        PlaceCase{"F2_cap", {3960, 2040, 1215, 255}},     // in Frame3 at 3840, 1560
        PlaceCase{"Picture1", {600, 3120, 2415, 1455}},   // in Frame1 at 360, 2880
        PlaceCase{"Frame4", {3720, 3360, 5295, 1335}},
    };
    const auto table = main_window_controls();
    for (const PlaceCase& row : cases) {
        SCOPED_TRACE(std::string(row.name));
        const Control* control = find_control(table, row.name);
        ASSERT_NE(control, nullptr);
        const Twips at = window_geometry(table, *control);
        EXPECT_EQ(at.left, row.expected.left);
        EXPECT_EQ(at.top, row.expected.top);
        EXPECT_EQ(at.width, row.expected.width);
        EXPECT_EQ(at.height, row.expected.height);
    }
    EXPECT_EQ(find_control(table, "Frame5"), nullptr);
}

TEST(LayoutTable, RefusesAContainerItDoesNotHave) {
    const std::array table = {
        Control{"Frame", Kind::Frame, "", "", {100, 100, 500, 500}, FontRole::Dialog, 0, ""},
        Control{"Inner", Kind::Frame, "Frame", "", {10, 20, 300, 300}, FontRole::Dialog, 1, ""},
        Control{"Nested", Kind::Input, "Inner", "", {1, 2, 3, 4}, FontRole::Dialog, 2, ""},
        Control{"Lost", Kind::Input, "Nowhere", "", {0, 0, 1, 1}, FontRole::Dialog, 3, ""},
    };
    const Twips nested = window_geometry(table, table[2]);
    EXPECT_EQ(nested.left, 111);
    EXPECT_EQ(nested.top, 122);
    EXPECT_THROW((void)window_geometry(table, table[3]), std::logic_error);
}

TEST(LayoutTable, ChainsTheFocusInTabOrder) {
    const std::vector<std::string_view> expected = {
        "F1_txt", "R1_txt", "X1_txt",     "F2_txt", "R2_txt", "X2_txt",    "Picture1",
        "Ls_txt", "F1_ind", "F1_cap",     "F2_ind", "F2_cap", "Cs_txt",    "Lp_txt",
        "Q1_txt", "Q2_txt", "FL_txt",     "FH_txt", "F0_txt", "Q0_txt",    "RL_txt",
        "SerPar", "ParSer", "AboutModel", "Calc",   "Cp_txt", "model_text"};
    std::vector<std::string_view> chain;
    for (const Control* control : tab_chain(main_window_controls())) {
        chain.push_back(control->name);
    }
    EXPECT_EQ(chain, expected);
    EXPECT_TRUE(tab_chain(about_window_controls()).empty());
}

struct PixelCase {
    int twips;
    int dpi;
    int pixels;
};

TEST(LayoutTable, ConvertsTwipsToPixelsAtAnyDensity) {
    const std::array cases = {
        PixelCase{1440, 96, 96},   PixelCase{1440, 144, 144}, PixelCase{1440, 192, 192},
        PixelCase{285, 96, 19},    PixelCase{285, 144, 29}, // 28.5 rounds up
        PixelCase{255, 144, 26},                            // 25.5
        PixelCase{7, 96, 0},       PixelCase{8, 96, 1},       PixelCase{-8, 96, -1},
        PixelCase{-285, 144, -29}, PixelCase{9360, 120, 780}, PixelCase{0, 192, 0},
    };
    for (const PixelCase& row : cases) {
        SCOPED_TRACE(std::to_string(row.twips) + " twips at " + std::to_string(row.dpi));
        EXPECT_EQ(twips_to_px(row.twips, row.dpi), row.pixels);
    }
    // At 96 dots per inch the same pixels as the rule the Linux window uses.
    for (const Control& control : main_window_controls()) {
        const Twips t = window_geometry(main_window_controls(), control);
        for (int value : {t.left, t.top, t.width, t.height, -t.width}) {
            EXPECT_EQ(twips_to_px(value, 96), twips_to_px(value)) << control.name;
        }
    }
}

} // namespace
} // namespace veltrane::app
