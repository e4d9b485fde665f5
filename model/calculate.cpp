#include "model/calculate.h"

#include "model/checked.h"
#include "model/state.h"
#include "model/steps.h"
#include "model/text_number.h"
#include "output/display.h"

#include <cmath>
#include <string>
#include <utility>

namespace veltrane {

namespace {

void show_message(FieldSet& fields, std::string_view message) {
    fields.set_message_visible(true);
    fields.set_text(Field::Message, message);
}

// The user's name for an input field in messages.
std::string input_label(Field field) {
    const std::string_view name = field_name(field);
    return std::string(name.substr(0, name.find('_')));
}

double read_input(const FieldSet& fields, Field field) {
    const std::optional<double> number = text_to_number(fields.text(field));
    if (!number) {
        stop_calculation(input_label(field) + " is too large");
    }
    return *number;
}

double read_frequency(const FieldSet& fields, Field field) {
    const double mhz = read_input(fields, field) * 1000; // GHz typed, MHz held
    if (!std::isfinite(mhz)) {
        stop_calculation(input_label(field) + " is too large");
    }
    return mhz;
}

// Nothing that is not a finite number may reach a field or the report.
void require_finite_results(const State& s) {
    for (double v : {s.Ls, s.Cs, s.Lp, s.Cp, s.par_ser.q1, s.par_ser.q2, s.ser_par.q1, s.ser_par.q2,
                     s.Qbp, s.FL, s.FH, s.F0, s.RL}) {
        if (!std::isfinite(v)) {
            stop_calculation(std::string(out_of_range_message));
        }
    }
}

} // namespace

Outcome calculate(FieldSet& fields, ReportSink& report) {
    State s;
    try {
        s.pi = 4 * std::atan(1.0);
        fields.set_message_visible(false);
        clear_results(fields); // the quantities start at 0 with the state

        s.F1 = read_frequency(fields, Field::F1);
        s.F2 = read_frequency(fields, Field::F2);
        s.R1 = read_input(fields, Field::R1);
        s.X1 = read_input(fields, Field::X1);
        s.R2 = read_input(fields, Field::R2);
        s.X2 = read_input(fields, Field::X2);
        s.RL = read_input(fields, Field::RL);

        if (!fields.is_selected(Option::F1Ind) && !fields.is_selected(Option::F1Cap)) {
            stop_calculation("Please F1 crossover");
        }
        if (!fields.is_selected(Option::F2Ind) && !fields.is_selected(Option::F2Cap)) {
            stop_calculation("Please F2 crossover");
        }
        if (fields.is_selected(Option::ParSer)) {
            solve_parallel_series(s, fields);
            synthesise_elements(s);
            compute_band(s, Resonator::Parallel);
        } else if (!fields.is_selected(Option::SerPar)) {
            stop_calculation("Please select topology");
        } else {
            solve_series_parallel(s, fields);
            synthesise_elements(s);
            compute_band(s, Resonator::Series);
        }
        require_finite_results(s);
    } catch (const CalculationStop& halt) {
        show_message(fields, halt.message);
        return Outcome::Message;
    }

    display_results(s, fields);
    if (auto failure = report.write(report_text(s, fields))) {
        show_message(fields, *failure);
        return Outcome::ReportFailed;
    }
    return Outcome::Results;
}

} // namespace veltrane
