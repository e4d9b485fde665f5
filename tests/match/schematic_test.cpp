// The schematic of a ladder as display-list geometry: every part where its position says, in
// order from the source to the device, labelled with its value, inside the strip.

#include "match/schematic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace veltrane::match;
namespace rf = veltrane::rf;

namespace {

struct LadderCase {
    const char* name;
    Ladder ladder;
    std::vector<std::string> labels;
};

const LadderCase ladder_cases[] = {
    {"one series inductor", {{Position::Series, Kind::L, 12.5}}, {"L1 12.5 nH"}},
    {"one shunt capacitor", {{Position::Shunt, Kind::C, 3.3}}, {"C1 3.3 pF"}},
    {"four, shunt first",
     {{Position::Shunt, Kind::C, 19.43},
      {Position::Series, Kind::L, 11.365},
      {Position::Shunt, Kind::C, 74.57},
      {Position::Series, Kind::C, 0.8495}},
     {"C1 19.43 pF", "L2 11.37 nH", "C3 74.57 pF", "C4 0.8495 pF"}},
    {"eight, series first",
     {{Position::Series, Kind::L, 1},
      {Position::Shunt, Kind::L, 2},
      {Position::Series, Kind::C, 3},
      {Position::Shunt, Kind::C, 4},
      {Position::Series, Kind::L, 5},
      {Position::Shunt, Kind::L, 6},
      {Position::Series, Kind::C, 7},
      {Position::Shunt, Kind::C, 8}},
     {"L1 1 nH", "L2 2 nH", "C3 3 pF", "C4 4 pF", "L5 5 nH", "L6 6 nH", "C7 7 pF", "C8 8 pF"}},
};

class SchematicLayoutTest : public ::testing::TestWithParam<LadderCase> {};

TEST_P(SchematicLayoutTest, PartsSitWhereTheirPositionSays) {
    const LadderCase& c = GetParam();
    const SchematicLayout layout = schematic_layout(c.ladder, 50, "antenna.s1p", 1000);
    ASSERT_EQ(layout.parts.size(), c.ladder.size());
    EXPECT_LT(layout.line_y, layout.ground_y);
    double right = layout.source.x + layout.source.width;
    for (std::size_t k = 0; k < layout.parts.size(); ++k) {
        SCOPED_TRACE(k);
        const SchematicPart& part = layout.parts[k];
        EXPECT_EQ(part.position, c.ladder[k].position);
        EXPECT_EQ(part.kind, c.ladder[k].kind);
        EXPECT_EQ(part.label, c.labels[k]);
        EXPECT_DOUBLE_EQ(part.a.y, layout.line_y);
        if (part.position == Position::Series) {
            // On the line, left to right, joined to the part before it.
            EXPECT_DOUBLE_EQ(part.b.y, layout.line_y);
            EXPECT_LT(part.a.x, part.b.x);
            EXPECT_DOUBLE_EQ(part.a.x, right);
            right = part.b.x;
        } else {
            // Across the line to the ground rail.
            EXPECT_DOUBLE_EQ(part.a.x, part.b.x);
            EXPECT_DOUBLE_EQ(part.b.y, layout.ground_y);
            EXPECT_GE(part.a.x, right);
            EXPECT_DOUBLE_EQ(part.a.x, part.box.x + part.box.width / 2) << "across its middle";
            right = part.box.x + part.box.width + 2;
        }
        EXPECT_GE(part.box.x, layout.source.x + layout.source.width);
        EXPECT_LE(part.box.x + part.box.width, layout.device.x);
        if (k > 0) {
            const rf::Rect& before = layout.parts[k - 1].box;
            EXPECT_LE(before.x + before.width, part.box.x) << "parts overlap";
        }
    }
    EXPECT_LE(right, layout.device.x);
    EXPECT_LE(layout.device.x + layout.device.width, layout.width);
    // The device stands off the last part, and the right edge, by the source's left margin.
    EXPECT_DOUBLE_EQ(layout.device.x - right, layout.source.x);
    EXPECT_GE(layout.width - layout.device.x - layout.device.width, layout.source.x);
    EXPECT_EQ(layout.device_label, "antenna.s1p");
    EXPECT_EQ(layout.source_label, "source 50 \u03a9");
}

// Every operation of the drawing lies inside the strip, moved down by `top`, and every label is
// written.
TEST_P(SchematicLayoutTest, DrawingStaysInItsStripWithEveryLabel) {
    const LadderCase& c = GetParam();
    const SchematicLayout layout = schematic_layout(c.ladder, 75, "", 1000);
    rf::Picture picture;
    constexpr double top = 500;
    draw_schematic(picture, layout, top);
    std::vector<std::string> texts;
    const auto inside = [&](rf::Point p) {
        EXPECT_GE(p.x, 0);
        EXPECT_LE(p.x, layout.width);
        EXPECT_GE(p.y, top);
        EXPECT_LE(p.y, top + layout.height);
    };
    for (const rf::Operation& op : picture.operations) {
        if (const auto* line = std::get_if<rf::Line>(&op)) {
            inside(line->from);
            inside(line->to);
        } else if (const auto* poly = std::get_if<rf::Polyline>(&op)) {
            std::for_each(poly->points.begin(), poly->points.end(), inside);
        } else if (const auto* arc = std::get_if<rf::Arc>(&op)) {
            inside(arc->centre);
        } else if (const auto* text = std::get_if<rf::Text>(&op)) {
            inside(text->at);
            texts.push_back(text->text);
        }
    }
    for (const std::string& label : c.labels) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), label), texts.end()) << label;
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "device"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "source 75 \u03a9"), texts.end());
    // An inductor is drawn with arcs, a capacitor with plates: as many arcs as inductors have.
    const auto inductors = std::count_if(c.ladder.begin(), c.ladder.end(),
                                         [](const Element& e) { return e.kind == Kind::L; });
    const auto arcs =
        std::count_if(picture.operations.begin(), picture.operations.end(),
                      [](const rf::Operation& op) { return std::holds_alternative<rf::Arc>(op); });
    EXPECT_EQ(arcs, 4 * inductors);
}

INSTANTIATE_TEST_SUITE_P(Ladders, SchematicLayoutTest, ::testing::ValuesIn(ladder_cases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char ch) { return !std::isalnum(ch); }, '_');
                             return name;
                         });

TEST(SchematicTest, AddedBelowThePictureWithoutMovingIt) {
    rf::Picture picture;
    picture.width = 1000;
    picture.height = 590;
    picture.frame.plot_area = {590, 115, 380, 390};
    picture.operations.emplace_back(rf::Line{{1, 2}, {3, 4}, {}});
    const SchematicLayout layout =
        schematic_layout({{Position::Series, Kind::L, 10}}, 50, "load", picture.width);
    const rf::Picture both = with_schematic(picture, layout);
    EXPECT_DOUBLE_EQ(both.height, 590 + layout.height);
    EXPECT_DOUBLE_EQ(both.frame.plot_area.y, 115);
    ASSERT_GT(both.operations.size(), 1u);
    const auto& first = std::get<rf::Line>(both.operations.front());
    EXPECT_DOUBLE_EQ(first.to.y, 4);
    // The rest lies below the picture it was added to.
    for (std::size_t i = 1; i < both.operations.size(); ++i) {
        if (const auto* line = std::get_if<rf::Line>(&both.operations[i])) {
            EXPECT_GE(std::min(line->from.y, line->to.y), 590) << i;
        }
    }
}

} // namespace
