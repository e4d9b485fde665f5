// The measured-data window: its panels, menus and tool bar.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/match_panel.h"

#include "format/text_number.h"
#include "rf/choices.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

QWidget* FitWindow::build_points_panel() {
    auto* box = new QGroupBox(QStringLiteral("Points"));
    auto* form = new QFormLayout(box);
    const std::array<const char*, 2> names = {"F1", "F2"};
    for (std::size_t k = 0; k < 2; ++k) {
        auto* edit = new QLineEdit;
        const QString name = QString::fromLatin1(names[k]);
        edit->setObjectName(name + QStringLiteral("_ghz"));
        edit->setAccessibleName(name + QStringLiteral(" in GHz"));
        edit->setToolTip(QStringLiteral("Frequency of ") + name +
                         QStringLiteral(" in GHz; between samples the data are interpolated"));
        connect(edit, &QLineEdit::editingFinished, this, [this, k, edit] {
            const auto f = text_to_number(edit->text().toStdString());
            if (f && *f != f_ghz_[k]) {
                set_point(k, *f);
            }
        });
        f_edit_[k] = edit;
        form->addRow(name + QStringLiteral(" (GHz)"), edit);
    }
    rl_edit_ = new QLineEdit;
    rl_edit_->setObjectName(QStringLiteral("RL_ohm"));
    rl_edit_->setAccessibleName(QStringLiteral("RL in ohm"));
    rl_edit_->setToolTip(QStringLiteral("Load resistance RL in ohm"));
    connect(rl_edit_, &QLineEdit::editingFinished, this, [this] {
        const auto rl = text_to_number(rl_edit_->text().toStdString());
        if (rl && *rl != rl_ohm_) {
            set_rl(*rl);
        }
    });
    form->addRow(QStringLiteral("RL (\u03a9)"), rl_edit_);
    rl_slider_ = new QSlider(Qt::Horizontal);
    rl_slider_->setObjectName(QStringLiteral("RL_slider"));
    rl_slider_->setAccessibleName(QStringLiteral("RL, logarithmic"));
    rl_slider_->setToolTip(
        QStringLiteral("RL on a logarithmic scale over the range the chosen topology accepts"));
    rl_slider_->setRange(0, slider_steps);
    rl_slider_->setSingleStep(1);
    rl_slider_->setPageStep(slider_steps / 40);
    rl_slider_->setFocusPolicy(Qt::StrongFocus);
    connect(rl_slider_, &QSlider::sliderPressed, this, [this] { record_change(); });
    connect(rl_slider_, &QSlider::valueChanged, this, [this](int value) {
        const auto [lo, hi] = rl_slider_range_;
        set_rl(rl_at({lo, hi, {}}, static_cast<double>(value) / slider_steps));
    });
    // The slider and its range take the panel's whole width.
    form->addRow(rl_slider_);
    rl_range_ = new QLabel;
    rl_range_->setObjectName(QStringLiteral("RL_range"));
    rl_range_->setAccessibleName(QStringLiteral("Range of RL"));
    rl_range_->setWordWrap(true);
    form->addRow(rl_range_);
    series_box_ = new QComboBox;
    series_box_->setObjectName(QStringLiteral("standard_values"));
    series_box_->setAccessibleName(QStringLiteral("Standard part values"));
    series_box_->setToolTip(QStringLiteral("Show and export the model with the nearest values of "
                                           "a standard series for Ls, Cs, Lp and Cp"));
    series_box_->addItem(QStringLiteral("none"));
    for (const rf::ESeries series : {rf::ESeries::E6, rf::ESeries::E12, rf::ESeries::E24,
                                     rf::ESeries::E48, rf::ESeries::E96, rf::ESeries::E192}) {
        series_box_->addItem(qs(rf::e_series_name(series)), static_cast<int>(series));
    }
    connect(series_box_, &QComboBox::currentIndexChanged, this, [this](int index) {
        series_.reset();
        if (index > 0) {
            series_ = static_cast<rf::ESeries>(series_box_->itemData(index).toInt());
        }
        fill_results();
        build_picture();
    });
    auto* series_label = new QLabel(QStringLiteral("&Standard values"));
    series_label->setBuddy(series_box_);
    form->addRow(series_label, series_box_);
    return box;
}

QWidget* FitWindow::build_best_panel() {
    auto* box = new QGroupBox(QStringLiteral("Best fit"));
    auto* layout = new QGridLayout(box);
    search_rl_ = new QCheckBox(QStringLiteral("Search &RL"));
    search_rl_->setObjectName(QStringLiteral("search_rl"));
    search_rl_->setToolTip(QStringLiteral("Search RL for each pair and choice instead of keeping "
                                          "the RL of the field"));
    best_button_ = new QPushButton(QStringLiteral("&Best fit"));
    best_button_->setObjectName(QStringLiteral("best_fit"));
    best_button_->setToolTip(QStringLiteral("Try every pair of samples with all eight choices and "
                                            "list the five models closest to the data"));
    connect(best_button_, &QPushButton::clicked, this, &FitWindow::start_best_fit);
    cancel_button_ = new QPushButton(QStringLiteral("Cancel"));
    cancel_button_->setObjectName(QStringLiteral("cancel"));
    cancel_button_->setEnabled(false);
    connect(cancel_button_, &QPushButton::clicked, this, [this] {
        full_pending_ = false;
        quick_pending_ = false;
        stop_search();
        cancel_button_->setEnabled(false);
    });
    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(50);
    connect(progress_timer_, &QTimer::timeout, this, [this] {
        if (search_control_ && !search_control_->stop.load()) {
            progress_->setValue(search_control_->done.load());
        }
    });
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setAccessibleName(QStringLiteral("Best-fit progress"));
    progress_->setRange(0, slider_steps);
    progress_->setValue(0);
    best_list_ = new QListWidget;
    best_list_->setObjectName(QStringLiteral("best_list"));
    best_list_->setAccessibleName(QStringLiteral("The five best models"));
    best_list_->setToolTip(QStringLiteral("Click a model to take its points, RL and choice"));
    connect(best_list_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { take_candidate(best_list_->row(item)); });
    connect(best_list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { take_candidate(best_list_->row(item)); });
    layout->addWidget(best_button_, 0, 0);
    layout->addWidget(search_rl_, 0, 1);
    layout->addWidget(cancel_button_, 0, 2);
    layout->addWidget(progress_, 1, 0, 1, 3);
    layout->addWidget(best_list_, 2, 0, 1, 3);
    return box;
}

void FitWindow::build_actions() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QToolBar* tools = addToolBar(QStringLiteral("Main"));
    tools->setObjectName(QStringLiteral("toolbar"));

    QAction* open = file->addAction(QStringLiteral("&Open\u2026"), this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open measured data"), last_folder_,
            QStringLiteral("Touchstone files (*.s*p *.S*P *.ts);;All files (*)"));
        if (!path.isEmpty()) {
            last_folder_ = QFileInfo(path).absolutePath();
            open_file(path, 1);
        }
    });
    open->setShortcut(QKeySequence::Open);
    open->setToolTip(QStringLiteral("Open a Touchstone file (.s1p, .s2p, ..., .ts)"));
    tools->addAction(open);
    recent_menu_ = file->addMenu(QStringLiteral("Open &recent"));
    file->addSeparator();

    QMenu* exports = file->addMenu(QStringLiteral("&Export"));
    const std::array<std::pair<const char*, Export>, 5> kinds = {{
        {"&Touchstone file of the model\u2026", Export::Touchstone},
        {"&SPICE subcircuit\u2026", Export::Spice},
        {"Picture as S&VG\u2026", Export::Svg},
        {"Picture as &PNG\u2026", Export::Png},
        {"&Report Model.prt\u2026", Export::Report},
    }};
    for (const auto& [title, kind] : kinds) {
        exports->addAction(QString::fromUtf8(title), this,
                           [this, kind = kind] { export_with_dialog(kind); });
    }
    match_->add_export_actions(exports);
    QAction* copy = file->addAction(QStringLiteral("&Copy results"), this, [this] {
        QGuiApplication::clipboard()->setText(results_text());
    });
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    copy->setToolTip(QStringLiteral("Copy the chosen model's results as text"));
    tools->addAction(copy);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    undo_action_ = edit->addAction(QStringLiteral("&Undo model change"), this, &FitWindow::undo);
    undo_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo_action_->setToolTip(QStringLiteral("Back to the points, RL and choice before the last "
                                            "change"));
    undo_action_->setEnabled(false);
    redo_action_ = edit->addAction(QStringLiteral("&Redo model change"), this, &FitWindow::redo);
    redo_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    redo_action_->setEnabled(false);
    edit->addSeparator();
    QAction* on_open = edit->addAction(QStringLiteral("&Model on opening (quick best fit)"));
    on_open->setObjectName(QStringLiteral("fit_on_open"));
    on_open->setCheckable(true);
    on_open->setChecked(fit_on_open_);
    on_open->setToolTip(QStringLiteral("Opening data runs a quick best fit on a few samples, "
                                       "with RL searched, and shows its model"));
    connect(on_open, &QAction::toggled, this, &FitWindow::set_fit_on_open);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    show_match_ = view->addAction(QStringLiteral("&Match panel"));
    show_match_->setObjectName(QStringLiteral("show_match"));
    show_match_->setCheckable(true);
    show_match_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    show_match_->setToolTip(QStringLiteral("Design a matching network for the data: band, bound, "
                                           "networks, parts and yield"));
    connect(show_match_, &QAction::toggled, this, [this](bool on) {
        match_dock_->setVisible(on);
        match_->set_active(on);
        build_picture();
    });
    tools->addAction(show_match_);

    QAction* best = new QAction(QStringLiteral("Best fit"), this);
    best->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(best, &QAction::triggered, this, &FitWindow::start_best_fit);
    addAction(best);

    tools->addSeparator();
    auto* port_label = new QLabel(QStringLiteral(" &Port "));
    port_ = new QSpinBox;
    port_->setObjectName(QStringLiteral("port"));
    port_->setAccessibleName(QStringLiteral("Port"));
    port_->setToolTip(QStringLiteral("The port whose reflection is fitted (multi-port files)"));
    port_->setRange(1, 1);
    port_->setEnabled(false);
    port_label->setBuddy(port_);
    connect(port_, &QSpinBox::valueChanged, this, [this](int port) {
        if (network_ && (!data_ || data_->port != port)) {
            take_port(port);
        }
    });
    tools->addWidget(port_label);
    tools->addWidget(port_);
}

} // namespace veltrane::fit
