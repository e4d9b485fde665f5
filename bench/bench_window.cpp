// Start-up of the calculator window against a bare window of the same size, and one CALCULATE
// (with the report written to a temporary directory). Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include "app/main_window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QWindow>

namespace {

// Shows the window and handles events until the platform has exposed (and so painted) it.
void show_until_exposed(QWidget& window) {
    window.show();
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
}

void BM_StartBareWindow(benchmark::State& state) {
    for (auto _ : state) {
        QWidget window;
        window.setWindowTitle(QStringLiteral("Veltrane"));
        window.setFixedSize(624, 323);
        show_until_exposed(window);
    }
}
BENCHMARK(BM_StartBareWindow)->Unit(benchmark::kMicrosecond);

void BM_StartMainWindow(benchmark::State& state) {
    for (auto _ : state) {
        veltrane::app::MainWindow window;
        show_until_exposed(window);
    }
}
BENCHMARK(BM_StartMainWindow)->Unit(benchmark::kMicrosecond);

void BM_Calculate(benchmark::State& state) {
    QTemporaryDir directory;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory.path());

    veltrane::app::MainWindow window;
    show_until_exposed(window);
    window.findChild<QLineEdit*>(QStringLiteral("RL_txt"))->setText(QStringLiteral("2.0"));
    for (const char* name : {"F1_ind", "F2_cap", "ParSer"}) {
        window.findChild<QRadioButton*>(QString::fromLatin1(name))->click();
    }
    auto* calculate = window.findChild<QPushButton*>(QStringLiteral("Calc"));
    for (auto _ : state) {
        calculate->click();
        QCoreApplication::processEvents(); // repaint the ten fields
    }
    if (window.findChild<QLineEdit*>(QStringLiteral("F0_txt"))->text() !=
        QStringLiteral("1438.04")) {
        state.SkipWithError("CALCULATE did not give the expected F0");
    }
    QDir::setCurrent(previous);
}
BENCHMARK(BM_Calculate)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
