// The Match panel under load: a band edge dragged across the return-loss plot of a 1,601-point
// file with a network chosen (the unmatched curves drawn again and the chosen network evaluated
// over the new band, not designed again, per move), and the design of 4 and 6 elements on
// examples/antenna.s1p over 2.2 to 2.7 GHz. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include "bench/window_bench.h"
#include "fit/chart_view.h"
#include "fit/fit_window.h"
#include "fit/match_panel.h"
#include "io/safe_file.h"
#include "match/design.h"
#include "rf/model_files.h"
#include "rf/touchstone.h"
#include "views/match_view.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

using veltrane::bench::write_file;
using veltrane::fit::FitWindow;
using veltrane::fit::MatchPanel;

void type(FitWindow& window, const char* name, const QString& text) {
    auto* edit = window.findChild<QLineEdit*>(QString::fromLatin1(name));
    edit->setText(text);
    emit edit->editingFinished();
}

void BM_DragBandEdge1601(benchmark::State& state) {
    QTemporaryDir dir;
    FitWindow window;
    window.resize(1200, 820); // as the marker drag of veltrane-fit-window-bench
    window.findChild<QAction*>(QStringLiteral("show_match"))->setChecked(true);
    window.show();
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents();
    }
    QSignalSpy loaded(&window, &FitWindow::loaded);
    window.open_file(write_file(dir, 1601), 1);
    if (!loaded.wait(60000)) {
        state.SkipWithError("the file did not open");
        return;
    }
    auto* panel = window.findChild<MatchPanel*>();
    type(window, "match_fl_ghz", QStringLiteral("1.6"));
    type(window, "match_fh_ghz", QStringLiteral("2.2"));
    window.findChild<QSpinBox*>(QStringLiteral("match_elements"))->setValue(3);
    QSignalSpy designed(panel, &MatchPanel::design_done);
    QSignalSpy parts(panel, &MatchPanel::parts_done);
    panel->start_design();
    if (!designed.wait(120000) || panel->networks().empty()) {
        state.SkipWithError("no network was designed");
        return;
    }
    // The yield of the chosen network, computed after the design, is done before the drag.
    if (parts.isEmpty() && !parts.wait(120000)) {
        state.SkipWithError("no yield");
        return;
    }
    veltrane::fit::ChartView* chart = window.chart();
    const auto& frame = window.picture().frame;
    // FH back and forth between 2.2 and 2.9 GHz.
    veltrane::bench::time_plot_drag(state, chart, frame, 2.2, 2.2, 0.7);
    if (panel->band().fh_ghz == 2.2) {
        state.SkipWithError("the drag did not move the band's edge");
    }
    state.counters["band_fh_ghz"] = panel->band().fh_ghz; // the drag reached the panel
}
BENCHMARK(BM_DragBandEdge1601)->UseManualTime()->Unit(benchmark::kMillisecond);

// The design the panel's Design button runs, on the example antenna over 2.2 to 2.7 GHz.
void BM_DesignAntenna(benchmark::State& state) {
    auto read = veltrane::rf::read_touchstone_file(VELTRANE_EXAMPLES_DIR "/antenna.s1p");
    const auto data = std::get<veltrane::rf::PortData>(
        veltrane::rf::port_data(std::get<veltrane::rf::Network>(read), 1));
    veltrane::match::DesignInput input;
    input.load = veltrane::views::band_load(data, 2.2, 2.7);
    input.max_elements = static_cast<int>(state.range(0));
    double worst = 0;
    for (auto _ : state) {
        const auto result = veltrane::match::design_networks(input);
        worst = result.networks.back().figures.worst_gamma;
    }
    state.counters["samples"] = static_cast<double>(input.load.f_ghz.size());
    state.counters["worst_gamma"] = worst;
}
BENCHMARK(BM_DesignAntenna)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return veltrane::bench::run_window_benchmarks(argc, argv);
}
