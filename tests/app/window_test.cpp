// The calculator window as a user meets it: typing, clicking, the keyboard, the About window.

#include "app/about_window.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "model/field_set.h"
#include "model/quantities.h"
#include "output/calculate.h"
#include "output/report.h"
#include "window_driver.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <clocale>
#include <memory>
#include <optional>

using veltrane::test::road_results;
using veltrane::test::TemporaryWorkingDirectory;
using veltrane::test::WindowDriver;
using veltrane::test::WindowUnderTest;

namespace {

const QStringList cleared(10, QStringLiteral("     "));

QByteArray read_file(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

bool write_file(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString widget_name(const QWidget* widget) {
    return widget == nullptr ? QStringLiteral("<none>") : widget->objectName();
}

// The focus order of the window with the message field hidden.
const QStringList tab_order = {
    "F1_txt", "R1_txt", "X1_txt", "F2_txt", "R2_txt", "X2_txt",     "Picture1", "Ls_txt", "F1_ind",
    "F1_cap", "F2_ind", "F2_cap", "Cs_txt", "Lp_txt", "Q1_txt",     "Q2_txt",   "FL_txt", "FH_txt",
    "F0_txt", "Q0_txt", "RL_txt", "SerPar", "ParSer", "AboutModel", "Calc",     "Cp_txt"};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void startState();
    void roadOfOneCalculation();
    void sameInputsTwiceGiveSameTexts();
    void messages_data();
    void messages();
    void messageAfterSuccessClearsResults();
    void successHidesMessageAgain();
    void resultFieldsAreEditable();
    void optionGroupsAreExclusiveWithoutWayBack();
    void tabOrder_data();
    void tabOrder();
    void enterAndEscapeStartNothing_data();
    void enterAndEscapeStartNothing();
    void enterActivatesTheFocusedCommand_data();
    void enterActivatesTheFocusedCommand();
    void pictureShowsItsFocus();
    void tooltipsNameQuantityAndUnit_data();
    void tooltipsNameQuantityAndUnit();
    void noAccessKeys();
    void accessibleNames_data();
    void accessibleNames();
    void aboutIsSingleInstance();
    void aboutReopensAfterClose();
    void calculateWhileAboutIsOpen();
    void closingMainWindowLeavesAboutOpen();
    void commaDecimalLocaleGivesSameTexts();
    void longPastedTextIsReadWhole();
    void pastedLineBreaksAreKept_data();
    void pastedLineBreaksAreKept();
    void arrowKeysMoveToThePartnerOption_data();
    void arrowKeysMoveToThePartnerOption();

  private:
    WindowUnderTest driver_;
};

void WindowTest::init() {
    QVERIFY(driver_.open());
}

void WindowTest::cleanup() {
    driver_.close();
    QLocale::setDefault(QLocale::c());
}

void WindowTest::startState() {
    WindowDriver& d = *driver_;
    QCOMPARE(d.window().windowTitle(), QStringLiteral("Veltrane"));
    QCOMPARE(d.window().objectName(), QStringLiteral("Z_MODEL"));
    QCOMPARE(d.window().size(), QSize(624, 323));
    QCOMPARE(d.window().minimumSize(), d.window().maximumSize());
    QVERIFY(!d.window().windowIcon().isNull());

    for (veltrane::Field field : veltrane::input_fields) {
        const QString name = QString::fromUtf8(veltrane::field_name(field));
        QLineEdit* edit = d.field(name);
        QVERIFY2(edit != nullptr, qPrintable(name));
        QCOMPARE(edit->text(), QString::fromUtf8(veltrane::default_text(field)));
        QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }
    QCOMPARE(d.results(), QStringList(10, QString()));
    QVERIFY(!d.message()->isVisible());
    QVERIFY(d.message()->text().isEmpty());
    for (const char* name : {"F1_ind", "F1_cap", "F2_ind", "F2_cap", "SerPar", "ParSer"}) {
        QVERIFY2(!d.option(QString::fromLatin1(name))->isChecked(), name);
    }
    QCOMPARE(widget_name(QApplication::focusWidget()), QStringLiteral("F1_txt"));
    QVERIFY(d.window().about_window() == nullptr);
    QVERIFY(!QFile::exists(QStringLiteral("Model.prt")));
}

void WindowTest::roadOfOneCalculation() {
    WindowDriver& d = *driver_;
    d.run_road();
    QCOMPARE(d.results(), road_results);
    QCOMPARE(d.field("F0_txt")->text(), QStringLiteral("1438.04"));
    QVERIFY(!d.message()->isVisible());
    // The inputs are read, never written.
    QCOMPARE(d.field("RL_txt")->text(), QStringLiteral("2.0"));
    QCOMPARE(d.field("F1_txt")->text(), QStringLiteral("1.0"));

    const QByteArray report = read_file(QStringLiteral("Model.prt"));
    QCOMPARE(report.count("\r\n"), 18);
    QCOMPARE(report.count('\n'), 18);
    QVERIFY(report.endsWith("\r\n"));
    QVERIFY(report.contains("1438.0"));
}

void WindowTest::sameInputsTwiceGiveSameTexts() {
    WindowDriver& d = *driver_;
    d.run_road();
    const QStringList first = d.results();
    const QByteArray first_report = read_file(QStringLiteral("Model.prt"));
    d.calculate();
    QCOMPARE(d.results(), first);
    QCOMPARE(read_file(QStringLiteral("Model.prt")), first_report);
}

void WindowTest::messages_data() {
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QString>("rl");
    QTest::addColumn<bool>("report_before");
    QTest::addColumn<QString>("message");

    QTest::newRow("no choice at all") << QStringList{} << "2.0" << true << "Please F1 crossover";
    QTest::newRow("no F1 crossover")
        << QStringList{"F2_cap", "ParSer"} << "2.0" << false << "Please F1 crossover";
    QTest::newRow("no F2 crossover")
        << QStringList{"F1_ind", "SerPar"} << "2.0" << true << "Please F2 crossover";
    QTest::newRow("no topology") << QStringList{"F1_cap", "F2_ind"} << "2.0" << false
                                 << "Please select topology";
    QTest::newRow("RL below the larger resistance")
        << QStringList{"F1_ind", "F2_cap", "ParSer"} << "1.0" << true << "RL must be >   1.1";
    QTest::newRow("unrealisable parallel pair")
        << QStringList{"F1_ind", "F2_ind", "ParSer"} << "2.0" << true << "Please change topology";
}

void WindowTest::messages() {
    QFETCH(QStringList, choices);
    QFETCH(QString, rl);
    QFETCH(bool, report_before);
    QFETCH(QString, message);
    WindowDriver& d = *driver_;

    const QByteArray old_report = "an earlier report\r\n";
    if (report_before) {
        QVERIFY(write_file(QStringLiteral("Model.prt"), old_report));
    }
    // Whatever the user left in the result fields is cleared.
    for (const QString& name : veltrane::test::result_names) {
        d.type(name, QStringLiteral("typed"));
    }
    d.type(QStringLiteral("RL_txt"), rl);
    for (const QString& choice : choices) {
        d.click_option(choice);
    }
    d.calculate();

    QVERIFY(d.message()->isVisible());
    QCOMPARE(d.message()->text(), message);
    QCOMPARE(d.results(), cleared);
    if (report_before) {
        QCOMPARE(read_file(QStringLiteral("Model.prt")), old_report);
    } else {
        QVERIFY(!QFile::exists(QStringLiteral("Model.prt")));
    }
    // The options are read, never changed.
    for (const QString& choice : choices) {
        QVERIFY(d.option(choice)->isChecked());
    }
}

void WindowTest::messageAfterSuccessClearsResults() {
    WindowDriver& d = *driver_;
    d.run_road();
    QCOMPARE(d.results(), road_results);
    const QByteArray report = read_file(QStringLiteral("Model.prt"));

    d.type(QStringLiteral("RL_txt"), QStringLiteral("1.0"));
    d.calculate();
    QVERIFY(d.message()->isVisible());
    QCOMPARE(d.message()->text(), QStringLiteral("RL must be >   1.1"));
    QCOMPARE(d.results(), cleared);
    QCOMPARE(read_file(QStringLiteral("Model.prt")), report);
}

void WindowTest::successHidesMessageAgain() {
    WindowDriver& d = *driver_;
    d.click_option(QStringLiteral("F1_ind"));
    d.click_option(QStringLiteral("F2_cap"));
    d.calculate();
    QVERIFY(d.message()->isVisible());
    QCOMPARE(d.message()->text(), QStringLiteral("Please select topology"));

    d.run_road();
    QVERIFY(!d.message()->isVisible());
    QCOMPARE(d.results(), road_results);
    // Hiding is what removes a message from view; the text itself stays.
    QCOMPARE(d.message()->text(), QStringLiteral("Please select topology"));

    // A new message replaces the old text and shows again.
    d.type(QStringLiteral("RL_txt"), QStringLiteral("0.5"));
    d.calculate();
    QVERIFY(d.message()->isVisible());
    QCOMPARE(d.message()->text(), QStringLiteral("RL must be >   1.1"));
}

void WindowTest::resultFieldsAreEditable() {
    WindowDriver& d = *driver_;
    d.type(QStringLiteral("Ls_txt"), QStringLiteral("my note"));
    QCOMPARE(d.field("Ls_txt")->text(), QStringLiteral("my note"));
    QVERIFY(!d.field("Ls_txt")->isReadOnly());
    d.run_road();
    QCOMPARE(d.field("Ls_txt")->text(), QStringLiteral("0.159"));

    // Text typed into the visible message field stays until the next calculation hides it.
    d.type(QStringLiteral("RL_txt"), QStringLiteral("1.0"));
    d.calculate();
    d.type(QStringLiteral("model_text"), QStringLiteral("my words"));
    QCOMPARE(d.message()->text(), QStringLiteral("my words"));
    QVERIFY(d.message()->isVisible());
}

void WindowTest::optionGroupsAreExclusiveWithoutWayBack() {
    WindowDriver& d = *driver_;
    auto checked = [&d] {
        QStringList names;
        for (const char* name : {"F1_ind", "F1_cap", "F2_ind", "F2_cap", "SerPar", "ParSer"}) {
            if (d.option(QString::fromLatin1(name))->isChecked()) {
                names << QString::fromLatin1(name);
            }
        }
        return names;
    };

    d.click_option(QStringLiteral("F1_ind"));
    QCOMPARE(checked(), QStringList{"F1_ind"});
    d.click_option(QStringLiteral("F1_cap"));
    QCOMPARE(checked(), QStringList{"F1_cap"});
    // Clicking the selected member again keeps it selected: no way back to none.
    d.click_option(QStringLiteral("F1_cap"));
    QCOMPARE(checked(), QStringList{"F1_cap"});
    QTest::keyClick(d.option("F1_cap"), Qt::Key_Space);
    QCOMPARE(checked(), QStringList{"F1_cap"});

    d.click_option(QStringLiteral("F2_ind"));
    d.click_option(QStringLiteral("SerPar"));
    QCOMPARE(checked(), (QStringList{"F1_cap", "F2_ind", "SerPar"}));
    d.click_option(QStringLiteral("ParSer"));
    QCOMPARE(checked(), (QStringList{"F1_cap", "F2_ind", "ParSer"}));
    d.click_option(QStringLiteral("ParSer"));
    QCOMPARE(checked(), (QStringList{"F1_cap", "F2_ind", "ParSer"}));

    // Choosing an option starts nothing.
    QCOMPARE(d.results(), QStringList(10, QString()));
    QVERIFY(!d.message()->isVisible());
    QVERIFY(!QFile::exists(QStringLiteral("Model.prt")));
}

void WindowTest::tabOrder_data() {
    QTest::addColumn<bool>("message_shown");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<bool>("options_chosen");
    QTest::newRow("forward, message hidden") << false << false << false;
    QTest::newRow("backward, message hidden") << false << true << false;
    QTest::newRow("forward, message shown") << true << false << false;
    QTest::newRow("backward, message shown") << true << true << false;
    // Every option button stays a tab stop once its group has a selection.
    QTest::newRow("forward, options chosen") << false << false << true;
    QTest::newRow("backward, options chosen") << false << true << true;
}

void WindowTest::tabOrder() {
    QFETCH(bool, message_shown);
    QFETCH(bool, backwards);
    QFETCH(bool, options_chosen);
    WindowDriver& d = *driver_;

    if (options_chosen) {
        for (const char* name : {"F1_cap", "F2_ind", "SerPar"}) {
            d.click_option(QString::fromLatin1(name));
        }
    }
    QStringList expected = tab_order;
    if (message_shown) {
        d.calculate(); // no choices: "Please F1 crossover"
        QVERIFY(d.message()->isVisible());
        expected << QStringLiteral("model_text");
    }
    d.field("F1_txt")->setFocus(Qt::OtherFocusReason);
    QCOMPARE(widget_name(QApplication::focusWidget()), QStringLiteral("F1_txt"));

    QStringList walked{QStringLiteral("F1_txt")};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        walked << widget_name(QApplication::focusWidget());
    }
    // Round the whole chain and back to the start.
    expected << QStringLiteral("F1_txt");
    if (backwards) {
        std::reverse(expected.begin(), expected.end());
    }
    QCOMPARE(walked, expected);
}

void WindowTest::enterAndEscapeStartNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    for (const char* name : {"F1_txt", "RL_txt", "Ls_txt", "Picture1", "ParSer"}) {
        for (auto [key, key_name] :
             {std::pair{Qt::Key_Return, "Return"}, std::pair{Qt::Key_Enter, "Enter"},
              std::pair{Qt::Key_Escape, "Escape"}}) {
            QTest::addRow("%s %s", name, key_name) << QString::fromLatin1(name) << int(key);
        }
    }
}

void WindowTest::enterAndEscapeStartNothing() {
    QFETCH(QString, field);
    QFETCH(int, key);
    WindowDriver& d = *driver_;
    // Everything is ready for a calculation; only the command itself may start one.
    d.type(QStringLiteral("RL_txt"), QStringLiteral("2.0"));
    d.click_option(QStringLiteral("F1_ind"));
    d.click_option(QStringLiteral("F2_cap"));
    d.click_option(QStringLiteral("ParSer"));

    d.window().findChild<QWidget*>(field)->setFocus(Qt::OtherFocusReason);
    QCOMPARE(widget_name(QApplication::focusWidget()), field);
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), Qt::KeypadModifier);
    QCOMPARE(d.results(), QStringList(10, QString()));
    QVERIFY(!d.message()->isVisible());
    QVERIFY(!QFile::exists(QStringLiteral("Model.prt")));
    QVERIFY(d.window().about_window() == nullptr);
    QVERIFY(d.window().isVisible());

    // Space on the focused command is an activation.
    d.command("Calc")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(d.command("Calc"), Qt::Key_Space);
    QCOMPARE(d.results(), road_results);
}

void WindowTest::enterActivatesTheFocusedCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    for (const char* name : {"Calc", "AboutModel"}) {
        QTest::addRow("%s Return", name)
            << QString::fromLatin1(name) << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::addRow("%s keypad Enter", name)
            << QString::fromLatin1(name) << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
}

void WindowTest::enterActivatesTheFocusedCommand() {
    QFETCH(QString, command);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    WindowDriver& d = *driver_;
    d.type(QStringLiteral("RL_txt"), QStringLiteral("2.0"));
    d.click_option(QStringLiteral("F1_ind"));
    d.click_option(QStringLiteral("F2_cap"));
    d.click_option(QStringLiteral("ParSer"));

    // Reached by Tab, as a keyboard user does.
    d.field(QStringLiteral("RL_txt"))->setFocus(Qt::OtherFocusReason);
    while (QApplication::focusWidget() != d.command(command)) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::keyClick(d.command(command), static_cast<Qt::Key>(key),
                    static_cast<Qt::KeyboardModifiers>(modifiers));
    const bool calc = command == QStringLiteral("Calc");
    QCOMPARE(d.results(), calc ? road_results : QStringList(10, QString()));
    QCOMPARE(QFile::exists(QStringLiteral("Model.prt")), calc);
    QCOMPARE(d.window().about_window() != nullptr, !calc);
    if (!calc) {
        QVERIFY(d.window().about_window()->isVisible());
    }
}

void WindowTest::pictureShowsItsFocus() {
    WindowDriver& d = *driver_;
    auto* picture = d.window().findChild<QLabel*>(QStringLiteral("Picture1"));
    const QImage without = picture->grab().toImage();
    d.field(QStringLiteral("X2_txt"))->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(widget_name(QApplication::focusWidget()), QStringLiteral("Picture1"));
    const QImage with = picture->grab().toImage();
    QCOMPARE(with.size(), without.size());
    // A frame along the edge: every side changes, the picture inside stays as it was.
    const int ratio = static_cast<int>(picture->devicePixelRatioF());
    const QRect inner = with.rect().adjusted(2 * ratio, 2 * ratio, -2 * ratio, -2 * ratio);
    int edge_changes = 0;
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            const bool changed = with.pixel(x, y) != without.pixel(x, y);
            if (inner.contains(x, y)) {
                QVERIFY2(!changed, qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
            } else {
                edge_changes += changed ? 1 : 0;
            }
        }
    }
    QVERIFY2(edge_changes > with.width() + with.height(),
             qPrintable(QString::number(edge_changes)));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(picture->grab().toImage(), without);
}

void WindowTest::tooltipsNameQuantityAndUnit_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<bool>("exact"); // else the tooltip need only contain the text
    // Every text field shows its quantity's tip; two spelled out, in case the table is wrong.
    for (const veltrane::Quantity& q : veltrane::quantities) {
        QTest::addRow("%s", q.control.data())
            << veltrane::app::qstring(q.control) << veltrane::app::qstring(q.tooltip) << true;
    }
    QTest::newRow("F1 spelled out") << "F1_txt"
                                    << "F1: first frequency, GHz" << true;
    QTest::newRow("R1 spelled out") << "R1_txt"
                                    << "R1 + jX1: impedance measured at F1, ohm" << true;
    // The crossover options show their frame's tip; frames, commands and labels none.
    for (const char* control : {"F1_ind", "Frame4", "Calc", "AboutModel", "Label1"}) {
        QTest::newRow(control) << QString::fromLatin1(control) << QString() << true;
    }
    QTest::newRow("Frame2") << "Frame2"
                            << "inductive or capacitive at F1" << false;
    QTest::newRow("Frame3") << "Frame3"
                            << "inductive or capacitive at F2" << false;
    QTest::newRow("SerPar") << "SerPar"
                            << "in series with RL" << false;
    QTest::newRow("ParSer") << "ParSer"
                            << "across RL" << false;
}

void WindowTest::tooltipsNameQuantityAndUnit() {
    QFETCH(QString, control);
    QFETCH(QString, tooltip);
    QFETCH(bool, exact);
    QWidget* widget = driver_->window().findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    if (exact) {
        QCOMPARE(widget->toolTip(), tooltip);
    } else {
        QVERIFY2(widget->toolTip().contains(tooltip), qPrintable(widget->toolTip()));
    }
}

void WindowTest::noAccessKeys() {
    WindowDriver& d = *driver_;
    for (QPushButton* button : d.window().findChildren<QPushButton*>()) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    for (QAbstractButton* button : d.window().findChildren<QAbstractButton*>()) {
        QVERIFY2(QKeySequence::mnemonic(button->text()).isEmpty(), qPrintable(button->text()));
    }
    for (QGroupBox* frame : d.window().findChildren<QGroupBox*>()) {
        QVERIFY2(!frame->title().contains(u'&'), qPrintable(frame->title()));
    }
    for (QLabel* label : d.window().findChildren<QLabel*>()) {
        QVERIFY2(!label->text().contains(u'&'), qPrintable(label->text()));
    }
    // Alt with the first letter of a caption does nothing.
    d.click_option(QStringLiteral("F1_ind"));
    d.click_option(QStringLiteral("F2_cap"));
    d.click_option(QStringLiteral("ParSer"));
    d.type(QStringLiteral("RL_txt"), QStringLiteral("2.0"));
    for (Qt::Key key : {Qt::Key_C, Qt::Key_A, Qt::Key_S, Qt::Key_P, Qt::Key_I}) {
        QTest::keyClick(&d.window(), key, Qt::AltModifier);
    }
    QCOMPARE(d.results(), QStringList(10, QString()));
    QVERIFY(d.window().about_window() == nullptr);
    QVERIFY(d.option("ParSer")->isChecked());
}

void WindowTest::accessibleNames_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    const QString input;
    const QString result = QStringLiteral("result");
    // Every text field is named by its quantity and unit; three spelled out, in case the table
    // or the naming rule is wrong.
    for (const veltrane::Quantity& q : veltrane::quantities) {
        const bool is_result =
            std::ranges::find(veltrane::result_fields, q.field) != veltrane::result_fields.end();
        QTest::addRow("%s", q.control.data())
            << veltrane::app::qstring(q.control)
            << QString::fromStdString(veltrane::accessible_name(q))
            << (is_result                             ? result
                : q.field == veltrane::Field::Message ? QStringLiteral("message")
                                                      : input);
    }
    QTest::newRow("F1 spelled out") << "F1_txt"
                                    << "F1 [GHz]" << input;
    QTest::newRow("X2 spelled out") << "X2_txt"
                                    << "X2 [Ohm]" << input;
    QTest::newRow("Q0 spelled out") << "Q0_txt"
                                    << "Q0" << result;
    QTest::newRow("F1 ind") << "F1_ind"
                            << "F1 crossover Inductive" << input;
    QTest::newRow("F2 cap") << "F2_cap"
                            << "F2 crossover Capacitive" << input;
    QTest::newRow("ParSer") << "ParSer"
                            << "Topology Parallel/Series" << input;
    QTest::newRow("Calc") << "Calc"
                          << "CALCULATE" << input;
}

void WindowTest::accessibleNames() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QWidget* widget = driver_->window().findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    if (!description.isEmpty()) {
        QCOMPARE(accessible->text(QAccessible::Description), description);
    }
}

void WindowTest::aboutIsSingleInstance() {
    WindowDriver& d = *driver_;
    d.about();
    QPointer<veltrane::app::AboutWindow> about = d.window().about_window();
    QVERIFY(about != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(about, 5000));
    d.window().activateWindow();
    d.about();
    d.about();
    QCOMPARE(d.window().about_window(), about.data());

    int about_windows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("AboutMdl")) {
            ++about_windows;
        }
    }
    QCOMPARE(about_windows, 1);
    QVERIFY(about->isVisible());
    QVERIFY(about->isWindow());
    QVERIFY(about->parentWidget() == nullptr);
    QVERIFY(!about->isModal());
    QCOMPARE(about->windowTitle(),
             QStringLiteral("Veltrane  (for broadband impedance matching ) "));
    QCOMPARE(about->size(), QSize(624, 78));
    QVERIFY(!about->windowIcon().isNull());
    // ABOUT changes nothing in the main window.
    QCOMPARE(d.results(), QStringList(10, QString()));
    QVERIFY(!d.message()->isVisible());
}

void WindowTest::aboutReopensAfterClose() {
    WindowDriver& d = *driver_;
    d.about();
    QPointer<veltrane::app::AboutWindow> about = d.window().about_window();
    QVERIFY(QTest::qWaitForWindowExposed(about, 5000));
    QVERIFY(about->close());
    QVERIFY(about != nullptr); // closed, not destroyed
    QVERIFY(!about->isVisible());

    d.about();
    QCOMPARE(d.window().about_window(), about.data());
    QVERIFY(QTest::qWaitForWindowExposed(about, 5000));
    QCOMPARE(about->size(), QSize(624, 78));
    QCOMPARE(about->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("by the Veltrane team"));
}

void WindowTest::calculateWhileAboutIsOpen() {
    WindowDriver& d = *driver_;
    d.about();
    QVERIFY(QTest::qWaitForWindowExposed(d.window().about_window(), 5000));
    // The About window is modeless: the main window stays fully usable.
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    d.run_road();
    QCOMPARE(d.results(), road_results);
    QVERIFY(QFile::exists(QStringLiteral("Model.prt")));
    QVERIFY(d.window().about_window()->isVisible());
}

void WindowTest::closingMainWindowLeavesAboutOpen() {
    WindowDriver& d = *driver_;
    d.about();
    QPointer<veltrane::app::AboutWindow> about = d.window().about_window();
    QVERIFY(QTest::qWaitForWindowExposed(about, 5000));
    QVERIFY(QApplication::quitOnLastWindowClosed());

    // Run the application's own event loop: closing the main window must not end it while the
    // About window is open; closing the About window then does.
    std::optional<bool> about_open_after_main_closed;
    bool timed_out = false;
    QTimer::singleShot(0, &d.window(), [&] {
        d.window().close();
        QTimer::singleShot(50, about.data(), [&] {
            about_open_after_main_closed = about != nullptr && about->isVisible();
            about->close();
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [&timed_out] {
        timed_out = true;
        QApplication::quit();
    });
    guard.start(10000);
    QApplication::exec();

    QVERIFY(!timed_out);
    QVERIFY(about_open_after_main_closed.has_value());
    QVERIFY(*about_open_after_main_closed);
    QVERIFY(!d.window().isVisible());
    QVERIFY(about != nullptr); // kept until the program ends, not deleted on close
}

void WindowTest::commaDecimalLocaleGivesSameTexts() {
    WindowDriver& d = *driver_;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // The C library's locale too, where the system has it (LC_ALL=de_DE.UTF-8 runs cover it).
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const bool c_locale_set = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    d.run_road();
    std::setlocale(LC_ALL, previous.c_str());
    QCOMPARE(d.results(), road_results);
    QCOMPARE(read_file(QStringLiteral("Model.prt")).count("\r\n"), 18);
    QVERIFY(!read_file(QStringLiteral("Model.prt")).contains("1438,0"));
    if (!c_locale_set) {
        qInfo("de_DE.UTF-8 is not installed: only Qt's default locale was German");
    }
}

QTEST_MAIN(WindowTest)
// A pasted text longer than the toolkit's usual limit of 32767 characters reaches the
// calculation whole, so the window reads it as veltrane-calc does.
void WindowTest::longPastedTextIsReadWhole() {
    WindowDriver& d = *driver_;
    const QString text = QString(40000, QLatin1Char(' ')) + QStringLiteral("1.5");
    QLineEdit* f1 = d.field(QStringLiteral("F1_txt"));
    f1->selectAll();
    f1->insert(text);
    QCOMPARE(f1->text().size(), text.size());
    d.run_road();

    veltrane::MemoryFieldSet expected;
    expected.set_text(veltrane::Field::RL, "2.0");
    expected.set_text(veltrane::Field::F1, text.toStdString());
    for (const auto option :
         {veltrane::Option::F1Ind, veltrane::Option::F2Cap, veltrane::Option::ParSer}) {
        expected.select(option);
    }
    veltrane::NoReport no_report;
    QCOMPARE(veltrane::calculate(expected, no_report), veltrane::Outcome::Results);
    QStringList expected_results;
    for (const veltrane::Field field : veltrane::result_fields) {
        expected_results << QString::fromStdString(expected.text(field));
    }
    QCOMPARE(d.results(), expected_results);
}

// What a paste with line breaks leaves in a field; the Windows window holds the same.
void WindowTest::pastedLineBreaksAreKept_data() {
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("held");
    QTest::addColumn<QString>("Ls");
    QTest::newRow("line_feed_between_digits") << "2.\n0"
                                              << "2.\n0"
                                              << "0.159";
    QTest::newRow("trailing_line_feed") << "2.0\n"
                                        << "2.0\n"
                                        << "0.159";
}

void WindowTest::pastedLineBreaksAreKept() {
    QFETCH(QString, clipboard);
    QFETCH(QString, held);
    QFETCH(QString, Ls);
    WindowDriver& d = *driver_;
    QGuiApplication::clipboard()->setText(clipboard);
    QLineEdit* rl = d.field(QStringLiteral("RL_txt"));
    rl->selectAll();
    rl->paste();
    QCOMPARE(rl->text(), held);
    for (const char* name : {"F1_ind", "F2_cap", "ParSer"}) {
        d.click_option(QString::fromLatin1(name));
    }
    d.calculate();
    QCOMPARE(d.field(QStringLiteral("Ls_txt"))->text(), Ls);
}

// The arrow keys on the option buttons, as the Windows window copies them: the partner that lies
// that way takes the focus, and the selection when the button left had it; nothing wraps.
void WindowTest::arrowKeysMoveToThePartnerOption_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("focusSelected");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("movesTo");
    QTest::addColumn<QStringList>("selected");
    QTest::newRow("down_to_partner")
        << "F1_ind" << false << int(Qt::Key_Down) << "F1_cap" << QStringList{};
    QTest::newRow("down_selects") << "F1_ind" << true << int(Qt::Key_Down) << "F1_cap"
                                  << QStringList{"F1_cap"};
    QTest::newRow("up_selects") << "F2_cap" << true << int(Qt::Key_Up) << "F2_ind"
                                << QStringList{"F2_ind"};
    QTest::newRow("no_wrap_below")
        << "F1_cap" << true << int(Qt::Key_Down) << "F1_cap" << QStringList{"F1_cap"};
    QTest::newRow("no_wrap_above")
        << "SerPar" << false << int(Qt::Key_Up) << "SerPar" << QStringList{};
    QTest::newRow("nothing_beside")
        << "SerPar" << true << int(Qt::Key_Right) << "SerPar" << QStringList{"SerPar"};
    QTest::newRow("topology") << "SerPar" << true << int(Qt::Key_Down) << "ParSer"
                              << QStringList{"ParSer"};
}

void WindowTest::arrowKeysMoveToThePartnerOption() {
    QFETCH(QString, focus);
    QFETCH(bool, focusSelected);
    QFETCH(int, key);
    QFETCH(QString, movesTo);
    QFETCH(QStringList, selected);
    WindowDriver& d = *driver_;
    if (focusSelected) {
        d.click_option(focus);
    }
    d.option(focus)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QCOMPARE(QApplication::focusWidget(), d.option(movesTo));
    QStringList checked;
    for (const char* name : {"F1_ind", "F1_cap", "F2_ind", "F2_cap", "SerPar", "ParSer"}) {
        if (d.option(QString::fromLatin1(name))->isChecked()) {
            checked << QString::fromLatin1(name);
        }
    }
    QCOMPARE(checked, selected);
}

#include "window_test.moc"
