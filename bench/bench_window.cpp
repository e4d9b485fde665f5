// Start-up of the calculator window against a bare window of the same size, and one CALCULATE
// (with the report written to a temporary directory). Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include "app/main_window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
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

// Ctrl+V of a long text into RL_txt with its text selected, the field repainted, then CALCULATE
// and its repaint: zeros and then 2.0, the worked example's RL read whole. The Windows window's
// figures come from veltrane_win32_paste_timing, the same steps under wine.
void BM_PasteAndCalculate(benchmark::State& state) {
    QTemporaryDir directory;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory.path());

    veltrane::app::MainWindow window;
    show_until_exposed(window);
    for (const char* name : {"F1_ind", "F2_cap", "ParSer"}) {
        window.findChild<QRadioButton*>(QString::fromLatin1(name))->click();
    }
    auto* rl = window.findChild<QLineEdit*>(QStringLiteral("RL_txt"));
    auto* ls = window.findChild<QLineEdit*>(QStringLiteral("Ls_txt"));
    auto* calculate = window.findChild<QPushButton*>(QStringLiteral("Calc"));
    const auto length = static_cast<qsizetype>(state.range(0));
    QGuiApplication::clipboard()->setText(QString(length - 3, u'0') + QStringLiteral("2.0"));
    for (auto _ : state) {
        rl->setFocus();
        rl->selectAll();
        rl->paste();
        rl->repaint();
        calculate->click();
        QCoreApplication::processEvents(); // repaint the fields
    }
    if (rl->text().size() != length || ls->text() != QStringLiteral("0.159")) {
        state.SkipWithError("the pasted text was not read whole");
    }
    QDir::setCurrent(previous);
}
BENCHMARK(BM_PasteAndCalculate)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond);

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
