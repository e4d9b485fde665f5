#include "app/layout.h"

#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::app {

namespace {

using enum Kind;
using enum FontRole;

// A text field of the calculator: its name, default text and tooltip come from the table of
// quantities; the window adds where it sits, its font and its place in the tab order.
constexpr Control field(Field f, Kind kind, Twips geometry, FontRole font, int tab,
                        std::string_view parent = {}) {
    const Quantity& q = quantity(f);
    return {q.control, kind, parent,          q.default_text, geometry, font,
            tab,       {},   Colour::Default, q.tooltip,      &q};
}

// clang-format off
constexpr std::array main_controls = std::to_array<Control>({
    // Frames first: they contain other controls.
    {"Frame1",     Frame,   "",       "",                 {360, 2880, 2895, 1815},  Dialog,     12, ""},
    {"Frame2",     Frame,   "",       "F1 crossover",     {3840, 360, 1455, 855},   DialogBold, 14, "", Colour::Default,
     "F1 crossover: the pair next to RL is inductive or capacitive at F1\n"
     "(the shunt pair for Parallel/Series, the series pair for Series/Parallel)"},
    {"Frame3",     Frame,   "",       "F2 crossover",     {3840, 1560, 1455, 855},  DialogBold, 15, "", Colour::Default,
     "F2 crossover: the pair next to RL is inductive or capacitive at F2\n"
     "(the shunt pair for Parallel/Series, the series pair for Series/Parallel)"},
    {"Frame4",     Frame,   "",       "TOPOLOGY",         {3720, 3360, 5295, 1335}, DialogBold, 41, ""},
    // Input fields.
    field(Field::F1, Input, {1080, 480, 1095, 285}, Dialog, 0),
    field(Field::R1, Input, {1080, 960, 1095, 285}, Dialog, 4),
    field(Field::X1, Input, {2400, 960, 1095, 285}, Dialog, 5),
    field(Field::F2, Input, {1080, 1680, 1095, 285}, Dialog, 6),
    field(Field::R2, Input, {1080, 2160, 1095, 285}, Dialog, 10),
    field(Field::X2, Input, {2400, 2160, 1095, 285}, Dialog, 11),
    field(Field::RL, Input, {4200, 2880, 1095, 285}, Dialog, 40),
    // Crossover options.
    {"F1_ind",     Option,  "Frame2", "Inductive",        {120, 240, 1215, 255},    Arial,      18, "F1 crossover Inductive"},
    {"F1_cap",     Option,  "Frame2", "Capacitive",       {120, 480, 1215, 255},    Arial,      19, "F1 crossover Capacitive"},
    {"F2_ind",     Option,  "Frame3", "Inductive",        {120, 240, 1215, 255},    Arial,      20, "F2 crossover Inductive"},
    {"F2_cap",     Option,  "Frame3", "Capacitive",       {120, 480, 1215, 255},    Arial,      21, "F2 crossover Capacitive"},
    // Topology frame.
    field(Field::Message, Message, {240, 240, 4815, 285}, Dialog, 48, "Frame4"),
    {"SerPar",     Option,  "Frame4", "Series/Parallel",  {240, 600, 1455, 255},    Dialog,     42, "Topology Series/Parallel", Colour::Default,
     "Series/Parallel: Ls and Cs in series with RL, Lp and Cp in parallel across both"},
    {"ParSer",     Option,  "Frame4", "Parallel/Series",  {240, 840, 1455, 255},    Dialog,     43, "Topology Parallel/Series", Colour::Default,
     "Parallel/Series: Lp and Cp in parallel across RL, Ls and Cs in series in front"},
    {"AboutModel", Command, "Frame4", "ABOUT",            {1800, 720, 855, 375},    DialogBold, 44, ""},
    {"Calc",       Command, "Frame4", "CALCULATE",        {2760, 720, 2295, 375},   DialogBold, 45, ""},
    // Result fields.
    field(Field::Ls, Result, {6000, 480, 1095, 285}, Dialog, 17),
    field(Field::Cs, Result, {7800, 480, 1095, 285}, Dialog, 23),
    field(Field::Lp, Result, {6000, 960, 1095, 285}, Dialog, 25),
    field(Field::Cp, Result, {7800, 960, 1095, 285}, Dialog, 47),
    field(Field::Q1, Result, {6000, 1680, 1095, 285}, Dialog, 28),
    field(Field::Q2, Result, {7800, 1680, 1095, 285}, Dialog, 30),
    field(Field::FL, Result, {6000, 2160, 1095, 285}, Dialog, 32),
    field(Field::FH, Result, {7800, 2160, 1095, 285}, Dialog, 34),
    field(Field::F0, Result, {6000, 2880, 1095, 285}, Dialog, 36),
    field(Field::Q0, Result, {7800, 2880, 1095, 285}, Dialog, 38),
    // Labels.
    {"Label1",     Label,   "",       "F1",               {360, 480, 615, 255},     DialogBold,  1, ""},
    {"Label2",     Label,   "",       "[GHz]",            {2280, 480, 615, 255},    DialogBold,  2, ""},
    {"Label3",     Label,   "",       "R1+ j X1",         {120, 960, 855, 255},     DialogBold,  3, ""},
    {"Label4",     Label,   "",       "F2",               {360, 1680, 615, 255},    DialogBold,  7, ""},
    {"Label5",     Label,   "",       "[GHz]",            {2280, 1680, 615, 255},   DialogBold,  8, ""},
    {"Label6",     Label,   "",       "R2+ j X2",         {120, 2160, 855, 255},    DialogBold,  9, ""},
    {"Label7",     Label,   "",       "Ls",               {5520, 480, 375, 255},    DialogBold, 16, ""},
    {"Label8",     Label,   "",       "Cs",               {7320, 480, 375, 255},    DialogBold, 22, ""},
    {"Label9",     Label,   "",       "Lp",               {5520, 960, 375, 255},    DialogBold, 24, ""},
    {"Label10",    Label,   "",       "Cp",               {7320, 960, 375, 255},    DialogBold, 26, ""},
    {"Label11",    Label,   "",       "Q1",               {5520, 1680, 375, 255},   DialogBold, 27, ""},
    {"Label12",    Label,   "",       "Q2",               {7320, 1680, 375, 255},   DialogBold, 29, ""},
    {"Label13",    Label,   "",       "FL",               {5520, 2160, 375, 255},   DialogBold, 31, ""},
    {"Label14",    Label,   "",       "FH",               {7320, 2160, 375, 255},   DialogBold, 33, ""},
    {"Label15",    Label,   "",       "F0",               {5520, 2880, 375, 255},   DialogBold, 35, ""},
    {"Label16",    Label,   "",       "Q0",               {7320, 2880, 375, 255},   DialogBold, 37, ""},
    {"Label17",    Label,   "",       "RL",               {3720, 2880, 375, 255},   DialogBold, 39, ""},
    {"Label18",    Label,   "",       "Tarnwell    Design Tools", {360, 2640, 2895, 255}, Brand, 46, "", Colour::Red},
    // The die photograph, shown at its natural size from the box's top-left corner.
    {"Picture1",   Picture, "Frame1", ":/images/die.png", {240, 240, 2415, 1455},   Dialog,     13, "Die photograph"},
});

constexpr std::array about_controls = std::to_array<Control>({
    {"Label1", Label, "", "by the Veltrane team",  {3000, 240, 3015, 375}, AboutCredit,  0, "", Colour::LightYellow},
    {"email",  Label, "", "veltrane@example.org",  {3000, 720, 3015, 255}, AboutContact, 1, "", Colour::LightYellow},
});
// clang-format on

// An option button that stays in the tab chain whatever its group's state. Qt lets only the
// focused member of an exclusive group take Tab focus; in this window every option button is
// a tab stop of its own.
class OptionButton final : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void focusInEvent(QFocusEvent* event) override {
        QRadioButton::focusInEvent(event);
        keep_options_in_tab_chain();
    }
    void checkStateSet() override {
        QRadioButton::checkStateSet();
        keep_options_in_tab_chain();
    }

  private:
    void keep_options_in_tab_chain() {
        for (QRadioButton* option :
             parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
            option->setFocusPolicy(Qt::StrongFocus);
        }
    }
};

// A command button that Enter, on the main keyboard or the keypad, activates while it has the
// focus, as Space does. The window has no default button: Enter elsewhere starts nothing.
class CommandButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            event->accept();
            if (!event->isAutoRepeat()) {
                click();
            }
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// The picture box takes the focus in the tab order, so it shows when it has it: a dotted frame
// over a solid one, visible on the dark photograph and on the window's background alike.
class PictureBox final : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!hasFocus()) {
            return;
        }
        QPainter painter(this);
        const QRect frame = rect().adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(frame);
    }
};

// The picture in a file, or its "name@2x" variant on a screen of twice the density or more;
// Qt reads the density of an "@2x" file from its name, so the picture keeps its size on screen.
QPixmap picture_for(const QString& path, qreal device_pixel_ratio) {
    if (device_pixel_ratio > 1.0) {
        QString sharper = path;
        sharper.insert(sharper.lastIndexOf(u'.'), QStringLiteral("@2x"));
        if (QFile::exists(sharper)) {
            return QPixmap(sharper);
        }
    }
    return QPixmap(path);
}

// The frames are laid out for the classic frame: its border starts at the frame's top with the
// caption set into the line, and the contents are placed from the frame's top-left corner. The
// "Windows" style draws exactly that; one instance serves every frame of the process.
QStyle* frame_style() {
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = QStyleFactory::create(QStringLiteral("Windows"));
        if (style != nullptr) {
            style->setParent(QCoreApplication::instance());
        }
    }
    return style.data();
}

QWidget* create(const Control& control, QWidget* parent) {
    const QString text = qstring(control.text);
    switch (control.kind) {
    case Kind::Frame: {
        auto* frame = new QGroupBox(text, parent);
        if (QStyle* style = frame_style()) {
            frame->setStyle(style);
        }
        return frame;
    }
    case Kind::Input:
    case Kind::Result:
    case Kind::Message: {
        auto* edit = new QLineEdit(text, parent);
        // The toolkit's default limit would cut a pasted text at 32767 characters; the
        // calculation reads the whole text, as veltrane-calc does.
        edit->setMaxLength(std::numeric_limits<int>::max());
        edit->setAlignment(Qt::AlignCenter);
        edit->setCursorPosition(0);
        if (control.kind == Kind::Result) {
            edit->setAccessibleDescription(QStringLiteral("result"));
        }
        if (control.kind == Kind::Message) {
            edit->setAccessibleDescription(QStringLiteral("message"));
            edit->hide();
        }
        return edit;
    }
    case Kind::Option:
        return new OptionButton(text, parent);
    case Kind::Command: {
        auto* button = new CommandButton(text, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case Kind::Label: {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        return label;
    }
    case Kind::Picture: {
        auto* picture = new PictureBox(parent);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setPixmap(picture_for(text, parent->devicePixelRatioF()));
        return picture;
    }
    }
    throw std::logic_error("unknown control kind");
}

QColor colour_value(Colour colour) {
    switch (colour) {
    case Colour::Red:
        return {255, 0, 0};
    case Colour::LightYellow:
        return {255, 255, 128};
    case Colour::Default:
        break;
    }
    return {};
}

} // namespace

std::span<const Control> main_window_controls() {
    return main_controls;
}
std::span<const Control> about_window_controls() {
    return about_controls;
}

QString qstring(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QFont font_for(FontRole role) {
    struct Face {
        double points;
        bool bold;
        bool italic;
    };
    const Face face = [role]() -> Face {
        switch (role) {
        case FontRole::DialogBold:
            return {8.25, true, false};
        case FontRole::Brand:
            return {9.75, true, true};
        case FontRole::AboutCredit:
            return {14.25, false, true};
        case FontRole::AboutContact:
            return {11.25, false, true};
        case FontRole::Dialog:
        case FontRole::Arial:
            break;
        }
        return {8.25, false, false};
    }();
    // Liberation Sans has Arial's metrics; Arial itself where Liberation is missing.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(face.points);
    font.setWeight(face.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(face.italic);
    return font;
}

void build_controls(QWidget& window, std::span<const Control> table) {
    QHash<QString, QWidget*> created;
    std::vector<std::pair<int, QWidget*>> focus_chain;
    for (const Control& control : table) {
        QWidget* parent = &window;
        if (!control.parent.empty()) {
            parent = created.value(qstring(control.parent));
            if (parent == nullptr) {
                throw std::logic_error("container listed after its contents: " +
                                       std::string(control.name));
            }
        }
        QWidget* widget = create(control, parent);
        const QString name = qstring(control.name);
        widget->setObjectName(name);
        widget->setGeometry(to_pixels(control.geometry));
        widget->setFont(font_for(control.font));
        if (control.colour != Colour::Default) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::WindowText, colour_value(control.colour));
            widget->setPalette(palette);
        }
        if (control.quantity != nullptr) {
            widget->setAccessibleName(qstring(accessible_name(*control.quantity)));
        } else if (!control.accessible_name.empty()) {
            widget->setAccessibleName(qstring(control.accessible_name));
        }
        if (!control.tooltip.empty()) {
            widget->setToolTip(qstring(control.tooltip));
        }
        if (takes_focus(control.kind)) {
            widget->setFocusPolicy(Qt::StrongFocus);
            focus_chain.emplace_back(control.tab, widget);
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        created.insert(name, widget);
    }
    std::ranges::sort(focus_chain, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < focus_chain.size(); ++i) {
        QWidget::setTabOrder(focus_chain[i - 1].second, focus_chain[i].second);
    }
}

} // namespace veltrane::app
