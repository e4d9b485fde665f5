// Speed of the exports: veltrane-calc with a 10,001-point sweep writing the Touchstone file and
// the picture (the whole run: calculation, both files written safely to a temporary folder), and
// the two texts alone.

#include "cli/calc_cli.h"
#include "model/solve.h"
#include "rf/model_files.h"
#include "rf/model_impedance.h"
#include "rf/picture.h"
#include "rf/svg.h"
#include "rf/sweep.h"

#include <benchmark/benchmark.h>

#include <complex>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace veltrane;

constexpr const char* sweep_10001 = "0.1:10:10001";

// A folder of its own under the temporary folder, removed at the end.
struct Folder {
    Folder() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               ("veltrane-bench-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directory(path);
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

Result worked_example() {
    const Inputs in{1000, 2000, 1.0, 0.0, 1.1, 0.0, 2.0};
    return std::get<Result>(
        solve(in, {Crossover::Inductive, Crossover::Capacitive, Topology::ParallelSeries}));
}

void BM_CalcWithTouchstoneAndPicture(benchmark::State& state) {
    Folder folder;
    const std::vector<std::string> args = {"--rl",
                                           "2.0",
                                           "--f1-crossover",
                                           "inductive",
                                           "--f2-crossover",
                                           "capacitive",
                                           "--topology",
                                           "parallel-series",
                                           "--no-report",
                                           "--sweep",
                                           sweep_10001,
                                           "--s1p",
                                           (folder.path / "model.s1p").string(),
                                           "--plot",
                                           (folder.path / "model.svg").string()};
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        if (cli::run_calc(args, out, err) != cli::exit_results) {
            state.SkipWithError(err.str().c_str());
            break;
        }
    }
}
BENCHMARK(BM_CalcWithTouchstoneAndPicture)->Unit(benchmark::kMillisecond);

void BM_TouchstoneText(benchmark::State& state) {
    const Result s = worked_example();
    const rf::DescribedModel model{rf::LumpedModel::from(s, Topology::ParallelSeries), std::nullopt,
                                   std::nullopt};
    const std::vector<double> f = rf::sweep_frequencies({0.1, 10, 10001, false});
    for (auto _ : state) {
        benchmark::DoNotOptimize(rf::touchstone_text(model, f, 50));
    }
}
BENCHMARK(BM_TouchstoneText)->Unit(benchmark::kMillisecond);

void BM_PictureSvg(benchmark::State& state) {
    const Result s = worked_example();
    rf::PlotInput input;
    input.model = rf::LumpedModel::from(s, Topology::ParallelSeries);
    input.calculation = &s;
    input.f_ghz = rf::sweep_frequencies({0.1, 10, 10001, false});
    for (auto _ : state) {
        benchmark::DoNotOptimize(rf::svg_text(rf::model_picture(input)));
    }
}
BENCHMARK(BM_PictureSvg)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// veltrane-calc --batch over 1,000 files of 101 samples (an antenna-like load with a ripple),
// the best fit with RL given on each; argument: threads. CPU time of the whole process.
void BM_Batch1000(benchmark::State& state) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("veltrane-batch-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const rf::LumpedModel antenna{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    for (int k = 0; k < 1000; ++k) {
        std::string bytes = "# GHz S RI R 50\n";
        for (int i = 0; i <= 100; ++i) {
            const double f = 1.5 + 0.02 * i;
            const double phase = 37.0 * f + 0.01 * k;
            const std::complex<double> z = rf::impedance(antenna, f);
            const std::complex<double> s =
                (z - 50.0) / (z + 50.0) + 0.03 * std::polar(1.0, phase) * std::sin(3.1 * f);
            bytes += std::to_string(f) + " " + std::to_string(s.real()) + " " +
                     std::to_string(s.imag()) + "\n";
        }
        std::ofstream(folder / ("dut" + std::to_string(1000 + k) + ".s1p")) << bytes;
    }
    const std::vector<std::string> args = {"--batch",
                                           folder.string(),
                                           "--best-fit",
                                           "--rl",
                                           "62",
                                           "--threads",
                                           std::to_string(state.range(0))};
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        if (cli::run_calc(args, out, err) != 0) {
            state.SkipWithError(err.str().c_str());
        }
        benchmark::DoNotOptimize(out);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Batch1000)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
