#include "model/solve.h"

#include "model/checked.h"
#include "model/state.h"
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

} // namespace

void run_calculation_steps(State& s, const Choice& choice) {
    if (choice.topology == Topology::ParallelSeries) {
        solve_parallel_series(s, choice);
        synthesise_elements(s);
        compute_band(s, Resonator::Parallel);
    } else {
        solve_series_parallel(s, choice);
        synthesise_elements(s);
        compute_band(s, Resonator::Series);
    }
    require_finite_results(s);
}

std::variant<Result, std::string> solve(const Inputs& inputs, Choice choice) {
    State s(inputs);
    s.pi = 4 * std::atan(1.0);
    try {
        run_calculation_steps(s, choice);
    } catch (const CalculationStop& halt) {
        return halt.message;
    }
    return result_of(s, choice.topology);
}

std::variant<Result, std::string> with_band(const Result& result, Topology topology) {
    State s(Inputs{result.F1, result.F2, result.R1, result.X1, result.R2, result.X2, result.RL});
    s.pi = 4 * std::atan(1.0);
    s.Ls = result.Ls;
    s.Cs = result.Cs;
    s.Lp = result.Lp;
    s.Cp = result.Cp;
    try {
        compute_band(s, topology == Topology::ParallelSeries ? Resonator::Parallel
                                                             : Resonator::Series);
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
