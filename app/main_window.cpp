#include "app/main_window.h"

#include "app/about_window.h"
#include "app/layout.h"
#include "app/resources.h"
#include "output/calculate.h"
#include "output/report.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace veltrane::app {

namespace {

template <typename Widget> Widget* named_child(const QWidget& window, std::string_view name) {
    auto* widget = window.findChild<Widget*>(qstring(name));
    if (widget == nullptr) {
        throw std::logic_error("the window has no control " + std::string(name));
    }
    return widget;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Z_MODEL"));
    setWindowTitle(QStringLiteral("Veltrane"));
    setWindowIcon(program_icon());

    build_controls(*this, main_window_controls());
    setFixedSize(to_pixels(main_window_client).size());

    for (std::size_t i = 0; i < field_count; ++i) {
        fields_[i] = named_child<QLineEdit>(*this, field_name(static_cast<Field>(i)));
    }
    for (std::size_t i = 0; i < option_count; ++i) {
        options_[i] = named_child<QRadioButton>(*this, option_name(static_cast<Option>(i)));
    }
    // One exclusive group per pair (F1 crossover, F2 crossover, topology), with the options as
    // ids. Once a member is checked, an exclusive group keeps one checked.
    for (std::size_t pair = 0; pair < option_count / 2; ++pair) {
        auto* group = new QButtonGroup(this);
        group->setExclusive(true);
        for (std::size_t member = 2 * pair; member < 2 * pair + 2; ++member) {
            group->addButton(options_[member], static_cast<int>(member));
        }
    }

    connect(named_child<QPushButton>(*this, "Calc"), &QPushButton::clicked, this,
            &MainWindow::calculate_command);
    connect(named_child<QPushButton>(*this, "AboutModel"), &QPushButton::clicked, this,
            &MainWindow::about_command);

    fields_[static_cast<std::size_t>(Field::F1)]->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() = default;

std::string MainWindow::text(Field field) const {
    return fields_.at(static_cast<std::size_t>(field))->text().toStdString();
}

void MainWindow::set_text(Field field, std::string_view text) {
    QLineEdit* edit = fields_.at(static_cast<std::size_t>(field));
    edit->setText(qstring(text));
    edit->setCursorPosition(0);
}

bool MainWindow::is_selected(Option option) const {
    return options_.at(static_cast<std::size_t>(option))->isChecked();
}

void MainWindow::set_message_visible(bool visible) {
    fields_[static_cast<std::size_t>(Field::Message)]->setVisible(visible);
}

void MainWindow::calculate_command() {
    FieldSet& fields = *this;
    FileReport report{std::filesystem::path{report_file_name}};
    calculate(fields, report);
}

void MainWindow::about_command() {
    if (!about_) {
        // No owner: an independent top-level window that outlives the main window's closing.
        about_ = std::make_unique<AboutWindow>();
    }
    about_->setWindowState(about_->windowState() & ~Qt::WindowMinimized);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

} // namespace veltrane::app
