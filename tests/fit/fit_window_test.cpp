// The measured-data window as a user drives it: open a file (argument, drop, bad files), drag a
// marker, pick a row, run and cancel the best fit, export. Offscreen; one window per test.

#include "fit/chart_view.h"
#include "fit/fit_window.h"
#include "fit/picture_painter.h"
#include "rf/choices.h"
#include "rf/model_impedance.h"
#include "rf/numbers.h"
#include "rf/touchstone.h"
#include "support/chart_drag.h"
#include "support/test_support.h"
#include "views/chart_pointing.h"
#include "views/evaluation.h"
#include "views/rl_scale.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QThreadPool>
#include <QUrl>
#include <QWheelEvent>

#include <functional>
#include <limits>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using veltrane::Topology;
using veltrane::fit::Export;
using veltrane::fit::FitWindow;
using veltrane::testing::TempDir;

namespace {

#ifndef VELTRANE_TIME_SCALE
#define VELTRANE_TIME_SCALE 1
#endif
// How much wider a bound on how soon the window answers is in a slower (sanitized) build.
constexpr int time_scale = VELTRANE_TIME_SCALE;

const QString antenna = QStringLiteral(VELTRANE_EXAMPLES_DIR "/antenna.s1p");

// Six samples, half a gigahertz apart: wide enough on the chart to drag between them.
constexpr std::string_view sparse_file = "# GHz S RI R 50\n"
                                         "1.0 0.60 -0.60\n"
                                         "1.5 0.30 -0.50\n"
                                         "2.0 0.10 -0.20\n"
                                         "2.5 0.15 0.20\n"
                                         "3.0 0.35 0.45\n"
                                         "3.5 0.60 0.55\n";

const QString ring_slot = QStringLiteral(VELTRANE_SKRF_DATA_DIR "/ring slot.s2p");

// The model shown: points, RL and row.
struct Shown {
    std::array<double, 2> f_ghz;
    double rl_ohm;
    veltrane::Choice choice;
    bool operator==(const Shown&) const = default;
};

QString path_of(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

} // namespace

class FitWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FitWindow> window_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<TempDir> large_dir_;
    QString large_path_;

    // Opens `path` as File > Open does; true when the data were taken and the quick best fit
    // that follows has ended.
    bool open(const QString& path, int port = 1) {
        QSignalSpy loaded(window_.get(), &FitWindow::loaded);
        QSignalSpy refused(window_.get(), &FitWindow::refused);
        QSignalSpy quick(window_.get(), &FitWindow::quick_fit_done);
        window_->open_file(path, port);
        return QTest::qWaitFor([&] { return !quick.isEmpty() || !refused.isEmpty(); }, 120000) &&
               !loaded.isEmpty();
    }

    // A swept model with `samples` samples from 1 GHz: a search with RL searched on 400 of them
    // takes many seconds.
    QString swept(int samples) {
        const veltrane::rf::LumpedModel model{Topology::SeriesParallel, 3.1, 1.7, 2.2, 0.9, 42.0};
        std::string text = "# GHz S RI R 50\n";
        for (int k = 0; k < samples; ++k) {
            const double f = 1 + 0.005 * k;
            const auto s = veltrane::rf::reflection(veltrane::rf::impedance(model, f), 50.0);
            text += veltrane::rf::shortest(f) + " " + veltrane::rf::shortest(s.real()) + " " +
                    veltrane::rf::shortest(s.imag()) + "\n";
        }
        const auto p = *dir_ / "swept.s1p";
        veltrane::testing::write_bytes(p, text);
        return path_of(p);
    }

    // A measured-looking file: a Parallel/Series model with a ripple on it, `samples` samples
    // from 1 to 3 GHz.
    QString rippled(int samples, const TempDir* in = nullptr) {
        const veltrane::rf::LumpedModel model{Topology::ParallelSeries, 4.2, 1.1, 0.9, 4.7, 62.0};
        std::string text = "# GHz S RI R 50\n";
        for (int k = 0; k < samples; ++k) {
            const double f = 1 + 2.0 * k / (samples - 1);
            const auto s = veltrane::rf::reflection(veltrane::rf::impedance(model, f), 50.0) +
                           veltrane::rf::Complex(0.02 * std::sin(40 * f), 0.0);
            text += veltrane::rf::shortest(f) + " " + veltrane::rf::shortest(s.real()) + " " +
                    veltrane::rf::shortest(s.imag()) + "\n";
        }
        const auto p =
            *(in != nullptr ? in : dir_.get()) / ("rippled" + std::to_string(samples) + ".s1p");
        veltrane::testing::write_bytes(p, text);
        return path_of(p);
    }

    // The 300,001-sample file, written once for every test that needs it.
    QString large() {
        if (!large_dir_) {
            large_dir_ = std::make_unique<TempDir>();
            large_path_ = rippled(300001, large_dir_.get());
        }
        return large_path_;
    }

    Shown shown() const { return {window_->points_ghz(), window_->rl_ohm(), window_->chosen()}; }

    QTableWidget* table() const {
        return window_->findChild<QTableWidget*>(QStringLiteral("choices"));
    }

    // Presses Best fit (RL as it stands) and waits for the list.
    bool run_best_fit() {
        QSignalSpy done(window_.get(), &FitWindow::best_fit_done);
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("best_fit")),
                          Qt::LeftButton);
        return done.wait(60000);
    }

    int chosen_row() const {
        const auto& all = veltrane::rf::all_choices;
        return static_cast<int>(std::find(all.begin(), all.end(), window_->chosen()) - all.begin());
    }

    void type(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    QString sparse() {
        const auto p = *dir_ / "sparse.s1p";
        veltrane::testing::write_bytes(p, sparse_file);
        return path_of(p);
    }

    QLineEdit* edit(const char* name) const {
        return window_->findChild<QLineEdit*>(QString::fromLatin1(name));
    }

    // A press, moves and a release of the left button on the chart, in picture coordinates.
    void drag(veltrane::rf::Point from, veltrane::rf::Point to) {
        veltrane::testing::drag_on_chart(window_->chart(), from, to);
    }

  private slots:
    void initTestCase() {
        // As the program names itself: settings without an organisation cannot be saved.
        QCoreApplication::setOrganizationName(QStringLiteral("Veltrane"));
        QCoreApplication::setApplicationName(QStringLiteral("veltrane-fit-tests"));
    }
    void init() {
        dir_ = std::make_unique<TempDir>();
        window_ = std::make_unique<FitWindow>();
        window_->resize(1200, 820);
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    void cleanup() {
        window_.reset();
        dir_.reset();
    }

    void opens_by_argument_and_by_drop_data() {
        QTest::addColumn<bool>("by_drop");
        QTest::newRow("file argument") << false;
        QTest::newRow("dropped on the window") << true;
    }
    void opens_by_argument_and_by_drop() {
        QFETCH(bool, by_drop);
        window_->set_fit_on_open(false); // the points where data start
        if (by_drop) {
            QSignalSpy loaded(window_.get(), &FitWindow::loaded);
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(antenna)});
            QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(window_.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(window_.get(), &drop);
            QVERIFY(loaded.wait(10000));
        } else {
            QVERIFY(open(antenna));
        }
        // The points start on the samples at a third and two thirds of 1.50..3.50 GHz.
        QCOMPARE(edit("F1_ghz")->text(), QStringLiteral("2.17"));
        QCOMPARE(edit("F2_ghz")->text(), QStringLiteral("2.84"));
        QVERIFY(window_->windowTitle().startsWith(QStringLiteral("antenna.s1p, port 1")));
        QVERIFY(window_->message().isEmpty());
        auto* table = window_->findChild<QTableWidget*>(QStringLiteral("choices"));
        for (int row = 0; row < 8; ++row) {
            QVERIFY(!table->item(row, 1)->text().isEmpty());
        }
    }

    void refuses_a_bad_file_and_keeps_the_data_shown_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("says");
        QTest::newRow("no such file")
            << QString() << QByteArray() << 1 << QStringLiteral("Cannot read");
        QTest::newRow("a word among the numbers")
            << QStringLiteral("bad.s1p") << QByteArray("# GHz S RI R 50\n1.0 0.5 x\n") << 1
            << QStringLiteral("bad.s1p line 2");
        QTest::newRow("a port the file lacks")
            << QStringLiteral("one.s1p") << QByteArray("# GHz S RI R 50\n1.0 0.5 0.1\n") << 3
            << QStringLiteral("port");
        QTest::newRow("a line longer than a reader takes")
            << QStringLiteral("long.s1p") << QByteArray((1 << 20) + 1, '1') << 1
            << QStringLiteral("long.s1p line 1: longer than 1048576 bytes");
        QTest::newRow("an option line after the data")
            << QStringLiteral("late.s1p")
            << QByteArray("1 0.5 0\n1.5 0.5 0\n# MHz S RI R 25\n2000 0.2 0.1\n") << 1
            << QStringLiteral("late.s1p line 3");
    }
    void refuses_a_bad_file_and_keeps_the_data_shown() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, port);
        QFETCH(QString, says);
        QVERIFY(open(sparse()));
        const auto before = window_->points_ghz();
        const QString title = window_->windowTitle();
        const auto path =
            *dir_ / (name.isEmpty() ? std::string("missing.s1p") : name.toStdString());
        if (!name.isEmpty()) {
            veltrane::testing::write_bytes(path, std::string_view(bytes.constData(), bytes.size()));
        }
        QVERIFY(!open(path_of(path), port));
        QVERIFY2(window_->message().contains(says), qPrintable(window_->message()));
        QCOMPARE(window_->points_ghz(), before);
        QCOMPARE(window_->windowTitle(), title);
        QVERIFY(!window_->picture().operations.empty());
    }

    void dragging_a_marker_data() {
        QTest::addColumn<bool>("on_smith");
        QTest::addColumn<double>("target"); // sample position: 1.5 is half way from 1 to 2
        QTest::newRow("onto a sample on the plot") << false << 1.0;
        QTest::newRow("between samples on the plot") << false << 0.5;
        QTest::newRow("onto a sample on the Smith chart") << true << 0.0;
    }
    void dragging_a_marker() {
        QFETCH(bool, on_smith);
        QFETCH(double, target);
        window_->set_fit_on_open(false); // the points where data start
        QVERIFY(open(sparse()));
        QCOMPARE(window_->points_ghz()[0], 2.0);
        const auto& frame = window_->picture().frame;
        const std::array<double, 6> f = {1.0, 1.5, 2.0, 2.5, 3.0, 3.5};
        const double y_mid = frame.plot_area.y + frame.plot_area.height / 2;
        const veltrane::rf::Point from{veltrane::rf::plot_x(frame, 2.0), y_mid};
        const double f_target = 1.0 + 0.5 * target;
        veltrane::rf::Point to{veltrane::rf::plot_x(frame, f_target), y_mid};
        if (on_smith) {
            to = veltrane::rf::smith_point(frame, {0.60, -0.60});
        }
        drag(from, to);
        const double f1 = window_->points_ghz()[0];
        if (target == std::floor(target)) {
            QCOMPARE(f1, f[static_cast<std::size_t>(target)]);
        } else {
            QVERIFY2(f1 > 1.0 + 0.05 && f1 < 1.5 - 0.05, qPrintable(QString::number(f1)));
            QVERIFY(window_->results_text().contains(QStringLiteral("interpolated")));
        }
        QCOMPARE(window_->points_ghz()[1], 3.0);
        QCOMPARE(edit("F1_ghz")->text().toDouble(), f1);
    }

    // Wheel, Ctrl++, a box on either chart: each zooms; the right button pans; a double click
    // shows the whole again.
    void zooming_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("on_smith");
        QTest::newRow("wheel on the chart") << QStringLiteral("wheel") << true;
        QTest::newRow("wheel on the plot") << QStringLiteral("wheel") << false;
        QTest::newRow("box on the chart") << QStringLiteral("box") << true;
        QTest::newRow("box on the plot") << QStringLiteral("box") << false;
        QTest::newRow("Ctrl++") << QStringLiteral("keys") << true;
    }
    void zooming() {
        QFETCH(QString, how);
        QFETCH(bool, on_smith);
        QVERIFY(open(antenna));
        auto* chart = window_->chart();
        auto* reset = window_->findChild<QPushButton*>(QStringLiteral("reset_zoom"));
        QVERIFY(!reset->isEnabled());
        const auto frame = window_->picture().frame;
        const auto& a = frame.plot_area;
        const double r = frame.smith_radius;
        const veltrane::rf::Point at =
            on_smith ? veltrane::rf::Point{frame.smith_centre.x - 0.6 * r, frame.smith_centre.y}
                     : veltrane::rf::Point{a.x + 0.12 * a.width, a.y + 0.2 * a.height};
        const double f_at = on_smith ? 0 : *veltrane::rf::plot_frequency(frame, at);
        if (how == QStringLiteral("wheel")) {
            const QPointF p = chart->to_widget(at);
            QWheelEvent wheel(p, chart->mapToGlobal(p), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(chart, &wheel);
        } else if (how == QStringLiteral("box")) {
            drag(at, {at.x + 0.1 * a.width, at.y + 0.3 * r});
        } else {
            window_->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window_.get()));
            QTest::keyClick(chart, Qt::Key_Plus, Qt::ControlModifier);
        }
        const auto zoom = window_->zoom();
        if (on_smith) {
            QVERIFY2(zoom.smith_zoom > 1.2, qPrintable(QString::number(zoom.smith_zoom)));
        } else {
            QVERIFY(zoom.f_ghz.has_value());
            // What lay under the pointer lies there still; the box's corner is the left end.
            const auto& now = window_->picture().frame;
            if (how == QStringLiteral("box")) {
                QVERIFY(std::fabs(veltrane::rf::plot_x(frame, (*zoom.f_ghz)[0]) - at.x) < 1.5);
            } else {
                QVERIFY(std::fabs(veltrane::rf::plot_x(now, f_at) - at.x) < 1.0);
            }
            QVERIFY((*zoom.f_ghz)[1] - (*zoom.f_ghz)[0] < 0.8 * (frame.f_hi_ghz - frame.f_lo_ghz));
        }
        if (how == QStringLiteral("keys")) {
            QVERIFY(zoom.f_ghz.has_value()); // both charts at once
        }
        QVERIFY(reset->isEnabled());
        // A drag with the right button pans the zoomed chart.
        const auto& now = window_->picture().frame;
        const veltrane::rf::Point middle =
            on_smith ? now.smith_centre
                     : veltrane::rf::Point{now.plot_area.x + now.plot_area.width / 2,
                                           now.plot_area.y + now.plot_area.height / 2};
        const QPointF from = chart->to_widget(middle);
        const QPointF to = from + QPointF(-40, 25);
        QTest::mousePress(chart, Qt::RightButton, {}, from.toPoint());
        QMouseEvent pan(QEvent::MouseMove, to, chart->mapToGlobal(to), Qt::NoButton,
                        Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &pan);
        QTest::mouseRelease(chart, Qt::RightButton, {}, to.toPoint());
        QVERIFY(!(window_->zoom() == zoom));
        QCOMPARE(window_->zoom().smith_zoom, zoom.smith_zoom);
        QTest::mouseDClick(chart, Qt::LeftButton, {}, chart->to_widget(at).toPoint());
        QVERIFY(window_->zoom() == veltrane::rf::ChartZoom{});
        QVERIFY(!reset->isEnabled());
    }

    // Pin keeps the model shown as a dashed curve with its figures while another is chosen;
    // Unpin drops it.
    void pinning() {
        QVERIFY(open(antenna));
        const auto pinned_curves = [this] {
            int n = 0;
            for (const auto& op : window_->picture().operations) {
                if (const auto* line = std::get_if<veltrane::rf::Polyline>(&op)) {
                    n += line->pen.colour == veltrane::rf::Colour{130, 40, 170} &&
                         line->pen.dash == veltrane::rf::Dash::Dashed;
                }
            }
            return n;
        };
        const auto figures = [this] {
            for (const auto& op : window_->picture().operations) {
                if (const auto* t = std::get_if<veltrane::rf::Text>(&op);
                    t != nullptr && t->text.starts_with("Pinned: ")) {
                    return QString::fromStdString(t->text);
                }
            }
            return QString();
        };
        QCOMPARE(pinned_curves(), 0);
        auto* pin = window_->findChild<QPushButton*>(QStringLiteral("pin"));
        auto* unpin = window_->findChild<QPushButton*>(QStringLiteral("unpin"));
        QVERIFY(pin->isEnabled());
        QVERIFY(!unpin->isEnabled());
        const QString first = window_->results_text().section(QLatin1Char('\n'), 0, 0);
        QTest::mouseClick(pin, Qt::LeftButton);
        QCOMPARE(pinned_curves(), 2); // on the Smith chart and on the plot
        const QString pinned = figures();
        QVERIFY2(pinned.contains(QStringLiteral("RL = ")), qPrintable(pinned));
        // Another row with a model: the pin stays as it was.
        auto* table = window_->findChild<QTableWidget*>(QStringLiteral("choices"));
        for (int row = 0; row < table->rowCount(); ++row) {
            if (!table->item(row, 2)->text().isEmpty() &&
                veltrane::rf::all_choices[static_cast<std::size_t>(row)] != window_->chosen()) {
                table->setCurrentCell(row, 0);
                break;
            }
        }
        QVERIFY(window_->results_text().section(QLatin1Char('\n'), 0, 0) != first);
        QCOMPARE(pinned_curves(), 2);
        QCOMPARE(figures(), pinned);
        QVERIFY(unpin->isEnabled());
        QTest::mouseClick(unpin, Qt::LeftButton);
        QCOMPARE(pinned_curves(), 0);
        QVERIFY(figures().isEmpty());
    }

    // The read-out under the pointer: on the plot and by the data on the chart, data and model
    // with |Delta Gamma|; elsewhere on the chart the impedance there.
    void readout_at_the_pointer_data() {
        QTest::addColumn<int>("where"); // 0 the plot, 1 by the data on the chart, 2 the chart
        QTest::addColumn<QStringList>("parts");
        const QStringList both = {QStringLiteral(" GHz"), QStringLiteral("data  "),
                                  QStringLiteral("VSWR"), QStringLiteral("\nmodel  "),
                                  QStringLiteral("|\u0394\u0393| ")};
        QTest::newRow("on the plot") << 0 << both;
        QTest::newRow("by the data on the chart") << 1 << both;
        QTest::newRow("elsewhere on the chart")
            << 2 << QStringList{QStringLiteral("chart   "), QStringLiteral("VSWR")};
    }
    void readout_at_the_pointer() {
        QFETCH(int, where);
        QFETCH(QStringList, parts);
        QVERIFY(open(antenna));
        const auto& frame = window_->picture().frame;
        veltrane::rf::Point at{veltrane::rf::plot_x(frame, 2.45),
                               frame.plot_area.y + frame.plot_area.height / 2};
        if (where == 1) {
            // A point of the data's curve as the Smith chart draws it (its first polyline).
            for (const auto& op : window_->picture().operations) {
                if (const auto* line = std::get_if<veltrane::rf::Polyline>(&op);
                    line != nullptr && line->pen.colour == veltrane::rf::Colour{170, 0, 0}) {
                    at = line->points[line->points.size() / 2];
                    break;
                }
            }
        } else if (where == 2) {
            at = veltrane::rf::smith_point(frame, {-0.8, 0.1});
        }
        const QPointF p = window_->chart()->to_widget(at);
        QMouseEvent move(QEvent::MouseMove, p, window_->chart()->mapToGlobal(p), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window_->chart(), &move);
        const QString text = window_->findChild<QLabel*>(QStringLiteral("readout"))->text();
        for (const QString& part : parts) {
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" in ") + text));
        }
    }

    // At the opening size and a larger one: chart text at least 9 points, the charts filling
    // the chart's panel, the Smith chart round.
    void chart_text_and_room_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("opening size") << QSize(1200, 820);
        QTest::newRow("larger") << QSize(1600, 1000);
    }
    void chart_text_and_room() {
        QFETCH(QSize, size);
        window_->resize(size);
        QVERIFY(open(antenna));
        QTest::qWait(20);
        auto* chart = window_->chart();
        const auto& picture = window_->picture();
        const double pixel = 1 / chart->units_per_pixel();
        const double nine_points = 9.0 * chart->logicalDpiY() / 72.0;
        double smallest = 1e9;
        for (const auto& op : picture.operations) {
            if (const auto* t = std::get_if<veltrane::rf::Text>(&op)) {
                smallest = std::min(smallest, t->size * pixel);
            }
        }
        QVERIFY2(smallest >= nine_points - 1e-9, qPrintable(QString::number(smallest)));
        const auto& f = picture.frame;
        const QPointF s0 = chart->to_widget({f.smith_area.x, f.smith_area.y});
        const QPointF s1 = chart->to_widget(
            {f.smith_area.x + f.smith_area.width, f.smith_area.y + f.smith_area.height});
        const QPointF p1 = chart->to_widget(
            {f.plot_area.x + f.plot_area.width, f.plot_area.y + f.plot_area.height});
        QCOMPARE(s1.x() - s0.x(), s1.y() - s0.y()); // round
        QVERIFY2(p1.x() - s0.x() > 0.85 * chart->width(), qPrintable(QString::number(p1.x())));
        QVERIFY2(s1.y() - s0.y() > 0.6 * chart->height(), qPrintable(QString::number(s1.y())));
        // The rendered text: the tallest glyph of the plot's tick labels is at least the
        // height a 9-point digit has.
        const QImage image = chart->grab().toImage();
        const double scale = image.devicePixelRatio();
        const QPointF below = chart->to_widget({f.plot_area.x, f.plot_area.y + f.plot_area.height});
        int top = image.height();
        int bottom = -1;
        for (int y = static_cast<int>((below.y() + 6) * scale);
             y <
             std::min(image.height(), static_cast<int>((below.y() + 2.2 * nine_points) * scale));
             ++y) {
            for (int x = static_cast<int>((below.x() + 5) * scale);
                 x < static_cast<int>(p1.x() * scale); ++x) {
                if (image.pixelColor(x, y).lightness() < 100) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        const double digit_height = (bottom - top + 1) / scale;
        QVERIFY2(digit_height >= 0.6 * nine_points, qPrintable(QString::number(digit_height)));
    }

    void clicking_a_row_chooses_it() {
        QVERIFY(open(antenna));
        auto* table = window_->findChild<QTableWidget*>(QStringLiteral("choices"));
        for (int row : {1, 6}) {
            const QRect cell = table->visualRect(table->model()->index(row, 0));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            const auto choice = veltrane::rf::all_choices[static_cast<std::size_t>(row)];
            QCOMPARE(window_->chosen(), choice);
            QVERIFY(window_->results_text().startsWith(QStringLiteral("Row %1, ").arg(row + 1) +
                                                       table->item(row, 0)->text()));
            // The calculator's own texts: a message, or the ten result lines.
            QCOMPARE(window_->results_text().contains(QStringLiteral("\nF0 ")),
                     !table->item(row, 3)->text().isEmpty());
        }
    }

    void best_fit_can_be_cancelled_and_taken() {
        QVERIFY(open(antenna));
        auto* best = window_->findChild<QPushButton*>(QStringLiteral("best_fit"));
        auto* cancel = window_->findChild<QPushButton*>(QStringLiteral("cancel"));
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("best_list"));
        QSignalSpy done(window_.get(), &FitWindow::best_fit_done);

        window_->findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(true);
        QTest::mouseClick(best, Qt::LeftButton);
        QVERIFY(cancel->isEnabled());
        QVERIFY(!best->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(done.wait(20000));
        QCOMPARE(window_->message(), QStringLiteral("The search was stopped"));
        QCOMPARE(list->count(), 0);
        QVERIFY(best->isEnabled());

        window_->findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(false);
        QTest::mouseClick(best, Qt::LeftButton);
        QVERIFY(done.wait(60000));
        QCOMPARE(list->count(), 5);
        const Shown before = shown();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        // The item names the points the window took: "... \u00b7 2.1, 2.6 GHz \u00b7 ...".
        const QString item = list->item(2)->text();
        QVERIFY2(item.contains(QStringLiteral(" ") + edit("F1_ghz")->text() + QStringLiteral(", ") +
                               edit("F2_ghz")->text() + QStringLiteral(" GHz")),
                 qPrintable(item));
        QVERIFY(!(shown() == before));
    }

    // Data taken while a search runs: the search stops and the old data's models never reach
    // the list, where a click would put their points and RL on the new data.
    void a_new_file_drops_the_running_search() {
        QVERIFY(open(swept(400)));
        auto* best = window_->findChild<QPushButton*>(QStringLiteral("best_fit"));
        auto* cancel = window_->findChild<QPushButton*>(QStringLiteral("cancel"));
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("best_list"));
        QSignalSpy done(window_.get(), &FitWindow::best_fit_done);
        window_->findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(true);
        QTest::mouseClick(best, Qt::LeftButton);
        QVERIFY(!best->isEnabled());
        QVERIFY(open(sparse()));
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
        QCOMPARE(list->count(), 0);
        QVERIFY2(window_->message().isEmpty(), qPrintable(window_->message()));
        QVERIFY(best->isEnabled());
        QVERIFY(!cancel->isEnabled());

        // A search on the new data lists the new data's samples.
        window_->findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(false);
        QTest::mouseClick(best, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 20000);
        QVERIFY(list->count() > 0);
        const QRegularExpression sample(QStringLiteral(" [1-3](\\.5)?, [1-3](\\.5)? GHz "));
        for (int i = 0; i < list->count(); ++i) {
            QVERIFY2(sample.match(list->item(i)->text()).hasMatch(),
                     qPrintable(list->item(i)->text()));
        }
    }

    // Opening data shows a model without any typing: the quick best fit picks points, RL and
    // row. The ring slot at RL 50 has no model in any row without it.
    void opening_shows_a_model_data() {
        QTest::addColumn<QString>("file"); // empty: 1,601 samples of a rippled model
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("quick");
        QTest::newRow("the example file") << antenna << 1 << true;
        QTest::newRow("1,601 samples") << QString() << 1 << true;
        QTest::newRow("the ring slot, port 1") << ring_slot << 1 << true;
        QTest::newRow("the example file without the quick fit") << antenna << 1 << false;
    }
    void opening_shows_a_model() {
        QFETCH(QString, file);
        QFETCH(int, port);
        QFETCH(bool, quick);
        if (file == ring_slot && !QFileInfo::exists(file)) {
            QFAIL("scikit-rf's measured files are missing: install python3-scikit-rf");
        }
        window_->set_fit_on_open(quick);
        QElapsedTimer clock;
        clock.start();
        const QString path = file.isEmpty() ? rippled(1601) : file;
        QVERIFY(open(path, port));
        qInfo("open to model: %lld ms", static_cast<long long>(clock.elapsed()));
        // Without the quick fit RL stays the file's reference; with it RL was searched.
        QCOMPARE(window_->rl_ohm() != 50.0, quick);
        if (quick) {
            QVERIFY(window_->results_text().contains(QStringLiteral("\nF0 ")));
            QVERIFY(!table()->item(chosen_row(), 3)->text().isEmpty());
            QCOMPARE(edit("RL_ohm")->text(),
                     QString::fromStdString(veltrane::rf::readable(window_->rl_ohm(), 9)));
            QVERIFY2(window_->message().isEmpty(), qPrintable(window_->message()));
            // The quick fit's model was evaluated on its thread: the figure the window would
            // work out itself at those points and RL.
            const auto network = std::get<veltrane::rf::Network>(
                veltrane::rf::read_touchstone_file(path.toStdString()));
            const auto data =
                std::get<veltrane::rf::PortData>(veltrane::rf::port_data(network, port));
            const auto f = window_->points_ghz();
            const auto evaluation = veltrane::views::evaluate(data, f[0], f[1], window_->rl_ohm(),
                                                              data.reference_ohm, nullptr);
            const auto& row = evaluation.rows[static_cast<std::size_t>(chosen_row())];
            QVERIFY(row.data_fit.has_value());
            QCOMPARE(table()->item(chosen_row(), 3)->text(),
                     QString::fromStdString(veltrane::rf::readable(row.data_fit->max, 4)));
        }
    }

    // Cancel and quit answer at once on 300,001 samples, with RL given and searched.
    void cancel_and_quit_at_size_data() {
        QTest::addColumn<bool>("search_rl");
        QTest::newRow("RL given") << false;
        QTest::newRow("RL searched") << true;
    }
    void cancel_and_quit_at_size() {
        QFETCH(bool, search_rl);
        QVERIFY(open(large()));
        auto* best = window_->findChild<QPushButton*>(QStringLiteral("best_fit"));
        auto* cancel = window_->findChild<QPushButton*>(QStringLiteral("cancel"));
        window_->findChild<QCheckBox*>(QStringLiteral("search_rl"))->setChecked(search_rl);
        QSignalSpy done(window_.get(), &FitWindow::best_fit_done);
        int cancelled = 0;
        for (const int after_ms : {150, 300, 600}) { // early and later in the search
            QTest::mouseClick(best, Qt::LeftButton);
            QTest::qWait(after_ms);
            if (!done.isEmpty()) { // the search ended on its own first: nothing to cancel
                done.clear();
                continue;
            }
            ++cancelled;
            QElapsedTimer clock;
            clock.start();
            QTest::mouseClick(cancel, Qt::LeftButton);
            QVERIFY(done.wait(5000));
            const qint64 latency = clock.elapsed();
            qInfo("cancel after %d ms: %lld ms", after_ms, static_cast<long long>(latency));
            QVERIFY2(latency < 1000 * time_scale, qPrintable(QString::number(latency)));
            QCOMPARE(window_->message(), QStringLiteral("The search was stopped"));
            done.clear();
        }
        QVERIFY(cancelled > 0);
        // File > Quit with a search running: the window goes at once, the search right after.
        QTest::mouseClick(best, Qt::LeftButton);
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        QAction* quit = nullptr;
        for (QAction* action : window_->findChildren<QAction*>()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Quit)) {
                quit = action;
            }
        }
        QVERIFY(quit != nullptr);
        quit->trigger();
        window_.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(1000 * time_scale));
        qInfo("quit: %lld ms", static_cast<long long>(clock.elapsed()));
    }

    // The RL slider: logarithmic over the range the chosen topology accepts, stepped by the
    // keys, the field typed; the range stays shown.
    void rl_slider_and_field_data() {
        QTest::addColumn<int>("key"); // 0: "75" typed in the field
        QTest::addColumn<int>("steps");
        QTest::newRow("right arrow") << static_cast<int>(Qt::Key_Right) << 1;
        QTest::newRow("left arrow") << static_cast<int>(Qt::Key_Left) << -1;
        QTest::newRow("up arrow") << static_cast<int>(Qt::Key_Up) << 1;
        QTest::newRow("page up") << static_cast<int>(Qt::Key_PageUp) << 100;
        QTest::newRow("page down") << static_cast<int>(Qt::Key_PageDown) << -100;
        QTest::newRow("typed") << 0 << 0;
    }
    void rl_slider_and_field() {
        QFETCH(int, key);
        QFETCH(int, steps);
        QVERIFY(open(antenna));
        auto* slider = window_->findChild<QSlider*>(QStringLiteral("RL_slider"));
        auto* range = window_->findChild<QLabel*>(QStringLiteral("RL_range"));
        QVERIFY(slider->maximum() - slider->minimum() >= 1000);
        // The scale worked out apart from the window, from the data at the points.
        auto network = veltrane::rf::read_touchstone_file(antenna.toStdString());
        const auto data = std::get<veltrane::rf::PortData>(
            veltrane::rf::port_data(std::get<veltrane::rf::Network>(network), 1));
        std::array<veltrane::views::DataPoint, 2> p;
        for (std::size_t k = 0; k < 2; ++k) {
            p[k] = std::get<veltrane::views::DataPoint>(
                veltrane::rf::impedance_at(data, window_->points_ghz()[k], "F"));
        }
        const auto scale = veltrane::views::rl_scale(window_->chosen().topology, p[0], p[1]);
        QVERIFY(scale.has_value());
        slider->setValue(slider->maximum() / 2);
        const int from = slider->value();
        if (key == 0) {
            type(edit("RL_ohm"), QStringLiteral("75"));
            QCOMPARE(window_->rl_ohm(), 75.0);
            QCOMPARE(slider->value(),
                     static_cast<int>(std::lround(veltrane::views::rl_position(*scale, 75) *
                                                  slider->maximum())));
        } else {
            slider->setFocus();
            QTest::keyClick(slider, static_cast<Qt::Key>(key));
            QCOMPARE(slider->value(), from + steps);
            const double want = veltrane::views::rl_at(*scale, static_cast<double>(from + steps) /
                                                                   slider->maximum());
            QVERIFY2(std::abs(window_->rl_ohm() / want - 1) < 1e-12,
                     qPrintable(QString::number(window_->rl_ohm())));
            QCOMPARE(edit("RL_ohm")->text(),
                     QString::fromStdString(veltrane::rf::readable(window_->rl_ohm(), 9)));
        }
        QCOMPARE(range->text(), QString::fromStdString(scale->text));
    }

    // Every row says in a word what is wrong with its model, and the results and the chart
    // title say which row the model drawn is.
    void rows_are_marked_and_the_model_names_its_row() {
        window_->set_fit_on_open(false);
        QVERIFY(open(antenna));
        auto network = veltrane::rf::read_touchstone_file(antenna.toStdString());
        const auto data = std::get<veltrane::rf::PortData>(
            veltrane::rf::port_data(std::get<veltrane::rf::Network>(network), 1));
        const auto f = window_->points_ghz();
        const auto evaluation = veltrane::views::evaluate(data, f[0], f[1], 50, 50);
        int marked = 0;
        for (int r = 0; r < 8; ++r) {
            const auto& row = evaluation.rows[static_cast<std::size_t>(r)];
            const QString mark = QString::fromStdString(veltrane::views::row_mark(row));
            marked += mark.isEmpty() ? 0 : 1;
            QCOMPARE(table()->item(r, 2)->text(), mark);
            const QRect cell = table()->visualRect(table()->model()->index(r, 0));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
            const QString name =
                QStringLiteral("Row %1, ").arg(r + 1) + table()->item(r, 0)->text();
            const QString heading = window_->results_text().section(QLatin1Char('\n'), 0, 0);
            QVERIFY2(heading.startsWith(name), qPrintable(heading));
            QCOMPARE(heading.endsWith(QStringLiteral(": ") + mark), !mark.isEmpty());
            if (!std::holds_alternative<veltrane::Result>(row.outcome)) {
                continue;
            }
            // The title names the row; the mark follows it, in red.
            bool titled = false;
            bool noted = mark.isEmpty();
            for (const auto& op : window_->picture().operations) {
                if (const auto* t = std::get_if<veltrane::rf::Text>(&op)) {
                    const QString text = QString::fromStdString(t->text);
                    titled = titled || text.startsWith(name);
                    noted =
                        noted || (text.trimmed() == mark && t->colour.r > 150 && t->colour.g < 60);
                }
            }
            QVERIFY2(titled, qPrintable(name));
            QVERIFY2(noted, qPrintable(mark));
        }
        QVERIFY(marked > 0); // the example has marked rows: the column is not always empty
    }

    // One figure with one label in the table and the list; the list marks the entry shown and
    // no other, and undo brings it back.
    void best_fit_list_follows_the_model() {
        QVERIFY(open(antenna));
        QVERIFY(run_best_fit());
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("best_list"));
        QVERIFY(list->count() > 2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(2)).center());
        QCOMPARE(list->currentRow(), 2);
        const QString label = table()->horizontalHeaderItem(3)->text();
        QVERIFY(label.contains(QStringLiteral("|\u0394\u0393|")));
        QVERIFY2(list->item(2)->text().startsWith(label + QStringLiteral(" ") +
                                                  table()->item(chosen_row(), 3)->text() +
                                                  QStringLiteral(" \u00b7 ")),
                 qPrintable(list->item(2)->text()));
        type(edit("RL_ohm"), QStringLiteral("60"));
        QCOMPARE(list->selectedItems().size(), 0);
        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(list->selectedItems().size(), 1);
        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(window_->rl_ohm(), 60.0);
        QCOMPARE(list->selectedItems().size(), 0);
    }

    // Ctrl+Z and Ctrl+Shift+Z over each kind of change to the model.
    void undo_and_redo_data() {
        QTest::addColumn<QString>("change");
        for (const char* change :
             {"F1 typed", "RL typed", "row clicked", "slider stepped", "marker stepped"}) {
            QTest::newRow(change) << QString::fromLatin1(change);
        }
    }
    void undo_and_redo() {
        QFETCH(QString, change);
        window_->set_fit_on_open(false);
        QVERIFY(open(sparse()));
        const Shown before = shown();
        if (change == QStringLiteral("F1 typed")) {
            type(edit("F1_ghz"), QStringLiteral("1.5"));
        } else if (change == QStringLiteral("RL typed")) {
            type(edit("RL_ohm"), QStringLiteral("20"));
        } else if (change == QStringLiteral("row clicked")) {
            const int r = (chosen_row() + 3) % 8;
            const QRect cell = table()->visualRect(table()->model()->index(r, 0));
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
        } else if (change == QStringLiteral("slider stepped")) {
            auto* slider = window_->findChild<QSlider*>(QStringLiteral("RL_slider"));
            slider->setFocus();
            QTest::keyClick(slider, Qt::Key_PageUp);
        } else {
            window_->chart()->setFocus();
            QTest::keyClick(window_->chart(), Qt::Key_Right);
        }
        const Shown after = shown();
        QVERIFY(!(after == before));
        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(shown() == before);
        QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(shown() == after);
        QCOMPARE(edit("F1_ghz")->text().toDouble(), after.f_ghz[0]);
    }

    // Copy results: plain ASCII for a parser, GHz beside the calculator's MHz.
    void copy_results_is_plain_ascii() {
        QVERIFY(open(antenna));
        QAction* copy = nullptr;
        for (QAction* action : window_->findChildren<QAction*>()) {
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)) {
                copy = action;
            }
        }
        QVERIFY(copy != nullptr);
        copy->trigger();
        const QString text = QGuiApplication::clipboard()->text();
        QCOMPARE(text, window_->results_text());
        for (const QChar c : text) {
            QVERIFY2(c.unicode() < 128, qPrintable(QString(c)));
        }
        QVERIFY(text.contains(QStringLiteral(" ohm")));
        QVERIFY(text.contains(
            QRegularExpression(QStringLiteral("\nFH [0-9.]+ MHz \\([0-9.]+ GHz\\)"))));
    }

    void exports_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("series"); // standard values chosen, or empty
        QTest::newRow("Touchstone")
            << static_cast<int>(Export::Touchstone) << QStringLiteral("m.s1p") << QString();
        QTest::newRow("SPICE") << static_cast<int>(Export::Spice) << QStringLiteral("m.cir")
                               << QString();
        QTest::newRow("SVG") << static_cast<int>(Export::Svg) << QStringLiteral("m.svg")
                             << QString();
        QTest::newRow("PNG") << static_cast<int>(Export::Png) << QStringLiteral("m.png")
                             << QString();
        QTest::newRow("SPICE with E24 values")
            << static_cast<int>(Export::Spice) << QStringLiteral("e24.cir")
            << QStringLiteral("E24");
        QTest::newRow("report") << static_cast<int>(Export::Report) << QStringLiteral("Model.prt")
                                << QString();
    }
    void exports() {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QString, series);
        QVERIFY(open(antenna));
        if (!series.isEmpty()) {
            window_->findChild<QComboBox*>(QStringLiteral("standard_values"))
                ->setCurrentText(series);
        }
        const auto path = *dir_ / name.toStdString();
        const auto failed = window_->export_to(static_cast<Export>(kind), path_of(path));
        QVERIFY2(!failed, qPrintable(failed.value_or(QString())));
        const std::string bytes = veltrane::testing::read_bytes(path);
        switch (static_cast<Export>(kind)) {
        case Export::Touchstone: {
            // The model passes through the data at F1 and F2: the file reads back with the
            // measured reflection there.
            auto network = veltrane::rf::read_touchstone(bytes, "m.s1p");
            QVERIFY(std::holds_alternative<veltrane::rf::Network>(network));
            auto model = std::get<veltrane::rf::PortData>(
                veltrane::rf::port_data(std::get<veltrane::rf::Network>(network), 1));
            auto data = std::get<veltrane::rf::PortData>(veltrane::rf::port_data(
                std::get<veltrane::rf::Network>(
                    veltrane::rf::read_touchstone_file(antenna.toStdString())),
                1));
            QCOMPARE(model.f_ghz, data.f_ghz);
            for (double f : window_->points_ghz()) {
                const auto i = static_cast<std::size_t>(
                    std::find(data.f_ghz.begin(), data.f_ghz.end(), f) - data.f_ghz.begin());
                QVERIFY(i < data.f_ghz.size());
                QVERIFY(std::abs(model.s[i] - data.s[i]) < 1e-9);
            }
            break;
        }
        case Export::Spice:
            QVERIFY(bytes.find(".subckt veltrane_model port ground") != std::string::npos);
            QCOMPARE(bytes.find(" series in place of the calculated elements") != std::string::npos,
                     !series.isEmpty());
            if (!series.isEmpty()) {
                QVERIFY(window_->results_text().contains(series + QStringLiteral(" values: Ls ")));
            }
            break;
        case Export::Svg:
            QVERIFY(bytes.find("<svg") != std::string::npos);
            QVERIFY(bytes.find("antenna.s1p") != std::string::npos);
            break;
        case Export::Png: {
            const QImage image = QImage::fromData(
                QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), "PNG");
            QCOMPARE(image.size(), QSize(2000, 1200)); // the print size, 1000 x 600, twice
            break;
        }
        case Export::Report:
            QCOMPARE(std::count(bytes.begin(), bytes.end(), '\n'), 18);
            QCOMPARE(std::count(bytes.begin(), bytes.end(), '\r'), 18);
            break;
        }
    }

    void export_failure_is_reported() {
        QVERIFY(open(antenna));
        const auto failed =
            window_->export_to(Export::Svg, path_of(*dir_ / "no such folder" / "m.svg"));
        QVERIFY(failed && failed->startsWith(QStringLiteral("Cannot write")));
    }

    // A picture as PNG at twice its size, or nothing (never an empty file) when it cannot be.
    void png_of_a_picture_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<QSize>("size"); // invalid: refused
        QTest::newRow("a picture") << 10.0 << 6.0 << QSize(20, 12);
        QTest::newRow("no width") << 0.0 << 6.0 << QSize();
        QTest::newRow("height not a number")
            << 10.0 << std::numeric_limits<double>::quiet_NaN() << QSize();
        QTest::newRow("too large to hold") << 1e6 << 1e6 << QSize();
    }
    void png_of_a_picture() {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(QSize, size);
        veltrane::rf::Picture picture;
        picture.width = width;
        picture.height = height;
        const auto png = veltrane::fit::png_bytes(picture, 2);
        QCOMPARE(png.has_value(), size.isValid());
        if (png) {
            QCOMPARE(QImage::fromData(*png, "PNG").size(), size);
        }
    }

    // The window as a person sees it with the best model taken, kept for a look under
    // build/screenshots; the chart must show the data (red) and the F1 marker (orange).
    void looks_right() {
        QVERIFY(open(antenna));
        // RL as the file opens: a search over RL as well takes minutes under the sanitizers.
        QVERIFY(run_best_fit());
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("best_list"));
        QVERIFY(list->count() > 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        // The read-out under the pointer on the return-loss plot.
        const auto& frame = window_->picture().frame;
        const QPointF at = window_->chart()->to_widget(
            {veltrane::rf::plot_x(frame, 2.45), frame.plot_area.y + frame.plot_area.height / 2});
        QMouseEvent move(QEvent::MouseMove, at, window_->chart()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window_->chart(), &move);
        const auto* readout = window_->findChild<QLabel*>(QStringLiteral("readout"));
        QVERIFY2(readout->text().contains(QStringLiteral(" GHz")) &&
                     readout->text().contains(QStringLiteral(" dB")),
                 qPrintable(readout->text()));
        QTest::qWait(50);
        const QImage image = window_->grab().toImage();
        QDir().mkpath(QStringLiteral(VELTRANE_SCREENSHOT_DIR));
        const double scale = window_->devicePixelRatioF();
        image.save(QStringLiteral(VELTRANE_SCREENSHOT_DIR "/fit_window") +
                   (scale > 1 ? QStringLiteral("_x2") : QString()) + QStringLiteral(".png"));
        const QImage chart = window_->chart()->grab().toImage();
        bool red = false;
        bool orange = false;
        for (int y = 0; y < chart.height(); ++y) {
            for (int x = 0; x < chart.width(); ++x) {
                const QColor c = chart.pixelColor(x, y);
                red = red || (c.red() > 150 && c.green() < 30 && c.blue() < 30);
                orange =
                    orange || (c.red() > 190 && c.green() > 80 && c.green() < 110 && c.blue() < 20);
            }
        }
        QVERIFY(red);
        QVERIFY(orange);
        // The same with the model pinned, another row chosen and the plot zoomed into a box.
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("pin")), Qt::LeftButton);
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {},
            list->visualItemRect(list->item(std::min(2, list->count() - 1))).center());
        const auto& a = window_->picture().frame.plot_area;
        drag({a.x + 0.2 * a.width, a.y + 0.05 * a.height},
             {a.x + 0.75 * a.width, a.y + 0.95 * a.height});
        QVERIFY(window_->zoom().f_ghz.has_value());
        QTest::qWait(50);
        window_->grab().toImage().save(QStringLiteral(VELTRANE_SCREENSHOT_DIR "/fit_window_zoom") +
                                       (scale > 1 ? QStringLiteral("_x2") : QString()) +
                                       QStringLiteral(".png"));
    }

    // Files that never end or never answer: the window never waits on a read. A newer file is
    // taken at once and the window answers a key meanwhile; closing it does not wait either.
    void hostile_opens_data() {
        QTest::addColumn<QString>("kind");
#ifndef _WIN32
        QTest::newRow("a pipe whose writer never writes") << QStringLiteral("pipe");
        QTest::newRow("an endless device") << QStringLiteral("/dev/zero");
#endif
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("no such file") << QStringLiteral("missing");
    }
    void hostile_opens() {
        QFETCH(QString, kind);
        window_->set_fit_on_open(false);
        QString path = kind;
        int writer = -1; // keeps the pipe open for writing, never writing
        if (kind == QStringLiteral("pipe")) {
#ifndef _WIN32
            const auto fifo = *dir_ / "silent.s1p";
            QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
            writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            QVERIFY(writer >= 0);
            path = path_of(fifo);
#endif
        } else if (kind == QStringLiteral("folder")) {
            path = path_of(dir_->path());
        } else if (kind == QStringLiteral("missing")) {
            path = path_of(*dir_ / "missing.s1p");
        }
        const auto close_writer = qScopeGuard([writer] {
#ifndef _WIN32
            if (writer >= 0) {
                ::close(writer); // the abandoned read ends
            }
#endif
        });
        const auto f1 = edit("F1_ghz");
        for (int round = 0; round < 2; ++round) {
            QSignalSpy loaded(window_.get(), &FitWindow::loaded);
            window_->open_file(path);
            QTest::qWait(20); // the read is under way
            QElapsedTimer answered;
            answered.start();
            window_->open_file(antenna); // the newer request wins at once
            f1->setFocus();
            f1->selectAll();
            QTest::keyClick(f1, Qt::Key_2);
            QCOMPARE(f1->text(), QStringLiteral("2"));
            QVERIFY2(answered.elapsed() < 100 * time_scale,
                     qPrintable(QString::number(answered.elapsed())));
            QVERIFY(loaded.wait(10000));
            QVERIFY(window_->windowTitle().startsWith(QStringLiteral("antenna.s1p")));
        }
        // Closing while the hostile read runs ends the window at once, and leaves nothing that
        // the end of the program waits for (it waits for the shared pool's threads).
        window_->open_file(path);
        QTest::qWait(20);
        QElapsedTimer closing;
        closing.start();
        window_->close();
        window_.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(100 * time_scale));
        // 100 ms on an idle machine; the bound leaves room for a busy one, not for a wait.
        QVERIFY2(closing.elapsed() < 1000 * time_scale,
                 qPrintable(QString::number(closing.elapsed())));
    }

    // A damaged settings file: a recent list of any length is trimmed as it is read, keys the
    // window does not know are not saved again, and settings that cannot be saved are told.
    void damaged_settings_data() {
        QTest::addColumn<bool>("unsaveable");
        QTest::newRow("a huge recent list and a foreign key") << false;
        QTest::newRow("the settings file cannot be written") << true;
    }
    void damaged_settings() {
        QFETCH(bool, unsaveable);
        window_.reset();
        QStringList recent;
        for (int i = 0; i < 100000; ++i) {
            recent.append(QStringLiteral("/data/file%1.s1p").arg(i % 50000));
        }
        recent.insert(3, QString());
        recent.insert(4, QStringLiteral("relative.s1p"));
        QString file;
        {
            QSettings settings;
            settings.setValue(QStringLiteral("recent"), recent);
            settings.setValue(QStringLiteral("foreign/key"), QStringLiteral("kept forever"));
            settings.sync();
            file = settings.fileName();
        }
        const auto restore = qScopeGuard([file] {
            QDir(file).removeRecursively();
            QFile::remove(file);
        });
        QElapsedTimer shown;
        shown.start();
        window_ = std::make_unique<FitWindow>();
        window_->show();
        QVERIFY2(shown.elapsed() < 5000, qPrintable(QString::number(shown.elapsed())));
        QMenu* menu = nullptr;
        for (QMenu* m : window_->findChildren<QMenu*>()) {
            if (m->title() == QStringLiteral("Open &recent")) {
                menu = m;
            }
        }
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 8);
        QCOMPARE(menu->actions().at(3)->toolTip(), QStringLiteral("/data/file3.s1p"));
        if (unsaveable) {
            QVERIFY(QFile::remove(file));
            QVERIFY(QDir().mkpath(file)); // a folder where the file should be
        }
        window_->close();
        if (unsaveable) {
            QVERIFY2(window_->statusBar()->currentMessage().startsWith(
                         QStringLiteral("Cannot save the settings")),
                     qPrintable(window_->statusBar()->currentMessage()));
            return;
        }
        QVERIFY2(!window_->statusBar()->currentMessage().startsWith(
                     QStringLiteral("Cannot save the settings")),
                 qPrintable(window_->statusBar()->currentMessage()));
        QSettings settings;
        QVERIFY(!settings.contains(QStringLiteral("foreign/key")));
        QCOMPARE(settings.value(QStringLiteral("recent")).toStringList().size(), 8);
    }
};

QTEST_MAIN(FitWindowTest)
#include "fit_window_test.moc"
