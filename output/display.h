#pragma once

#include "model/field_set.h"

namespace veltrane {

struct Result;

// Blanks the ten result fields (five blanks each), Ls first, F0 last.
void clear_results(FieldSet& fields);

// Writes the ten result fields of a finished calculation, F0 first.
void display_results(const Result& result, FieldSet& fields);

} // namespace veltrane
