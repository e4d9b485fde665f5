#include "output/display.h"

#include "format/format_number.h"
#include "model/result.h"

namespace veltrane {

void clear_results(FieldSet& fields) {
    for (Field field : result_fields) {
        fields.set_text(field, format_number(0.0, Pattern::Blank));
    }
}

void display_results(const Result& result, FieldSet& fields) {
    fields.set_text(Field::F0, format_number(result.F0, Pattern::Frequency));
    fields.set_text(Field::FL, format_number(result.FL, Pattern::Frequency));
    fields.set_text(Field::FH, format_number(result.FH, Pattern::Frequency));
    fields.set_text(Field::Q0, format_number(result.Qbp, Pattern::Value));
    fields.set_text(Field::Q1, format_number(result.Q1, Pattern::Value));
    fields.set_text(Field::Q2, format_number(result.Q2, Pattern::Value));
    fields.set_text(Field::Ls, format_number(result.Ls, Pattern::Value));
    fields.set_text(Field::Cs, format_number(result.Cs, Pattern::Value));
    fields.set_text(Field::Lp, format_number(result.Lp, Pattern::Value));
    fields.set_text(Field::Cp, format_number(result.Cp, Pattern::Value));
}

} // namespace veltrane
