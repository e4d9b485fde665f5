// Speed of the best-fit search on a measured-looking one-port: an antenna-like model near
// 2.45 GHz with a ripple on its reflection, as 201 and 1,601 samples with RL given, and 201
// samples with RL searched, and 300,001 samples (pairs chosen among fewer) both ways; and the
// refinement of the five best candidates on 201 samples.

#include "rf/best_fit.h"
#include "rf/fit.h"
#include "rf/model_impedance.h"
#include "rf/refine.h"

#include "parallel/pool.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace veltrane;

rf::PortData measured_looking(std::size_t samples) {
    const rf::LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::vector<double> f_ghz;
    for (std::size_t i = 0; i < samples; ++i) {
        f_ghz.push_back(1.5 + 2.0 * static_cast<double>(i) / static_cast<double>(samples - 1));
    }
    rf::PortData data = rf::sweep(antenna, f_ghz, 50.0);
    for (std::size_t i = 0; i < samples; ++i) {
        // A cable and fixture ripple of a few hundredths.
        const double phase = 37.0 * f_ghz[i];
        data.s[i] +=
            0.03 * rf::Complex(std::cos(phase), std::sin(phase)) * std::sin(3.1 * f_ghz[i]);
    }
    return data;
}

void search(benchmark::State& state, std::size_t samples, bool searched_rl) {
    const rf::PortData data = measured_looking(samples);
    rf::BestFitOptions options;
    if (!searched_rl) {
        options.rl_ohm = 62.0;
    }
    double largest = 0.0;
    for (auto _ : state) {
        auto result = rf::best_fit(data, options);
        if (std::holds_alternative<std::string>(result)) {
            state.SkipWithError(std::get<std::string>(result).c_str());
            return;
        }
        largest = std::get<rf::BestFit>(result).best.front().max_error;
        benchmark::DoNotOptimize(result);
    }
    state.counters["largest_error"] = largest;
}

void BM_BestFit201(benchmark::State& state) {
    search(state, 201, false);
}
void BM_BestFit1601(benchmark::State& state) {
    search(state, 1601, false);
}
void BM_BestFit201SearchedRl(benchmark::State& state) {
    search(state, 201, true);
}
void BM_BestFit300001(benchmark::State& state) {
    search(state, 300001, false);
}
void BM_BestFit300001SearchedRl(benchmark::State& state) {
    search(state, 300001, true);
}

// The refinement of the five best models of the search with RL given, as --refine runs it.
void BM_Refine201(benchmark::State& state) {
    const rf::PortData data = measured_looking(201);
    rf::BestFitOptions options;
    options.rl_ohm = 62.0;
    auto found = rf::best_fit(data, options);
    if (std::holds_alternative<std::string>(found)) {
        state.SkipWithError(std::get<std::string>(found).c_str());
        return;
    }
    std::vector<rf::LumpedModel> starts;
    for (const rf::Candidate& c : std::get<rf::BestFit>(found).best) {
        starts.push_back(rf::LumpedModel::from(c.state, c.choice.topology));
    }
    std::size_t evaluations = 0;
    for (auto _ : state) {
        auto refined = rf::refine(starts, data, 50.0, rf::FrequencyRange{});
        if (!refined) {
            state.SkipWithError("nothing refined");
            return;
        }
        evaluations = refined->evaluations;
        benchmark::DoNotOptimize(refined);
    }
    state.counters["evaluations"] = static_cast<double>(evaluations);
}

// The refinement from the same five starts (the best fit on 201 samples) on more and more
// samples of the same curve: with the exchange, nearly flat in the samples.
void BM_RefineSamples(benchmark::State& state) {
    rf::BestFitOptions options;
    options.rl_ohm = 62.0;
    auto found = rf::best_fit(measured_looking(201), options);
    if (std::holds_alternative<std::string>(found)) {
        state.SkipWithError(std::get<std::string>(found).c_str());
        return;
    }
    std::vector<rf::LumpedModel> starts;
    for (const rf::Candidate& c : std::get<rf::BestFit>(found).best) {
        starts.push_back(rf::LumpedModel::from(c.state, c.choice.topology));
    }
    const rf::PortData data = measured_looking(static_cast<std::size_t>(state.range(0)));
    double largest = 0.0;
    for (auto _ : state) {
        auto refined = rf::refine(starts, data, 50.0, rf::FrequencyRange{});
        if (!refined) {
            state.SkipWithError("nothing refined");
            return;
        }
        largest = refined->fit.max;
        benchmark::DoNotOptimize(refined);
    }
    state.counters["largest_error"] = largest;
}

// The best fit on both sides of the size where the pairs start being chosen among fewer samples
// (RL given: 401; RL searched: 201), and of the sizes where that once happened (2,001 and 251).
void BM_BestFitAround(benchmark::State& state) {
    search(state, static_cast<std::size_t>(state.range(0)), false);
}
void BM_BestFitSearchedRlAround(benchmark::State& state) {
    search(state, static_cast<std::size_t>(state.range(0)), true);
}

// The best fit and the refinement on 1 and 2 threads: CPU time of the whole process, wall
// time. Arguments: samples, RL searched (0 or 1), threads.
void BM_BestFitThreads(benchmark::State& state) {
    parallel::set_threads(static_cast<std::size_t>(state.range(2)));
    search(state, static_cast<std::size_t>(state.range(0)), state.range(1) != 0);
    parallel::set_threads(0);
}
void BM_RefineThreads(benchmark::State& state) {
    parallel::set_threads(static_cast<std::size_t>(state.range(1)));
    BM_RefineSamples(state);
    parallel::set_threads(0);
}
BENCHMARK(BM_BestFitThreads)
    ->Args({401, 0, 1})
    ->Args({401, 0, 2})
    ->Args({201, 1, 1})
    ->Args({201, 1, 2})
    ->Args({300001, 0, 1})
    ->Args({300001, 0, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_RefineThreads)
    ->Args({12801, 1})
    ->Args({12801, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK(BM_RefineSamples)
    ->MeasureProcessCPUTime()
    ->Arg(201)
    ->Arg(1601)
    ->Arg(12801)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_BestFitAround)
    ->MeasureProcessCPUTime()
    ->Arg(401)
    ->Arg(403)
    ->Arg(2001)
    ->Arg(2003)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_BestFitSearchedRlAround)
    ->MeasureProcessCPUTime()
    ->Arg(201)
    ->Arg(203)
    ->Arg(251)
    ->Arg(253)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_Refine201)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestFit201)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestFit1601)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BestFit201SearchedRl)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_BestFit300001)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BestFit300001SearchedRl)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
