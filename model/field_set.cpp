#include "model/field_set.h"

namespace veltrane {

namespace {

constexpr auto index(Field field) {
    return static_cast<std::size_t>(field);
}
constexpr auto index(Option option) {
    return static_cast<std::size_t>(option);
}

constexpr std::array<std::string_view, field_count> field_names = {
    "F1_txt", "R1_txt", "X1_txt", "F2_txt", "R2_txt", "X2_txt", "RL_txt", "Ls_txt", "Cs_txt",
    "Lp_txt", "Cp_txt", "Q1_txt", "Q2_txt", "Q0_txt", "FL_txt", "FH_txt", "F0_txt", "model_text"};

constexpr std::array<std::string_view, option_count> option_names = {"F1_ind", "F1_cap", "F2_ind",
                                                                     "F2_cap", "SerPar", "ParSer"};

constexpr std::array<std::string_view, field_count> default_texts = {"1.0", "1.0", "0.0", "2.0",
                                                                     "1.1", "0.0", "1.0"};

} // namespace

std::string_view field_name(Field field) {
    return field_names.at(index(field));
}
std::string_view option_name(Option option) {
    return option_names.at(index(option));
}
std::string_view default_text(Field field) {
    return default_texts.at(index(field));
}

Option partner(Option option) {
    // Pairs are adjacent: 0/1, 2/3, 4/5.
    return static_cast<Option>(index(option) ^ 1U);
}

MemoryFieldSet::MemoryFieldSet() {
    for (std::size_t i = 0; i < field_count; ++i) {
        texts_[i] = default_text(static_cast<Field>(i));
    }
}

std::string MemoryFieldSet::text(Field field) const {
    return texts_.at(index(field));
}

void MemoryFieldSet::set_text(Field field, std::string_view text) {
    texts_.at(index(field)) = text;
}

bool MemoryFieldSet::is_selected(Option option) const {
    return selected_.at(index(option));
}

void MemoryFieldSet::set_message_visible(bool visible) {
    message_visible_ = visible;
}

void MemoryFieldSet::select(Option option) {
    selected_.at(index(option)) = true;
    selected_.at(index(partner(option))) = false;
}

Choice choice_of(const FieldSet& fields) {
    return {fields.is_selected(Option::F1Ind) ? Crossover::Inductive : Crossover::Capacitive,
            fields.is_selected(Option::F2Ind) ? Crossover::Inductive : Crossover::Capacitive,
            fields.is_selected(Option::ParSer) ? Topology::ParallelSeries
                                               : Topology::SeriesParallel};
}

void select_choice(MemoryFieldSet& fields, Choice choice) {
    fields.select(choice.f1 == Crossover::Inductive ? Option::F1Ind : Option::F1Cap);
    fields.select(choice.f2 == Crossover::Inductive ? Option::F2Ind : Option::F2Cap);
    fields.select(choice.topology == Topology::ParallelSeries ? Option::ParSer : Option::SerPar);
}

} // namespace veltrane
