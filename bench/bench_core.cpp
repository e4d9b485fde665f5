// Speed of the core: one full CALCULATE through the in-memory window (ten result fields and the
// report text, no disk) for each topology, the same with the report written to a file on the disk
// as the window writes it (flushed to the disk), and number formatting alone for each pattern.

#include "format/format_number.h"
#include "model/field_set.h"
#include "model/solve.h"
#include "output/calculate.h"
#include "output/report.h"

#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace {

using namespace veltrane;

struct WindowTexts {
    std::array<std::pair<Field, std::string_view>, 7> texts;
    std::array<Option, 3> options;
};

// The window's default texts with RL 2.0, F1 Inductive, F2 Capacitive, Parallel/Series.
constexpr WindowTexts parallel_series = {{{{Field::F1, "1.0"},
                                           {Field::R1, "1.0"},
                                           {Field::X1, "0.0"},
                                           {Field::F2, "2.0"},
                                           {Field::R2, "1.1"},
                                           {Field::X2, "0.0"},
                                           {Field::RL, "2.0"}}},
                                         {Option::F1Ind, Option::F2Cap, Option::ParSer}};

// 100 + j50 ohm at 1 GHz, 80 - j40 ohm at 2 GHz into 50 ohm, Capacitive at F1, Inductive at F2.
constexpr WindowTexts series_parallel = {{{{Field::F1, "1.0"},
                                           {Field::R1, "100"},
                                           {Field::X1, "50"},
                                           {Field::F2, "2.0"},
                                           {Field::R2, "80"},
                                           {Field::X2, "-40"},
                                           {Field::RL, "50"}}},
                                         {Option::F1Cap, Option::F2Ind, Option::SerPar}};

void calculate_once(benchmark::State& state, const WindowTexts& inputs) {
    MemoryFieldSet fields;
    for (const auto& [field, text] : inputs.texts) {
        fields.set_text(field, text);
    }
    for (const Option option : inputs.options) {
        fields.select(option);
    }
    MemoryReport report;
    if (calculate(fields, report) != Outcome::Results || report.bytes().empty()) {
        state.SkipWithError("the calculation did not produce results");
        return;
    }
    for (auto _ : state) {
        Outcome outcome = calculate(fields, report);
        benchmark::DoNotOptimize(outcome);
        benchmark::DoNotOptimize(report.bytes().data());
        benchmark::ClobberMemory();
    }
}

void BM_CalculateParallelSeries(benchmark::State& state) {
    calculate_once(state, parallel_series);
}
BENCHMARK(BM_CalculateParallelSeries);

void BM_CalculateSeriesParallel(benchmark::State& state) {
    calculate_once(state, series_parallel);
}
BENCHMARK(BM_CalculateSeriesParallel);

// The calculation without texts, as the searches run it: the worked example, the Series/Parallel
// example, and an RL below the Parallel/Series limit (the message path).
void solve_once(benchmark::State& state, const veltrane::Inputs& inputs, Choice choice,
                bool results) {
    if (std::holds_alternative<Result>(solve(inputs, choice)) != results) {
        state.SkipWithError("the calculation did not end as expected");
        return;
    }
    for (auto _ : state) {
        auto outcome = solve(inputs, choice);
        benchmark::DoNotOptimize(outcome);
    }
}

void BM_SolveParallelSeries(benchmark::State& state) {
    solve_once(state, {1000, 2000, 1.0, 0.0, 1.1, 0.0, 2.0},
               {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries}, true);
}
BENCHMARK(BM_SolveParallelSeries);

void BM_SolveSeriesParallel(benchmark::State& state) {
    solve_once(state, {1000, 2000, 100, 50, 80, -40, 50},
               {Crossover::Capacitive, Crossover::Inductive, Topology::SeriesParallel}, true);
}
BENCHMARK(BM_SolveSeriesParallel);

void BM_SolveMessage(benchmark::State& state) {
    solve_once(state, {1000, 2000, 1.0, 0.0, 1.1, 0.0, 0.5},
               {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries}, false);
}
BENCHMARK(BM_SolveMessage);

// The same input as a search meets it: the stop without its message.
void BM_CalculateModelStop(benchmark::State& state) {
    const veltrane::Inputs inputs{1000, 2000, 1.0, 0.0, 1.1, 0.0, 0.5};
    const Choice choice{Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries};
    if (!std::holds_alternative<veltrane::Stop>(veltrane::calculate_model(inputs, choice))) {
        state.SkipWithError("the calculation did not stop");
        return;
    }
    for (auto _ : state) {
        auto outcome = veltrane::calculate_model(inputs, choice);
        benchmark::DoNotOptimize(outcome);
    }
}
BENCHMARK(BM_CalculateModelStop);

// The whole CALCULATE of the window: the report goes through the safe file writer into a file of
// the build folder (a real disk, not a memory file system), with both flushes. Wall-clock time,
// since the flushes wait for the disk rather than use the processor.
void BM_CalculateWithReportFile(benchmark::State& state) {
    MemoryFieldSet fields;
    for (const auto& [field, text] : parallel_series.texts) {
        fields.set_text(field, text);
    }
    for (const Option option : parallel_series.options) {
        fields.select(option);
    }
    const std::filesystem::path path =
        std::filesystem::path(VELTRANE_BENCH_DIR) / "bench-report.prt";
    FileReport report{path};
    if (calculate(fields, report) != Outcome::Results) {
        state.SkipWithError(fields.text(Field::Message).c_str());
        return;
    }
    for (auto _ : state) {
        Outcome outcome = calculate(fields, report);
        benchmark::DoNotOptimize(outcome);
    }
    if (calculate(fields, report) != Outcome::Results) {
        state.SkipWithError(fields.text(Field::Message).c_str());
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}
BENCHMARK(BM_CalculateWithReportFile)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Values of the kind the calculation shows: small and large, negative, near a half.
constexpr std::array<double, 8> values = {1438.044,  0.1586231, 79.71066, -3.5,
                                          12345.678, 0.125,     999.96,   2.675};

void BM_FormatNumber(benchmark::State& state) {
    const auto pattern = static_cast<Pattern>(state.range(0));
    state.SetLabel(std::string{pattern_text(pattern)});
    std::size_t i = 0;
    for (auto _ : state) {
        double value = values[i];
        benchmark::DoNotOptimize(value);
        auto text = format_number(value, pattern);
        benchmark::DoNotOptimize(text.data());
        i = (i + 1) % values.size();
    }
}
BENCHMARK(BM_FormatNumber)
    ->Arg(static_cast<int>(Pattern::Report))
    ->Arg(static_cast<int>(Pattern::Frequency))
    ->Arg(static_cast<int>(Pattern::Value))
    ->Arg(static_cast<int>(Pattern::Blank));

} // namespace
