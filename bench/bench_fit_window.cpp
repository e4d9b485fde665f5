// The measured-data window under load: a marker dragged across a 1,601-point file (all eight
// choices recomputed and both plots repainted per move), and a 100,000-point file opened while
// the event loop is watched for stalls. Runs on the offscreen platform unless QT_QPA_PLATFORM
// says otherwise.

#include "bench/window_bench.h"
#include "fit/chart_view.h"
#include "fit/fit_window.h"
#include "io/safe_file.h"
#include "rf/fit.h"
#include "rf/model_files.h"
#include "views/chart_pointing.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace {

using veltrane::bench::write_file;
using veltrane::fit::FitWindow;

void show_until_exposed(QWidget& window) {
    window.show();
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

bool open(FitWindow& window, const QString& path) {
    QSignalSpy loaded(&window, &FitWindow::loaded);
    window.open_file(path, 1);
    return loaded.wait(60000);
}

void BM_DragMarker1601(benchmark::State& state) {
    QTemporaryDir dir;
    FitWindow window;
    window.resize(1200, 820);
    show_until_exposed(window);
    if (!open(window, write_file(dir, 1601))) {
        state.SkipWithError("the file did not open");
        return;
    }
    veltrane::fit::ChartView* chart = window.chart();
    const auto& frame = window.picture().frame;
    // The F1 marker back and forth between 1.2 and 1.9 GHz.
    veltrane::bench::time_plot_drag(state, chart, frame, window.points_ghz()[0], 1.2, 0.7);
}
BENCHMARK(BM_DragMarker1601)->UseManualTime()->Unit(benchmark::kMillisecond);

// The processor time the calling thread has used, in ms: what the event thread spent between
// two turns, however busy the machine (a wall-clock gap also counts the time the system gave
// to other programs).
double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Opening a 100,000-point file: the whole time until the data are shown and the quick best fit's
// model taken, and the longest time the event loop could not run meanwhile (a 1 ms timer's
// largest gap), in wall-clock time and in the event thread's processor time.
void BM_Open100000(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = write_file(dir, 100000);
    FitWindow window;
    window.resize(1200, 820);
    show_until_exposed(window);
    std::vector<double> stalls;
    std::vector<double> busy;
    for (auto _ : state) {
        QElapsedTimer clock;
        double longest = 0;
        qint64 last = 0;
        double longest_cpu = 0;
        double last_cpu = thread_cpu_ms();
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, static_cast<double>(clock.elapsed() - last));
            last = clock.elapsed();
            const double now = thread_cpu_ms();
            longest_cpu = std::max(longest_cpu, now - last_cpu);
            last_cpu = now;
        });
        clock.start();
        ticker.start();
        QSignalSpy modelled(&window, &FitWindow::quick_fit_done);
        if (!open(window, path) || (modelled.empty() && !modelled.wait(60000))) {
            state.SkipWithError("the file did not open");
            return;
        }
        QCoreApplication::processEvents(); // the paint of the quick fit's model
        longest = std::max(longest, static_cast<double>(clock.elapsed() - last));
        longest_cpu = std::max(longest_cpu, thread_cpu_ms() - last_cpu);
        stalls.push_back(longest);
        busy.push_back(longest_cpu);
    }
    state.counters["longest_stall_ms"] = veltrane::bench::median(stalls);
    state.counters["longest_busy_ms"] = veltrane::bench::median(busy);
}
BENCHMARK(BM_Open100000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Opening a file until its model is shown: reading, the first evaluation and the quick best fit
// that chooses the points, choices and RL.
void open_to_model(benchmark::State& state, const QString& path) {
    FitWindow window;
    window.resize(1200, 820);
    show_until_exposed(window);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        QSignalSpy modelled(&window, &FitWindow::quick_fit_done);
        window.open_file(path, 1);
        if (!modelled.wait(60000)) {
            state.SkipWithError("no model came");
            return;
        }
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(spent.count());
    }
}

void BM_OpenToModelExample(benchmark::State& state) {
    open_to_model(state, QStringLiteral(VELTRANE_EXAMPLES_DIR "/antenna.s1p"));
}
BENCHMARK(BM_OpenToModelExample)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenToModel1601(benchmark::State& state) {
    QTemporaryDir dir;
    open_to_model(state, write_file(dir, 1601));
}
BENCHMARK(BM_OpenToModel1601)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Cancel on 300,001 samples: from the click until the search has ended and the window says so,
// the search stopped `state.range(0)` ms after it began (RL searched when range(1) is 1).
void BM_Cancel300001(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = write_file(dir, 300001);
    FitWindow window;
    window.resize(1200, 820);
    show_until_exposed(window);
    QSignalSpy modelled(&window, &FitWindow::quick_fit_done);
    window.open_file(path, 1);
    if (!modelled.wait(120000)) {
        state.SkipWithError("the file did not open");
        return;
    }
    auto* best = window.findChild<QPushButton*>(QStringLiteral("best_fit"));
    auto* cancel = window.findChild<QPushButton*>(QStringLiteral("cancel"));
    window.findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(state.range(1) == 1);
    std::vector<double> latencies;
    for (auto _ : state) {
        QSignalSpy done(&window, &FitWindow::best_fit_done);
        best->click();
        QTest::qWait(static_cast<int>(state.range(0)));
        if (!done.isEmpty()) {
            state.SkipWithError("the search ended before the cancel");
            return;
        }
        const auto t0 = std::chrono::steady_clock::now();
        cancel->click();
        if (!done.wait(10000)) {
            state.SkipWithError("the search did not stop");
            return;
        }
        const std::chrono::duration<double, std::milli> spent =
            std::chrono::steady_clock::now() - t0;
        latencies.push_back(spent.count());
        state.SetIterationTime(spent.count() / 1000);
    }
    state.counters["median_ms"] = veltrane::bench::median(latencies);
    state.counters["max_ms"] = *std::max_element(latencies.begin(), latencies.end());
}
BENCHMARK(BM_Cancel300001)
    ->ArgsProduct({{100, 250}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return veltrane::bench::run_window_benchmarks(argc, argv);
}
