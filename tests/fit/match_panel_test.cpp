// The Match panel of the measured-data window as a user drives it: the band set by dragging its
// edges, a design, Cancel, a second design or a new file while one runs, choosing a size,
// standard values, the yield, the exports and the settings kept. Offscreen; one window per test.

#include "fit/chart_view.h"
#include "fit/fit_window.h"
#include "fit/match_panel.h"
#include "match/design.h"
#include "match/match_files.h"
#include "match/parts.h"
#include "rf/e_series.h"
#include "rf/numbers.h"
#include "rf/touchstone.h"
#include "support/chart_drag.h"
#include "support/test_support.h"
#include "views/match_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <memory>

using veltrane::fit::FitWindow;
using veltrane::fit::MatchExport;
using veltrane::fit::MatchPanel;
using veltrane::testing::TempDir;
namespace match = veltrane::match;
namespace rf = veltrane::rf;
namespace views = veltrane::views;

namespace {

const QString antenna = QStringLiteral(VELTRANE_EXAMPLES_DIR "/antenna.s1p");

rf::PortData antenna_data() {
    auto read = rf::read_touchstone_file(antenna.toStdString());
    return std::get<rf::PortData>(rf::port_data(std::get<rf::Network>(read), 1));
}

} // namespace

class MatchPanelTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<FitWindow> window_;
    std::unique_ptr<TempDir> dir_;

    MatchPanel* panel() const { return window_->findChild<MatchPanel*>(); }
    template <class T> T* find(const char* name) const {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }

    bool open(const QString& path) {
        QSignalSpy loaded(window_.get(), &FitWindow::loaded);
        window_->open_file(path, 1);
        return loaded.wait(10000);
    }

    void type(const char* name, const QString& text) {
        QLineEdit* edit = find<QLineEdit>(name);
        edit->setText(text);
        emit edit->editingFinished();
    }

    // Types the band and N, presses Design and waits for the networks.
    bool design(int elements, const QString& fl = QStringLiteral("2.2"),
                const QString& fh = QStringLiteral("2.7")) {
        type("match_fl_ghz", fl);
        type("match_fh_ghz", fh);
        find<QSpinBox>("match_elements")->setValue(elements);
        QSignalSpy done(panel(), &MatchPanel::design_done);
        QTest::mouseClick(find<QPushButton>("match_design"), Qt::LeftButton);
        return done.wait(120000);
    }

    bool parts_after(const std::function<void()>& change) {
        QSignalSpy done(panel(), &MatchPanel::parts_done);
        change();
        return done.wait(60000);
    }

    void drag(rf::Point from, rf::Point to) {
        veltrane::testing::drag_on_chart(window_->chart(), from, to);
    }

  private slots:
    void init() {
        QSettings().clear(); // each test starts from the panel's defaults
        dir_ = std::make_unique<TempDir>();
        window_ = std::make_unique<FitWindow>();
        window_->resize(1500, 900);
        find<QAction>("show_match")->setChecked(true);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() {
        window_.reset();
        dir_.reset();
    }

    void dragging_a_band_edge_data() {
        QTest::addColumn<bool>("high");
        QTest::addColumn<double>("to_ghz");
        QTest::addColumn<double>("expected_ghz");
        QTest::addColumn<double>("fh_ghz");
        QTest::newRow("FH to 3.1 GHz") << true << 3.1 << 3.1 << 3.0;
        QTest::newRow("FL to 1.8 GHz") << false << 1.8 << 1.8 << 3.0;
        QTest::newRow("FH beyond the data") << true << 9.0 << 3.5 << 3.0;
        QTest::newRow("FL past FH stops below it") << false << 3.4 << 2.99 << 3.0;
        // FH on the F2 marker (2.84 GHz): the edge is taken, the marker stays.
        QTest::newRow("FH on F2 to 3.1 GHz") << true << 3.1 << 3.1 << 2.84;
    }
    void dragging_a_band_edge() {
        QFETCH(bool, high);
        QFETCH(double, to_ghz);
        QFETCH(double, expected_ghz);
        QFETCH(double, fh_ghz);
        QVERIFY(open(antenna));
        type("match_fl_ghz", QStringLiteral("2.3"));
        type("match_fh_ghz", QString::number(fh_ghz));
        const match::Band before = panel()->band();
        QCOMPARE(before.fh_ghz, fh_ghz);
        const rf::ChartFrame frame = window_->picture().frame;
        const double y = frame.plot_area.y + frame.plot_area.height * 0.3;
        const double from = high ? before.fh_ghz : before.fl_ghz;
        // Beyond the data: past the plot's right edge.
        const double to_x = to_ghz > frame.f_hi_ghz ? frame.plot_area.x + frame.plot_area.width + 30
                                                    : rf::plot_x(frame, to_ghz);
        drag({rf::plot_x(frame, from), y}, {to_x, y});
        const match::Band after = panel()->band();
        // Within a pixel or two of where the pointer let go.
        const double tolerance = 3 * window_->chart()->units_per_pixel() *
                                 (frame.f_hi_ghz - frame.f_lo_ghz) / frame.plot_area.width;
        const double moved = high ? after.fh_ghz : after.fl_ghz;
        QVERIFY2(std::fabs(moved - expected_ghz) <= std::max(tolerance, 0.011),
                 qPrintable(QString::number(moved)));
        QCOMPARE(high ? after.fl_ghz : after.fh_ghz, high ? before.fl_ghz : before.fh_ghz);
        QCOMPARE(find<QLineEdit>(high ? "match_fh_ghz" : "match_fl_ghz")->text(),
                 QString::number(moved, 'g', 6));
        // The chart shades the new band.
        bool shaded = false;
        for (const rf::Operation& op : window_->picture().operations) {
            if (const auto* r = std::get_if<rf::FilledRect>(&op);
                r && r->fill == rf::Colour{222, 240, 226}) {
                shaded =
                    shaded ||
                    (std::fabs(r->rect.x - rf::plot_x(frame, after.fl_ghz)) < 1e-9 &&
                     std::fabs(r->rect.x + r->rect.width - rf::plot_x(frame, after.fh_ghz)) < 1e-9);
            }
        }
        QVERIFY(shaded);
        // The F1 and F2 markers stayed where they were.
        QCOMPARE(window_->points_ghz()[0], 2.17);
        QCOMPARE(window_->points_ghz()[1], 2.84);
    }

    void design_and_choose_a_size() {
        QVERIFY(open(antenna));
        QVERIFY(design(3));
        const auto& networks = panel()->networks();
        QCOMPARE(networks.size(), std::size_t{3});
        auto* list = find<QListWidget>("match_sizes");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->currentRow(), 2); // the largest is chosen first
        for (std::size_t k = 0; k < networks.size(); ++k) {
            QCOMPARE(networks[k].ladder.size(), k + 1);
            if (k > 0) { // a larger size is never worse
                QVERIFY(networks[k].figures.worst_gamma <=
                        networks[k - 1].figures.worst_gamma + 1e-9);
            }
        }
        // Choosing one size: its schematic, its figures over the band, its curve on the charts.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        const auto figures = panel()->chosen_figures();
        QVERIFY(figures.has_value());
        QCOMPARE(figures->worst_gamma, networks[0].figures.worst_gamma);
        int labels = 0;
        for (const rf::Operation& op : panel()->schematic_picture().operations) {
            if (const auto* t = std::get_if<rf::Text>(&op)) {
                labels += t->text.rfind("L1 ", 0) == 0 || t->text.rfind("C1 ", 0) == 0;
                QVERIFY(t->text.rfind("L2 ", 0) != 0 && t->text.rfind("C2 ", 0) != 0);
            }
        }
        QCOMPARE(labels, 1);
        int curves = 0;
        bool path = false;
        for (const rf::Operation& op : window_->picture().operations) {
            if (const auto* line = std::get_if<rf::Polyline>(&op)) {
                curves += line->pen.colour == rf::Colour{0, 125, 125}; // the matched curve
            } else if (const auto* t = std::get_if<rf::Text>(&op)) {
                path = path || t->text == "element path at 2.437 GHz";
            }
        }
        QVERIFY(path); // at the band's centre
        QCOMPARE(curves, 2);
        QVERIFY(window_->results_text().contains(QStringLiteral("Matching network: source 50")));
        const auto* designed = find<QLabel>("match_designed");
        QVERIFY(!designed->text().contains(QStringLiteral("moved")));
        // Moving the band re-evaluates the chosen network there, without a new design; the
        // sizes are marked as designed over the old band.
        type("match_fh_ghz", QStringLiteral("3.2"));
        QVERIFY(
            designed->text().contains(QStringLiteral("over 2.2 to 2.7 GHz: the band has moved")));
        QCOMPARE(panel()->networks().size(), std::size_t{3});
        const rf::PortData data = antenna_data();
        const auto again =
            match::evaluate(networks[0].ladder, views::band_load(data, 2.2, 3.2), 50, {});
        QCOMPARE(panel()->chosen_figures()->worst_gamma, again.worst_gamma);
    }

    void a_design_stopped_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << QStringLiteral("cancel");
        QTest::newRow("a second Design") << QStringLiteral("second");
        QTest::newRow("a new file") << QStringLiteral("file");
    }
    void a_design_stopped() {
        QFETCH(QString, how);
        QVERIFY(open(antenna));
        type("match_fl_ghz", QStringLiteral("1.6"));
        type("match_fh_ghz", QStringLiteral("3.4"));
        // Long enough to stop, short enough that a design not stopped would land in the wait.
        const bool file = how == QStringLiteral("file");
        find<QSpinBox>("match_elements")->setValue(file ? 5 : 8);
        QSignalSpy done(panel(), &MatchPanel::design_done);
        QTest::mouseClick(find<QPushButton>("match_design"), Qt::LeftButton);
        QTest::qWait(100);
        if (how == QStringLiteral("cancel")) {
            QTest::mouseClick(find<QPushButton>("match_cancel"), Qt::LeftButton);
            QVERIFY(done.wait(20000));
            QVERIFY(panel()->networks().size() < 8);
            QVERIFY(panel()->message().startsWith(QStringLiteral("Stopped")));
            QVERIFY(!find<QPushButton>("match_cancel")->isEnabled());
        } else if (how == QStringLiteral("second")) {
            QVERIFY(design(2));
            QTest::qWait(300); // the first, stopped, must not arrive after
            QCOMPARE(panel()->networks().size(), std::size_t{2});
            QCOMPARE(done.count(), 1);
        } else {
            QVERIFY(open(antenna));
            QVERIFY(!done.wait(8000));
            QVERIFY(panel()->networks().empty());
            QCOMPARE(find<QListWidget>("match_sizes")->count(), 0);
        }
    }

    void standard_values_data() {
        QTest::addColumn<int>("series");
        QTest::newRow("E6") << static_cast<int>(rf::ESeries::E6);
        QTest::newRow("E24") << static_cast<int>(rf::ESeries::E24);
    }
    void standard_values() {
        QFETCH(int, series);
        QVERIFY(open(antenna));
        type("match_tolerance", QStringLiteral("0"));
        QVERIFY(design(3));
        auto* box = find<QComboBox>("match_series");
        QVERIFY(parts_after([&] { box->setCurrentIndex(box->findData(series)); }));
        const auto& standard = panel()->standard();
        QVERIFY(standard.has_value());
        QCOMPARE(standard->ladder.size(), std::size_t{3});
        for (const match::Element& e : standard->ladder) {
            QCOMPARE(rf::nearest_standard_value(e.value, static_cast<rf::ESeries>(series)),
                     e.value);
        }
        QVERIFY(find<QLabel>("match_chosen")->text().startsWith(box->currentText()));
        QVERIFY(window_->results_text().contains(box->currentText() + QStringLiteral(": ")));
    }

    void yield_data() {
        QTest::addColumn<QString>("tolerance");
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("target");
        QTest::newRow("2 %, nominal less 1 dB") << QStringLiteral("2") << 300 << QString();
        QTest::newRow("10 %, 6 dB") << QStringLiteral("10") << 200 << QStringLiteral("6");
    }
    void yield() {
        QFETCH(QString, tolerance);
        QFETCH(int, runs);
        QFETCH(QString, target);
        QVERIFY(open(antenna));
        QVERIFY(design(2));
        find<QSpinBox>("match_runs")->setValue(runs);
        type("match_target_db", target);
        QVERIFY(parts_after([&] { type("match_tolerance", tolerance); }));
        const views::Histogram& h = panel()->histogram();
        QCOMPARE(h.runs, static_cast<long>(runs));
        long counted = 0;
        for (long c : h.counts) {
            counted += c;
        }
        QCOMPARE(counted, static_cast<long>(runs));
        const match::Design& chosen = panel()->networks().back();
        const double goal = target.isEmpty() ? chosen.figures.worst_rl_db - 1 : target.toDouble();
        QCOMPARE(h.target_rl_db, goal);
        const match::YieldFigures expected =
            match::network_yield(chosen.ladder, views::band_load(antenna_data(), 2.2, 2.7), 50, {},
                                 tolerance.toDouble(), runs, goal);
        QCOMPARE(h.share, expected.share);
        QVERIFY(window_->results_text().contains(QStringLiteral("Yield: parts within")));
    }

    void exports_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("network .s2p")
            << static_cast<int>(MatchExport::NetworkTouchstone) << QStringLiteral("match.s2p");
        QTest::newRow("SPICE") << static_cast<int>(MatchExport::NetworkSpice)
                               << QStringLiteral("match.cir");
        QTest::newRow("matched .s1p")
            << static_cast<int>(MatchExport::MatchedTouchstone) << QStringLiteral("matched.s1p");
        QTest::newRow("SVG") << static_cast<int>(MatchExport::Svg) << QStringLiteral("match.svg");
        QTest::newRow("PNG") << static_cast<int>(MatchExport::Png) << QStringLiteral("match.png");
    }
    void exports() {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QVERIFY(open(antenna));
        const auto path = *dir_ / name.toStdString();
        const QString qpath = QString::fromStdString(path.string());
        // Nothing to export before a design.
        QVERIFY(panel()->export_to(static_cast<MatchExport>(kind), qpath).has_value());
        QVERIFY(!std::filesystem::exists(path));
        QVERIFY(design(2));
        const auto failed = panel()->export_to(static_cast<MatchExport>(kind), qpath);
        QVERIFY2(!failed, failed ? qPrintable(*failed) : "");
        const std::string bytes = veltrane::testing::read_bytes(path);
        const match::Design& chosen = panel()->networks().back();
        const bool image = static_cast<MatchExport>(kind) == MatchExport::Png;
        QCOMPARE(bytes.find("written by veltrane-fit") != std::string::npos,
                 !image && static_cast<MatchExport>(kind) != MatchExport::Svg);
        switch (static_cast<MatchExport>(kind)) {
        case MatchExport::NetworkTouchstone:
        case MatchExport::MatchedTouchstone: {
            auto read = rf::read_touchstone_file(path.string());
            QVERIFY(std::holds_alternative<rf::Network>(read));
            const auto& network = std::get<rf::Network>(read);
            const bool two = static_cast<MatchExport>(kind) == MatchExport::NetworkTouchstone;
            QCOMPARE(network.ports, two ? 2 : 1);
            auto port = std::get<rf::PortData>(rf::port_data(network, 1));
            QCOMPARE(port.f_ghz.size(), std::size_t{201});
            if (!two) {
                // The matched input reproduces the worst in-band |Gamma| the list shows.
                double worst = 0;
                for (std::size_t i = 0; i < port.f_ghz.size(); ++i) {
                    if (port.f_ghz[i] >= 2.2 && port.f_ghz[i] <= 2.7) {
                        worst = std::max(worst, std::abs(port.s[i]));
                    }
                }
                QVERIFY(std::fabs(worst - chosen.figures.worst_gamma) < 1e-9);
            }
            break;
        }
        case MatchExport::NetworkSpice:
            QVERIFY(bytes.find(".subckt veltrane_match source load ground") != std::string::npos);
            break;
        case MatchExport::Svg:
            QVERIFY(bytes.rfind("<?xml", 0) == 0 || bytes.find("<svg") != std::string::npos);
            QVERIFY(bytes.find("antenna.s1p") != std::string::npos);
            QVERIFY(bytes.find("source 50 \u03a9") != std::string::npos);
            QVERIFY(bytes.find("element path at 2.437") != std::string::npos);
            break;
        case MatchExport::Png:
            QVERIFY(bytes.rfind("\x89PNG", 0) == 0);
            break;
        }
    }

    // A complex source typed in the field: the design is against it, the bound is withheld, and
    // a field that is no impedance is said.
    void complex_source() {
        QVERIFY(open(antenna));
        type("match_source_ohm", QStringLiteral("30 + j20"));
        QCOMPARE(find<QLabel>("match_bound")->text(),
                 QStringLiteral("Bode-Fano bound: none (the source is not a resistance)"));
        QVERIFY(design(2));
        const QString text = window_->results_text();
        QVERIFY2(text.contains(QStringLiteral("Matching network: source 30+j20 ohm")),
                 qPrintable(text));
        QTest::qWait(50);
        QDir().mkpath(QStringLiteral(VELTRANE_SCREENSHOT_DIR));
        QVERIFY(panel()->grab().toImage().save(
            QStringLiteral(VELTRANE_SCREENSHOT_DIR "/match_panel_complex_source.png")));
        type("match_source_ohm", QStringLiteral("30+k2"));
        QTest::mouseClick(find<QPushButton>("match_design"), Qt::LeftButton);
        QVERIFY(find<QLabel>("match_message")->text().contains(QStringLiteral("R+jX")));
    }

    void settings_kept() {
        type("match_source_ohm", QStringLiteral("75"));
        find<QSpinBox>("match_elements")->setValue(5);
        find<QComboBox>("match_series")->setCurrentIndex(3);
        type("match_inductor_q", QStringLiteral("40"));
        type("match_tolerance", QStringLiteral("5"));
        find<QSpinBox>("match_runs")->setValue(123);
        find<QComboBox>("match_ladder_kind")->setCurrentIndex(2);
        type("match_l_range", QStringLiteral("1:20"));
        find<QCheckBox>("match_dc_block")->setChecked(true);
        window_->close(); // saves the settings
        window_ = std::make_unique<FitWindow>();
        QCOMPARE(find<QLineEdit>("match_source_ohm")->text(), QStringLiteral("75"));
        QCOMPARE(find<QSpinBox>("match_elements")->value(), 5);
        QCOMPARE(find<QComboBox>("match_series")->currentIndex(), 3);
        QCOMPARE(find<QLineEdit>("match_inductor_q")->text(), QStringLiteral("40"));
        QCOMPARE(find<QLineEdit>("match_tolerance")->text(), QStringLiteral("5"));
        QCOMPARE(find<QSpinBox>("match_runs")->value(), 123);
        QCOMPARE(find<QComboBox>("match_ladder_kind")->currentIndex(), 2);
        QCOMPARE(find<QLineEdit>("match_l_range")->text(), QStringLiteral("1:20"));
        QVERIFY(find<QCheckBox>("match_dc_block")->isChecked());
    }

    // The panel's constraints reach the designer: every network meets them.
    void constraints_data() {
        QTest::addColumn<int>("kind"); // any ladder, low-pass, high-pass
        QTest::addColumn<bool>("dc_block");
        QTest::addColumn<int>("first"); // either, series, shunt
        QTest::addColumn<QString>("l_range");
        QTest::newRow("low-pass") << 1 << false << 0 << QString();
        QTest::newRow("high-pass, first shunt") << 2 << false << 2 << QString();
        QTest::newRow("DC block, L 1 to 2 nH") << 0 << true << 0 << QStringLiteral("1:2");
    }
    void constraints() {
        QFETCH(int, kind);
        QFETCH(bool, dc_block);
        QFETCH(int, first);
        QFETCH(QString, l_range);
        QVERIFY(open(antenna));
        find<QComboBox>("match_ladder_kind")->setCurrentIndex(kind);
        find<QCheckBox>("match_dc_block")->setChecked(dc_block);
        find<QComboBox>("match_first")->setCurrentIndex(first);
        type("match_l_range", l_range);
        QVERIFY(design(3));
        QVERIFY(!panel()->networks().empty());
        for (const match::Design& d : panel()->networks()) {
            const auto& ladder = d.ladder;
            const QString text = QString::fromStdString(match::ladder_summary(ladder));
            bool series_c = false;
            for (const match::Element& e : ladder) {
                const bool series = e.position == match::Position::Series;
                const bool l = e.kind == match::Kind::L;
                series_c = series_c || (series && !l);
                QVERIFY2(kind != 1 || series == l, qPrintable(text));
                QVERIFY2(kind != 2 || series != l, qPrintable(text));
                QVERIFY2(l_range.isEmpty() || !l || (e.value >= 1 - 1e-9 && e.value <= 2 + 1e-9),
                         qPrintable(text));
            }
            QVERIFY2(!dc_block || series_c, qPrintable(text));
            QVERIFY2(first != 2 || ladder.front().position == match::Position::Shunt,
                     qPrintable(text));
        }
        QVERIFY(window_->results_text().contains(QStringLiteral("Constraints: ")));
        // A range that is not one is said, and nothing is designed.
        type("match_l_range", QStringLiteral("5:1"));
        QTest::mouseClick(find<QPushButton>("match_design"), Qt::LeftButton);
        QVERIFY(find<QLabel>("match_message")->text().contains(QStringLiteral("MIN:MAX in nH")));
    }

    // A parasitic field (or a Q) with a bad value is said and nothing is designed; a good one is
    // designed with: the chosen network's figure is its own over the band with that parasitic.
    void parasitic_fields_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said");
        const QString sign = QStringLiteral("An inductor's self-resonance must be positive");
        QTest::newRow("SRF 0") << "match_inductor_srf"
                               << "0" << sign;
        QTest::newRow("ESL negative") << "match_capacitor_esl"
                                      << "-0.1" << sign;
        QTest::newRow("ESR not a number") << "match_capacitor_esr"
                                          << "1e400" << sign;
        QTest::newRow("SRF too high")
            << "match_inductor_srf"
            << "2e6"
            << "The inductors' self-resonance 2e+06 GHz is out of range (1e-06 to 1e+06 GHz)";
        QTest::newRow("ESL too large")
            << "match_capacitor_esl"
            << "1001"
            << "The capacitors' series inductance 1001 nH is out of range (0 to 1000 nH)";
        QTest::newRow("ESR too large")
            << "match_capacitor_esr"
            << "2000"
            << "The capacitors' series resistance 2000 ohm is out of range (0 to 1000 ohm)";
        QTest::newRow("Q of L too high") << "match_inductor_q"
                                         << "1e10"
                                         << "Q of L: Q 1e+10";
        QTest::newRow("SRF 4 GHz") << "match_inductor_srf"
                                   << "4" << QString();
        QTest::newRow("ESL 0.4 nH") << "match_capacitor_esl"
                                    << "0.4" << QString();
        QTest::newRow("ESR 1.5 ohm") << "match_capacitor_esr"
                                     << "1.5" << QString();
    }
    void parasitic_fields() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, said);
        QVERIFY(open(antenna));
        type(field.toLatin1().constData(), text);
        if (!said.isEmpty()) {
            QTest::mouseClick(find<QPushButton>("match_design"), Qt::LeftButton);
            const QString message = find<QLabel>("match_message")->text();
            QVERIFY2(message.startsWith(said), qPrintable(message));
            QVERIFY(panel()->networks().empty());
            return;
        }
        find<QCheckBox>("match_dc_block")->setChecked(true); // a series C beside the L
        QVERIFY(design(2));
        match::Losses losses;
        const double value = text.toDouble();
        (field == QStringLiteral("match_inductor_srf")    ? losses.inductor_srf_ghz
         : field == QStringLiteral("match_capacitor_esl") ? losses.capacitor_esl_nh
                                                          : losses.capacitor_esr_ohm) = value;
        const match::Design& chosen = panel()->networks().back();
        const match::Figures expected =
            match::evaluate(chosen.ladder, views::band_load(antenna_data(), 2.2, 2.7), 50, losses);
        QCOMPARE(chosen.figures.worst_gamma, expected.worst_gamma);
        const match::Figures ideal =
            match::evaluate(chosen.ladder, views::band_load(antenna_data(), 2.2, 2.7), 50, {});
        // The parasitic does change it.
        QVERIFY2(ideal.worst_gamma != expected.worst_gamma,
                 match::ladder_summary(chosen.ladder).c_str());
    }

    // A part library: the chosen network is rebuilt of its measured parts, its figure recomputed
    // here from the library is the one "Copy results" gives, the schematic names each part's
    // file and the .s2p written is the parts'.
    void part_library() {
        QVERIFY(open(antenna));
        type("match_tolerance", QStringLiteral("0"));
        QSignalSpy read(panel(), &MatchPanel::library_read);
        panel()->set_library(QStringLiteral(VELTRANE_PARTS_DIR));
        QVERIFY(read.wait(30000));
        QVERIFY(panel()->has_library());
        QSignalSpy parts(panel(), &MatchPanel::parts_done);
        QVERIFY(design(2));
        QVERIFY(parts.count() > 0 || parts.wait(60000));
        const auto& built = panel()->parts_network();
        QVERIFY(built.has_value());
        auto library = match::read_parts(VELTRANE_PARTS_DIR);
        match::Losses losses;
        losses.parts = std::make_shared<const match::PartLibrary>(
            std::get<match::PartLibrary>(std::move(library)));
        const match::Load load = views::band_load(antenna_data(), 2.2, 2.7);
        const match::Figures figures = match::evaluate(built->ladder, load, 50, losses);
        const QString text = window_->results_text();
        QVERIFY2(text.contains(QStringLiteral("RL ") +
                               QString::fromStdString(rf::readable(figures.worst_rl_db, 4)) +
                               QStringLiteral(" dB")),
                 qPrintable(text));
        QVERIFY(find<QLabel>("match_chosen")
                    ->text()
                    .startsWith(QStringLiteral("Measured parts (parts)")));
        std::string labels;
        for (const rf::Operation& op : panel()->schematic_picture().operations) {
            if (const auto* t = std::get_if<rf::Text>(&op)) {
                labels += t->text + "\n";
            }
        }
        for (const match::Element& e : built->ladder) {
            QVERIFY(e.part >= 0);
            const std::string& file = losses.parts->parts[static_cast<std::size_t>(e.part)].file;
            QVERIFY2(labels.find(file) != std::string::npos, labels.c_str());
            QVERIFY(text.contains(QString::fromStdString(file)));
        }
        const auto path = dir_->path() / "parts.s2p";
        QVERIFY(!panel()->export_to(MatchExport::NetworkTouchstone,
                                    QString::fromStdString(path.string())));
        QCOMPARE(veltrane::testing::read_bytes(path),
                 match::network_touchstone(built->ladder, losses, 50, antenna_data().f_ghz,
                                           "veltrane-fit"));
        QTest::qWait(50);
        QDir().mkpath(QStringLiteral(VELTRANE_SCREENSHOT_DIR));
        const QString suffix = window_->devicePixelRatioF() > 1 ? QStringLiteral("_x2") : QString();
        QVERIFY(panel()->grab().toImage().save(
            QStringLiteral(VELTRANE_SCREENSHOT_DIR "/match_panel_parts") + suffix +
            QStringLiteral(".png")));
        QVERIFY(find<QWidget>("match_schematic")
                    ->grab()
                    .toImage()
                    .save(QStringLiteral(VELTRANE_SCREENSHOT_DIR "/match_schematic_parts") +
                          suffix + QStringLiteral(".png")));
    }

    // A folder that is no part library: the library's own message, and no library kept.
    void bad_library_folder_data() {
        QTest::addColumn<QString>("csv"); // parts.csv, none when null
        QTest::newRow("no parts.csv") << QString();
        QTest::newRow("a part without its file") << "kind,value,unit,file\nL,2.2,nH,gone.s2p\n";
        QTest::newRow("a kind that is none") << "kind,value,unit,file\nR,10,ohm,r.s2p\n";
    }
    void bad_library_folder() {
        QFETCH(QString, csv);
        QVERIFY(open(antenna));
        if (!csv.isNull()) {
            veltrane::testing::write_bytes(*dir_ / "parts.csv", csv.toStdString());
        }
        const std::string folder = dir_->path().string();
        const auto expected = match::read_parts(folder);
        QVERIFY(std::holds_alternative<std::string>(expected));
        QSignalSpy read(panel(), &MatchPanel::library_read);
        panel()->set_library(QString::fromStdString(folder));
        QVERIFY(read.wait(30000));
        QCOMPARE(find<QLabel>("match_message")->text(),
                 QString::fromStdString(std::get<std::string>(expected)));
        QVERIFY(!panel()->has_library());
    }

    void looks_right() {
        QVERIFY(open(antenna));
        type("match_tolerance", QStringLiteral("2"));
        find<QSpinBox>("match_runs")->setValue(500);
        QSignalSpy parts(panel(), &MatchPanel::parts_done);
        QVERIFY(design(4));
        QVERIFY(parts.count() > 0 || parts.wait(60000));
        QTest::qWait(50);
        QDir().mkpath(QStringLiteral(VELTRANE_SCREENSHOT_DIR));
        const QString suffix = window_->devicePixelRatioF() > 1 ? QStringLiteral("_x2") : QString();
        const QImage whole = window_->grab().toImage();
        QVERIFY(whole.save(QStringLiteral(VELTRANE_SCREENSHOT_DIR "/match_window") + suffix +
                           QStringLiteral(".png")));
        const QImage image = panel()->grab().toImage();
        QVERIFY(image.save(QStringLiteral(VELTRANE_SCREENSHOT_DIR "/match_panel") + suffix +
                           QStringLiteral(".png")));
        // The schematic and the histogram are drawn: the parts' blue and the bars' green.
        const auto has = [](const QImage& picture, auto test) {
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    if (test(picture.pixelColor(x, y))) {
                        return true;
                    }
                }
            }
            return false;
        };
        const QImage schematic = find<QWidget>("match_schematic")->grab().toImage();
        QVERIFY(has(schematic, [](QColor c) { return c.blue() > 120 && c.red() < 60; }));
        const QImage bars = find<QWidget>("match_histogram")->grab().toImage();
        QVERIFY(
            has(bars, [](QColor c) { return c.green() > 90 && c.red() < 40 && c.blue() < 90; }));
        // The matched curve on the charts, in the same green.
        const QImage chart = window_->chart()->grab().toImage();
        QVERIFY(
            has(chart, [](QColor c) { return c.green() > 90 && c.red() < 40 && c.blue() < 90; }));
    }
};

QTEST_MAIN(MatchPanelTest)
#include "match_panel_test.moc"
