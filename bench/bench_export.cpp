// Speed of the exports: veltrane-calc with a 10,001-point sweep writing the Touchstone file and
// the picture (the whole run: calculation, both files written safely to a temporary folder), and
// the two texts alone.

#include "cli/calc_cli.h"
#include "model/solve.h"
#include "rf/model_files.h"
#include "rf/picture.h"
#include "rf/svg.h"
#include "rf/sweep.h"

#include <benchmark/benchmark.h>

#include <filesystem>
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
