#include "output/calculate.h"
#include "model/units.h"

#include "format/text_number.h"
#include "model/checked.h"
#include "model/state.h"
#include "model/steps.h"
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

// Reads the input fields. A number beyond the double range is remembered rather than reported at
// once: the missing-choice messages speak first, whatever the inputs hold.
class InputReader {
  public:
    explicit InputReader(const FieldSet& fields) : fields_(fields) {}

    double number(Field field) {
        const std::optional<double> number = text_to_number(fields_.text(field));
        if (!number) {
            note_too_large(field);
            return 0.0;
        }
        return *number;
    }

    double frequency(Field field) {
        const double mhz = ghz_to_mhz(number(field)); // GHz typed, MHz held
        if (!std::isfinite(mhz)) {
            note_too_large(field);
            return 0.0;
        }
        return mhz;
    }

    // Ends the calculation if an input did not fit; the first in reading order is named.
    void require_all_in_range() const {
        if (too_large_) {
            stop_calculation(input_label(*too_large_) + " is too large");
        }
    }

  private:
    void note_too_large(Field field) {
        if (!too_large_) {
            too_large_ = field;
        }
    }

    const FieldSet& fields_;
    std::optional<Field> too_large_;
};

} // namespace

Outcome calculate(FieldSet& fields, ReportSink& report, Result* final_result) {
    State s;
    Choice choice;
    try {
        s.pi = calculation_pi();
        fields.set_message_visible(false);
        clear_results(fields); // the quantities start at 0 with the state

        InputReader read(fields);
        s.F1 = read.frequency(Field::F1);
        s.F2 = read.frequency(Field::F2);
        s.R1 = read.number(Field::R1);
        s.X1 = read.number(Field::X1);
        s.R2 = read.number(Field::R2);
        s.X2 = read.number(Field::X2);
        s.RL = read.number(Field::RL);

        if (!fields.is_selected(Option::F1Ind) && !fields.is_selected(Option::F1Cap)) {
            stop_calculation("Please F1 crossover");
        }
        if (!fields.is_selected(Option::F2Ind) && !fields.is_selected(Option::F2Cap)) {
            stop_calculation("Please F2 crossover");
        }
        if (!fields.is_selected(Option::ParSer) && !fields.is_selected(Option::SerPar)) {
            stop_calculation("Please select topology");
        }
        read.require_all_in_range();
        choice = choice_of(fields);
        if (auto stop = run_calculation_steps(s, choice)) {
            show_message(fields, stop->message());
            return Outcome::Message;
        }
    } catch (const CalculationStop& halt) {
        show_message(fields, halt.message);
        return Outcome::Message;
    }

    const Result result = result_of(s, choice.topology);
    if (final_result != nullptr) {
        *final_result = result;
    }
    display_results(result, fields);
    if (auto failure = report.write(report_text(result, choice.topology))) {
        show_message(fields, *failure);
        return Outcome::ReportFailed;
    }
    return Outcome::Results;
}

} // namespace veltrane
