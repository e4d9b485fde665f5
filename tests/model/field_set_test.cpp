#include "model/field_set.h"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

TEST(MemoryFieldSet, StartsLikeTheWindow) {
    const MemoryFieldSet fields;
    const std::pair<Field, const char*> inputs[] = {
        {Field::F1, "1.0"}, {Field::R1, "1.0"}, {Field::X1, "0.0"}, {Field::F2, "2.0"},
        {Field::R2, "1.1"}, {Field::X2, "0.0"}, {Field::RL, "1.0"}};
    for (const auto& [field, text] : inputs) {
        EXPECT_EQ(fields.text(field), text) << field_name(field);
    }
    for (Field field : result_fields) {
        EXPECT_EQ(fields.text(field), "") << field_name(field);
    }
    EXPECT_EQ(fields.text(Field::Message), "");
    EXPECT_FALSE(fields.is_message_visible());
    for (std::size_t i = 0; i < option_count; ++i) {
        EXPECT_FALSE(fields.is_selected(static_cast<Option>(i)));
    }
}

TEST(MemoryFieldSet, SelectingClearsOnlyThePartner) {
    MemoryFieldSet fields;
    fields.select(Option::F1Ind);
    fields.select(Option::F2Cap);
    fields.select(Option::SerPar);
    fields.select(Option::F1Cap);
    fields.select(Option::ParSer);
    EXPECT_FALSE(fields.is_selected(Option::F1Ind));
    EXPECT_TRUE(fields.is_selected(Option::F1Cap));
    EXPECT_FALSE(fields.is_selected(Option::F2Ind));
    EXPECT_TRUE(fields.is_selected(Option::F2Cap));
    EXPECT_FALSE(fields.is_selected(Option::SerPar));
    EXPECT_TRUE(fields.is_selected(Option::ParSer));
}

TEST(FieldNames, AreTheWindowControlNames) {
    EXPECT_EQ(field_name(Field::F1), "F1_txt");
    EXPECT_EQ(field_name(Field::Q0), "Q0_txt");
    EXPECT_EQ(field_name(Field::Message), "model_text");
    EXPECT_EQ(option_name(Option::F2Cap), "F2_cap");
    EXPECT_EQ(option_name(Option::ParSer), "ParSer");
    EXPECT_EQ(partner(Option::SerPar), Option::ParSer);
    EXPECT_EQ(partner(Option::F1Ind), Option::F1Cap);
}

} // namespace
} // namespace veltrane
