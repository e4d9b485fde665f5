#include "model/solve.h"

#include "model/checked.h"
#include "model/field_set.h"
#include "model/steps.h"

#include <cmath>
#include <string>

namespace veltrane {

namespace {

// Nothing that is not a finite number may reach a field or the report.
void require_finite_results(const State& s) {
    for (double v : {s.Ls, s.Cs, s.Lp, s.Cp, s.par_ser.q1, s.par_ser.q2, s.ser_par.q1, s.ser_par.q2,
                     s.Qbp, s.FL, s.FH, s.F0, s.RL}) {
        if (!std::isfinite(v)) {
            stop_calculation(std::string(out_of_range_message));
        }
    }
}

// The option buttons of one choice; the steps read nothing else from the window.
class ChoiceButtons final : public FieldSet {
  public:
    explicit ChoiceButtons(Choice choice) : choice_(choice) {}
    [[nodiscard]] std::string text(Field) const override { return {}; }
    void set_text(Field, std::string_view) override {}
    void set_message_visible(bool) override {}
    [[nodiscard]] bool is_selected(Option option) const override {
        switch (option) {
        case Option::F1Ind:
            return choice_.f1 == Crossover::Inductive;
        case Option::F1Cap:
            return choice_.f1 == Crossover::Capacitive;
        case Option::F2Ind:
            return choice_.f2 == Crossover::Inductive;
        case Option::F2Cap:
            return choice_.f2 == Crossover::Capacitive;
        case Option::ParSer:
            return choice_.topology == Topology::ParallelSeries;
        case Option::SerPar:
            return choice_.topology == Topology::SeriesParallel;
        }
        return false;
    }

  private:
    Choice choice_;
};

} // namespace

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

void run_calculation_steps(State& s, const FieldSet& fields) {
    if (fields.is_selected(Option::ParSer)) {
        solve_parallel_series(s, fields);
        synthesise_elements(s);
        compute_band(s, Resonator::Parallel);
    } else {
        solve_series_parallel(s, fields);
        synthesise_elements(s);
        compute_band(s, Resonator::Series);
    }
    require_finite_results(s);
}

std::variant<State, std::string> solve(const State& inputs, Choice choice) {
    State s;
    s.pi = 4 * std::atan(1.0);
    s.F1 = inputs.F1;
    s.F2 = inputs.F2;
    s.R1 = inputs.R1;
    s.X1 = inputs.X1;
    s.R2 = inputs.R2;
    s.X2 = inputs.X2;
    s.RL = inputs.RL;
    try {
        run_calculation_steps(s, ChoiceButtons{choice});
    } catch (const CalculationStop& halt) {
        return halt.message;
    }
    return s;
}

} // namespace veltrane
