#pragma once

// Timing a drag on the measured-data window's return-loss plot, as a person makes it.

#include "fit/chart_view.h"
#include "rf/chart_frame.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace veltrane::bench {

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Presses at `press_ghz` on the plot's middle line, then moves back and forth over `lo_ghz` to
// `lo_ghz + span_ghz`, a new place each move, each move timed to the end of a synchronous
// repaint of both charts; releases where it began. The times are the benchmark's iteration
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
    QMouseEvent release(QEvent::MouseButtonRelease, start, chart->mapToGlobal(start),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &release);
    state.counters["median_ms"] = median(times_ms);
}

} // namespace veltrane::bench
