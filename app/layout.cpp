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
