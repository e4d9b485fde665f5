// What the windows look like: every caption and text fits its control, controls stay inside
// their containers, pictures and colours are there; screenshots for a person to look at.

#include "app/about_window.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "window_driver.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QtTest>

#include <cmath>
#include <memory>

using veltrane::test::TemporaryWorkingDirectory;
using veltrane::test::WindowDriver;
using veltrane::test::WindowUnderTest;

namespace {

// The space a text needs in a font: its advance, or its ink where that reaches further (an
// italic overhang).
QSizeF needed(const QFont& font, const QString& text) {
    const QFontMetricsF metrics(font);
    const QRectF ink = metrics.boundingRect(text);
    const qreal width = std::max(metrics.horizontalAdvance(text), ink.right());
    return {width, metrics.height()};
}

// Where the text of a control is drawn, in the control's own coordinates.
QRect text_area(QWidget* widget) {
    QStyle* style = widget->style();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.rect = edit->rect();
        option.lineWidth =
            edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        option.midLineWidth = 0;
        option.state |= QStyle::State_Sunken;
        QRect area = style->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const QMargins margins = edit->textMargins();
        area = area.marginsRemoved(margins);
        constexpr int line_edit_horizontal_margin = 2; // QLineEdit's own inner margin
        return area.adjusted(line_edit_horizontal_margin, 0, -line_edit_horizontal_margin, 0);
    }
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.textAlignment = frame->alignment();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        return style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
    }
    return widget->contentsRect();
}

QString text_of(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        return frame->title();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    return {};
}

// Every visible control's text fits where it is drawn, and every control lies inside its
// container. Returns the complaints.
QStringList misfits(QWidget& window) {
    QStringList complaints;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || !widget->isVisibleTo(&window)) {
            continue;
        }
        const QWidget* container = widget->parentWidget();
        if (!container->rect().contains(widget->geometry())) {
            complaints << QStringLiteral("%1 lies outside its container").arg(widget->objectName());
        }
        const QString text = text_of(widget);
        if (text.isEmpty()) {
            continue;
        }
        const QSizeF need = needed(widget->font(), text);
        const QRect area = text_area(widget);
        const bool inside = widget->rect().contains(area);
        if (need.width() > area.width() || need.height() > area.height() + 1 || !inside) {
            complaints << QStringLiteral("%1: \"%2\" needs %3 x %4 px, has %5 x %6 px%7")
                              .arg(widget->objectName(), text)
                              .arg(need.width())
                              .arg(need.height())
                              .arg(area.width())
                              .arg(area.height())
                              .arg(inside ? QString() : QStringLiteral(" (clipped by control)"));
        }
    }
    return complaints;
}

QString screenshot_path(const QString& name, const QWidget& window) {
    QDir directory(QStringLiteral(VELTRANE_SCREENSHOT_DIR));
    directory.mkpath(QStringLiteral("."));
    QString file = name;
    if (QGuiApplication::platformName() != QStringLiteral("offscreen")) {
        file += u'-' + QGuiApplication::platformName();
    }
    const qreal ratio = window.devicePixelRatioF();
    if (ratio != 1.0) {
        file += QStringLiteral("@%1x").arg(ratio);
    }
    return directory.filePath(file + QStringLiteral(".png"));
}

bool contains_colour(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

class LookTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void fontsAreTheMappedOnes();
    void textsFit_data();
    void textsFit();
    void geometryInPixels_data();
    void geometryInPixels();
    void picturesAndColours();
    void screenshots();

  private:
    WindowUnderTest driver_;
};

void LookTest::init() {
    QVERIFY(driver_.open());
}

void LookTest::cleanup() {
    driver_.close();
}

void LookTest::fontsAreTheMappedOnes() {
    // Arial's stand-in must really be there: another family would change every metric.
    for (auto role : {veltrane::app::FontRole::Dialog, veltrane::app::FontRole::Brand,
                      veltrane::app::FontRole::AboutCredit}) {
        const QFontInfo info(veltrane::app::font_for(role));
        QVERIFY2(info.family() == QStringLiteral("Liberation Sans") ||
                     info.family() == QStringLiteral("Arial"),
                 qPrintable(info.family()));
    }
    const QFontInfo brand(driver_->window().findChild<QLabel*>(QStringLiteral("Label18"))->font());
    QVERIFY(brand.bold());
    QVERIFY(brand.italic());
    QCOMPARE(brand.pointSizeF(), 9.75);
}

void LookTest::textsFit_data() {
    QTest::addColumn<QStringList>("typed"); // "field=text"
    QTest::addColumn<QStringList>("choices");
    QTest::newRow("at start") << QStringList{} << QStringList{};
    QTest::newRow("after results")
        << QStringList{"RL_txt=2.0"} << QStringList{"F1_ind", "F2_cap", "ParSer"};
    QTest::newRow("after a message")
        << QStringList{"RL_txt=2.0"} << QStringList{"F1_ind", "F2_cap"};
    QTest::newRow("after the RL message")
        << QStringList{"RL_txt=1.0"} << QStringList{"F1_ind", "F2_cap", "ParSer"};
    QTest::newRow("wide results: 985865.989, -6603.281")
        << QStringList{"F1_txt=0.001", "F2_txt=0.0011", "R1_txt=50",  "R2_txt=60",
                       "X1_txt=-900",  "X2_txt=800",    "RL_txt=1000"}
        << QStringList{"F1_cap", "F2_ind", "ParSer"};
}

void LookTest::textsFit() {
    QFETCH(QStringList, typed);
    QFETCH(QStringList, choices);
    WindowDriver& d = *driver_;
    for (const QString& entry : typed) {
        d.type(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }
    for (const QString& choice : choices) {
        d.click_option(choice);
    }
    if (!typed.isEmpty()) {
        d.calculate();
    }
    const QStringList main_misfits = misfits(d.window());
    QVERIFY2(main_misfits.isEmpty(), qPrintable(main_misfits.join(u'\n')));

    d.about();
    QVERIFY(QTest::qWaitForWindowExposed(d.window().about_window(), 5000));
    const QStringList about_misfits = misfits(*d.window().about_window());
    QVERIFY2(about_misfits.isEmpty(), qPrintable(about_misfits.join(u'\n')));
    if (QTest::currentDataTag() == QByteArrayLiteral("wide results: 985865.989, -6603.281")) {
        QCOMPARE(d.field(QStringLiteral("Ls_txt"))->text(), QStringLiteral("985865.989"));
        QCOMPARE(d.field(QStringLiteral("Cp_txt"))->text(), QStringLiteral("-6603.281"));
    }
}

void LookTest::geometryInPixels_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");
    // Twips / 15, worked out by hand.
    QTest::newRow("F1_txt") << "F1_txt" << QRect(72, 32, 73, 19);
    QTest::newRow("Frame4") << "Frame4" << QRect(248, 224, 353, 89);
    QTest::newRow("Calc in Frame4") << "Calc" << QRect(184, 48, 153, 25);
    QTest::newRow("model_text in Frame4") << "model_text" << QRect(16, 16, 321, 19);
    QTest::newRow("F2_cap in Frame3") << "F2_cap" << QRect(8, 32, 81, 17);
    QTest::newRow("Label18") << "Label18" << QRect(24, 176, 193, 17);
    QTest::newRow("Picture1 in Frame1") << "Picture1" << QRect(16, 16, 161, 97);
    QTest::newRow("Q0_txt") << "Q0_txt" << QRect(520, 192, 73, 19);
}

void LookTest::geometryInPixels() {
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    QWidget* widget = driver_->window().findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->geometry(), pixels);
}

void LookTest::picturesAndColours() {
    WindowDriver& d = *driver_;
    auto* picture = d.window().findChild<QLabel*>(QStringLiteral("Picture1"));
    // The picture keeps its size on screen and has a pixel for every pixel of a dense screen.
    const qreal density = d.window().devicePixelRatioF();
    QCOMPARE(picture->pixmap().deviceIndependentSize(), QSizeF(160, 92));
    QCOMPARE(picture->pixmap().devicePixelRatio(), density >= 2 ? 2.0 : 1.0);
    QCOMPARE(picture->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QVERIFY(picture->focusPolicy() & Qt::TabFocus);
    const QList<QSize> icon_sizes = {QSize(32, 32), QSize(64, 64)};
    QCOMPARE(d.window().windowIcon().availableSizes(), icon_sizes);

    // The brand line is drawn in pure red.
    const QImage brand = d.window().findChild<QLabel*>(QStringLiteral("Label18"))->grab().toImage();
    QVERIFY(contains_colour(brand, QColor(255, 0, 0)));

    // The About window: light yellow text on black.
    d.about();
    QWidget* about = d.window().about_window();
    QVERIFY(QTest::qWaitForWindowExposed(about, 5000));
    const QImage image = about->grab().toImage();
    QCOMPARE(image.pixelColor(2, 2), QColor(0, 0, 0));
    QCOMPARE(image.pixelColor(image.width() - 3, image.height() - 3), QColor(0, 0, 0));
    QVERIFY(contains_colour(image, QColor(255, 255, 128)));
    QCOMPARE(about->windowIcon().availableSizes(), icon_sizes);
}

void LookTest::screenshots() {
    WindowDriver& d = *driver_;
    auto save = [](QWidget& window, const QString& name) {
        const QString path = screenshot_path(name, window);
        QVERIFY2(window.grab().save(path), qPrintable(path));
        qInfo("%s", qPrintable(path));
    };
    save(d.window(), QStringLiteral("main"));

    d.field(QStringLiteral("X2_txt"))->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Picture1"));
    save(d.window(), QStringLiteral("main-picture-focus"));

    d.run_road();
    save(d.window(), QStringLiteral("main-results"));

    d.type(QStringLiteral("RL_txt"), QStringLiteral("1.0"));
    d.calculate();
    QVERIFY(d.message()->isVisible());
    save(d.window(), QStringLiteral("main-message"));

    d.about();
    QVERIFY(QTest::qWaitForWindowExposed(d.window().about_window(), 5000));
    save(*d.window().about_window(), QStringLiteral("about"));
}

QTEST_MAIN(LookTest)
#include "look_test.moc"
