#include "model/field_set.h"

#include "model/quantities.h"

namespace veltrane {

namespace {

constexpr auto index(Field field) {
    return static_cast<std::size_t>(field);
}
constexpr auto index(Option option) {
    return static_cast<std::size_t>(option);
}

constexpr std::array<std::string_view, option_count> option_names = {"F1_ind", "F1_cap", "F2_ind",
                                                                     "F2_cap", "SerPar", "ParSer"};

// The table lists the fields in the order of Field.
constexpr bool table_in_field_order() {
    for (std::size_t i = 0; i < field_count; ++i) {
        if (index(quantities[i].field) != i) {
            return false;
        }
    }
    return true;
}
static_assert(table_in_field_order());

} // namespace

std::string_view field_name(Field field) {
    return quantities.at(index(field)).control;
}
std::string_view option_name(Option option) {
    return option_names.at(index(option));
}
std::string_view default_text(Field field) {
    return quantities.at(index(field)).default_text;
}

std::string accessible_name(const Quantity& q) {
    std::string name(q.symbol);
    if (q.unit != Unit::None) {
        name.append(" [").append(window_unit(q.unit)).append("]");
    }
    return name;
}

std::string unit_suffix(Unit unit) {
    return unit == Unit::None ? std::string() : " " + std::string(unit_symbol(unit));
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
