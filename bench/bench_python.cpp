// What a call of veltrane.calculate() costs from Python against the calculation itself: the
// worked example (1 GHz 1 ohm, 2 GHz 1.1 ohm, RL 2 ohm, F1 Inductive, F2 Capacitive,
// Parallel/Series) solved alone, through the in-memory window as the module runs it, through the
// compiled half _veltrane.calculate, and through the package's veltrane.calculate (keyword
// arguments, checks and the Result with its ten Quantity values), both called as Python calls
// them, from an embedded interpreter.

#include "model/field_set.h"
#include "model/inputs.h"
#include "model/solve.h"
#include "output/calculate.h"
#include "output/report.h"
#include "rf/numbers.h"

#include <benchmark/benchmark.h>
#include <pybind11/complex.h>
#include <pybind11/embed.h>

#include <array>
#include <complex>
#include <string_view>
#include <utility>

namespace py = pybind11;

namespace {

using namespace veltrane;

void BM_Solve(benchmark::State& state) {
    const Inputs inputs = inputs_from_ghz(1.0, 1.0, 0.0, 2.0, 1.1, 0.0, 2.0);
    const Choice choice{Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries};
    for (auto _ : state) {
        benchmark::DoNotOptimize(solve(inputs, choice));
    }
}
BENCHMARK(BM_Solve);

// What the module does in C++ for one call: the numbers typed as their shortest texts, the
// choices clicked, CALCULATE with the report kept in memory.
void BM_CalculateInMemoryWindow(benchmark::State& state) {
    const std::array<std::pair<Field, double>, 7> inputs = {{{Field::F1, 1.0},
                                                             {Field::R1, 1.0},
                                                             {Field::X1, 0.0},
                                                             {Field::F2, 2.0},
                                                             {Field::R2, 1.1},
                                                             {Field::X2, 0.0},
                                                             {Field::RL, 2.0}}};
    for (auto _ : state) {
        MemoryFieldSet fields;
        for (const auto& [field, value] : inputs) {
            fields.set_text(field, rf::shortest(value));
        }
        fields.select(Option::F1Ind);
        fields.select(Option::F2Cap);
        fields.select(Option::ParSer);
        MemoryReport report;
        Result result;
        benchmark::DoNotOptimize(calculate(fields, report, &result));
    }
}
BENCHMARK(BM_CalculateInMemoryWindow);

void call_from_python(benchmark::State& state, const char* module) {
    const py::object calculate = py::module_::import(module).attr("calculate");
    const py::object z1 = py::cast(std::complex<double>{1.0, 0.0});
    const py::object z2 = py::cast(std::complex<double>{1.1, 0.0});
    const bool compiled = std::string_view{module} == "veltrane._veltrane";
    py::dict choices;
    if (!compiled) {
        choices["f1_crossover"] = "inductive";
        choices["f2_crossover"] = "capacitive";
        choices["topology"] = "parallel-series";
    }
    for (auto _ : state) {
        if (compiled) {
            benchmark::DoNotOptimize(
                calculate(1.0, z1, 2.0, z2, 2.0, "inductive", "capacitive", "parallel-series"));
        } else {
            benchmark::DoNotOptimize(calculate(1.0, z1, 2.0, z2, 2.0, **choices));
        }
    }
}

void BM_CalculateFromPythonCompiledHalf(benchmark::State& state) {
    call_from_python(state, "veltrane._veltrane");
}
BENCHMARK(BM_CalculateFromPythonCompiledHalf);

void BM_CalculateFromPython(benchmark::State& state) {
    call_from_python(state, "veltrane");
}
BENCHMARK(BM_CalculateFromPython);

} // namespace

int main(int argc, char** argv) {
    py::scoped_interpreter python;
    py::module_::import("sys").attr("path").attr("insert")(0, VELTRANE_PYTHON_DIR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
