#pragma once

#include "model/field_set.h"

namespace veltrane {

struct State;

// Blanks the ten result fields (five blanks each), Ls first, F0 last.
void clear_results(FieldSet& fields);

// Writes the ten result fields of a finished calculation, F0 first. The section Q pair shown is
// the one of the topology whose button is selected.
void display_results(const State& state, FieldSet& fields);

} // namespace veltrane
