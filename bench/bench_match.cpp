// The matching network designer on the published antenna load (40 ohm + 120 nH, 295-405 MHz,
// 201 samples in the band, 50 ohm source): all ladders of 1..N elements.
#include "match/design.h"
#include "parallel/pool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <numbers>

namespace {

using namespace veltrane::match;

DesignInput antenna(int elements) {
    DesignInput input;
    for (int i = 0; i < 201; ++i) {
        const double f = 0.295 + 0.110 * i / 200;
        input.load.f_ghz.push_back(f);
        input.load.z_ohm.push_back({40, 2 * std::numbers::pi * f * 120});
    }
    input.max_elements = elements;
    return input;
}

// longest_gap_ms: the longest wait between two calls of the progress callback (and from the
// last call to the end), which a window needs within about 100 ms. CPU time of the process:
// the work runs on the pool's threads.
void design(benchmark::State& state) {
    DesignInput input = antenna(static_cast<int>(state.range(0)));
    using Clock = std::chrono::steady_clock;
    Clock::time_point last;
    double longest_ms = 0;
    input.progress = [&](double) {
        const Clock::time_point now = Clock::now();
        longest_ms =
            std::max(longest_ms, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        return true;
    };
    for (auto _ : state) {
        last = Clock::now();
        benchmark::DoNotOptimize(design_networks(input));
        longest_ms = std::max(
            longest_ms, std::chrono::duration<double, std::milli>(Clock::now() - last).count());
    }
    state.counters["longest_gap_ms"] = longest_ms;
}
BENCHMARK(design)
    ->Arg(4)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(3);

// All ladders of 1..N elements on 1 or 2 threads (N, threads): CPU time of the whole process
// and wall time. The networks are the same for any number of threads.
void design_threads(benchmark::State& state) {
    const DesignInput input = antenna(static_cast<int>(state.range(0)));
    veltrane::parallel::set_threads(static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(design_networks(input));
    }
    veltrane::parallel::set_threads(0);
}
BENCHMARK(design_threads)
    ->ArgsProduct({{6, 7}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);

void standard_values(benchmark::State& state) {
    const DesignInput input = antenna(4);
    const DesignResult result = design_networks(input);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            standard_network(result.networks.back(), input, veltrane::rf::ESeries::E24));
    }
}
BENCHMARK(standard_values)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);

} // namespace
