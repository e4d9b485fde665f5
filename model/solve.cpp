#include "model/solve.h"

#include "model/checked.h"
#include "model/state.h"
#include "model/steps.h"

#include "format/format_number.h"

#include <cmath>
#include <string>
#include <utility>

namespace veltrane {

std::string Stop::message() const {
    std::string text(text_);
    if (with_limit_) {
        text += format_number(limit_, Pattern::Report);
    }
    return text;
}

namespace {

// Nothing that is not a finite number may reach a field or the report.
StepOutcome require_finite_results(const State& s) {
    for (double v : {s.Ls, s.Cs, s.Lp, s.Cp, s.par_ser.q1, s.par_ser.q2, s.ser_par.q1, s.ser_par.q2,
                     s.Qbp, s.FL, s.FH, s.F0, s.RL}) {
        if (!std::isfinite(v)) {
            return Stop(out_of_range_message);
        }
    }
    return std::nullopt;
}

} // namespace

StepOutcome run_calculation_steps(State& s, const Choice& choice) {
    const bool parallel_series = choice.topology == Topology::ParallelSeries;
    if (auto stop =
            parallel_series ? solve_parallel_series(s, choice) : solve_series_parallel(s, choice)) {
        return stop;
    }
    if (auto stop = synthesise_elements(s)) {
        return stop;
    }
    if (auto stop = compute_band(s, parallel_series ? Resonator::Parallel : Resonator::Series)) {
        return stop;
    }
    return require_finite_results(s);
}

std::variant<Result, Stop> calculate_model(const Inputs& inputs, Choice choice) {
    State s(inputs);
    s.pi = calculation_pi();
    try {
        if (auto stop = run_calculation_steps(s, choice)) {
            return *stop;
        }
    } catch (const CalculationStop&) {
        return Stop(out_of_range_message); // the checked arithmetic's only message
    }
    return result_of(s, choice.topology);
}

std::variant<Result, std::string> solve(const Inputs& inputs, Choice choice) {
    auto model = calculate_model(inputs, choice);
    if (const Stop* stop = std::get_if<Stop>(&model)) {
        return stop->message();
    }
    return std::get<Result>(std::move(model));
}

std::variant<Result, std::string> with_band(const Result& result, Topology topology) {
    State s(Inputs{result.F1, result.F2, result.R1, result.X1, result.R2, result.X2, result.RL});
    s.pi = calculation_pi();
    s.Ls = result.Ls;
    s.Cs = result.Cs;
    s.Lp = result.Lp;
    s.Cp = result.Cp;
    try {
        if (auto stop = compute_band(s, topology == Topology::ParallelSeries ? Resonator::Parallel
                                                                             : Resonator::Series)) {
            return stop->message();
        }
    } catch (const CalculationStop& halt) {
        return halt.message;
    }
    if (!std::isfinite(s.FL) || !std::isfinite(s.FH) || !std::isfinite(s.F0) ||
        !std::isfinite(s.Qbp)) {
        return std::string(out_of_range_message);
    }
    Result banded = result;
    banded.FL = s.FL;
    banded.FH = s.FH;
    banded.F0 = s.F0;
    banded.Qbp = s.Qbp;
    return banded;
}

} // namespace veltrane
