#pragma once

// What the benchmarks of the measured-data window share: a measured-looking file, and a drag on
// the return-loss plot timed as a person makes it.

#include "fit/chart_view.h"
#include "io/safe_file.h"
#include "rf/chart_frame.h"
#include "rf/model_files.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::bench {

// A measured-looking file: a Parallel/Series model with a ripple on it, `points` samples 1 to
// 3 GHz. (The model alone is no measurement: no pair of its samples gives a model with RL
// searched, and the quick best fit on opening it finds nothing.)
inline QString write_file(const QTemporaryDir& dir, int points) {
    const rf::LumpedModel model{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
    std::string text = "# GHz S RI R 50\n";
    for (int i = 0; i < points; ++i) {
        const double f = 1.0 + 2.0 * i / (points - 1);
        const auto s = rf::reflection(rf::impedance(model, f), 50.0) +
                       rf::Complex(0.02 * std::sin(40 * f), 0.0);
        text +=
            rf::shortest(f) + " " + rf::shortest(s.real()) + " " + rf::shortest(s.imag()) + "\n";
    }
    const QString path = dir.filePath(QStringLiteral("data%1.s1p").arg(points));
    if (write_file_safely(path.toStdString(), text)) {
        std::abort();
    }
    return path;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Presses at `press_ghz` on the plot's middle line, then moves back and forth over `lo_ghz` to
// `lo_ghz + span_ghz`, a new place each move, each move timed to the end of a synchronous
// repaint of both charts; releases at the last place. The times are the benchmark's iteration
// times, their median the counter "median_ms".
inline void time_plot_drag(benchmark::State& state, fit::ChartView* chart,
                           const rf::ChartFrame& frame, double press_ghz, double lo_ghz,
                           double span_ghz) {
    const double y = frame.plot_area.y + frame.plot_area.height / 2;
    const QPointF start = chart->to_widget({rf::plot_x(frame, press_ghz), y});
    QMouseEvent press(QEvent::MouseButtonPress, start, chart->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &press);
    std::vector<QPointF> places;
    for (int k = 0; k < 64; ++k) {
        const double f = lo_ghz + span_ghz * std::abs(1 - k / 32.0);
        places.push_back(chart->to_widget({rf::plot_x(frame, f), y}));
    }
    std::vector<double> times_ms;
    std::size_t k = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const QPointF at = places[k++ % places.size()];
        QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
        chart->repaint();
        const std::chrono::duration<double, std::milli> spent =
            std::chrono::steady_clock::now() - t0;
        times_ms.push_back(spent.count());
        state.SetIterationTime(spent.count() / 1000);
    }
    const QPointF end = k > 0 ? places[(k - 1) % places.size()] : start;
    QMouseEvent release(QEvent::MouseButtonRelease, end, chart->mapToGlobal(end), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &release);
    state.counters["median_ms"] = median(times_ms);
}

// The benchmarks' main: offscreen unless a platform is named, with settings in a folder of their
// own (the user's are left alone).
inline int run_window_benchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace veltrane::bench
