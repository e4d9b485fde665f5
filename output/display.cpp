#include "output/display.h"

#include "model/state.h"
#include "output/format_number.h"

namespace veltrane {

void clear_results(FieldSet& fields) {
    for (Field field : result_fields) {
        fields.set_text(field, format_number(0.0, Pattern::Blank));
    }
}

void display_results(const State& state, FieldSet& fields) {
    fields.set_text(Field::F0, format_number(state.F0, Pattern::Frequency));
    fields.set_text(Field::FL, format_number(state.FL, Pattern::Frequency));
    fields.set_text(Field::FH, format_number(state.FH, Pattern::Frequency));
    fields.set_text(Field::Q0, format_number(state.Qbp, Pattern::Value));
    if (fields.is_selected(Option::SerPar)) {
        fields.set_text(Field::Q1, format_number(state.ser_par.q1, Pattern::Value));
        fields.set_text(Field::Q2, format_number(state.ser_par.q2, Pattern::Value));
    }
    if (fields.is_selected(Option::ParSer)) {
        fields.set_text(Field::Q1, format_number(state.par_ser.q1, Pattern::Value));
        fields.set_text(Field::Q2, format_number(state.par_ser.q2, Pattern::Value));
    }
    fields.set_text(Field::Ls, format_number(state.Ls, Pattern::Value));
    fields.set_text(Field::Cs, format_number(state.Cs, Pattern::Value));
    fields.set_text(Field::Lp, format_number(state.Lp, Pattern::Value));
    fields.set_text(Field::Cp, format_number(state.Cp, Pattern::Value));
}

} // namespace veltrane
