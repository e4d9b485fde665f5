#include "fit/fit_window.h"

#include "fit/chart_view.h"
#include "fit/picture_painter.h"
#include "format/text_number.h"
#include "io/safe_file.h"
#include "rf/choices.h"
#include "rf/model_check.h"
#include "rf/model_files.h"
#include "rf/numbers.h"
#include "rf/svg.h"
#include "rf/sweep.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString number(double value, int digits = 6) {
    return qs(rf::readable(value, digits));
}

std::string file_name(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

constexpr int max_recent = 8;
constexpr int slider_steps = 1000;
// Points on the model's curve when the data have more samples than this.
constexpr std::size_t max_model_points = 2001;
constexpr std::size_t max_drawn_samples = 20000;

const rf::Colour f1_colour{210, 95, 0};
const rf::Colour f2_colour{125, 0, 170};

struct ResultLabel {
    const char* name;
    const char* unit;
};
constexpr std::array<ResultLabel, 10> result_labels = {{{"Ls", " nH"},
                                                        {"Cs", " pF"},
                                                        {"Lp", " nH"},
                                                        {"Cp", " pF"},
                                                        {"Q1", ""},
                                                        {"Q2", ""},
                                                        {"Q0", ""},
                                                        {"FL", " MHz"},
                                                        {"FH", " MHz"},
                                                        {"F0", " MHz"}}};

QString point_text(std::string_view label, const DataPoint& p) {
    const double x = p.z_ohm.imag();
    return qs(label) + QStringLiteral(" = ") + number(p.f_ghz, 9) + QStringLiteral(" GHz: ") +
           number(p.z_ohm.real()) + (x < 0 ? QStringLiteral(" \u2212 j") : QStringLiteral(" + j")) +
           number(std::fabs(x)) + QStringLiteral(" \u03a9, ") +
           (p.interpolated ? QStringLiteral("interpolated") : QStringLiteral("measured"));
}

QString fit_text(const rf::FitStats& fit) {
    return QStringLiteral("max |\u0394\u0393| ") + number(fit.max, 4) + QStringLiteral(" at ") +
           number(fit.at_ghz) + QStringLiteral(" GHz, rms ") + number(fit.rms, 4) +
           QStringLiteral(", ") + QString::number(fit.points) + QStringLiteral(" samples");
}

} // namespace

FitWindow::FitWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FitWindow"));
    setWindowTitle(QStringLiteral("Veltrane measured data"));
    setAcceptDrops(true);

    chart_ = new ChartView;
    chart_->setObjectName(QStringLiteral("chart"));
    chart_->setAccessibleName(QStringLiteral("Smith chart and return loss"));
    chart_->setToolTip(QStringLiteral("Drag the F1 and F2 markers along the data; the arrow keys "
                                      "move F1 by one sample, with Shift F2"));
    chart_->setFocusPolicy(Qt::StrongFocus);
    connect(chart_, &ChartView::pressed, this, &FitWindow::chart_pressed);
    connect(chart_, &ChartView::dragged, this, &FitWindow::chart_dragged);
    connect(chart_, &ChartView::released, this, [this] { dragging_.reset(); });
    connect(chart_, &ChartView::hovered, this, &FitWindow::chart_hovered);
    connect(chart_, &ChartView::left, this, [this] { readout_->clear(); });
    connect(chart_, &ChartView::stepped, this, [this](int marker, int delta) {
        if (!data_ || data_->f_ghz.empty()) {
            return;
        }
        if (const auto f = step_sample(data_->f_ghz, f_ghz_[marker], delta)) {
            set_point(static_cast<std::size_t>(marker), *f);
        }
    });

    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("message"));
    message_->setAccessibleName(QStringLiteral("Message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold"));
    message_->setText(QStringLiteral("Open a Touchstone file (File > Open, or drop it here)."));

    readout_ = new QLabel;
    readout_->setObjectName(QStringLiteral("readout"));
    readout_->setAccessibleName(QStringLiteral("Cursor read-out"));
    readout_->setMinimumHeight(readout_->fontMetrics().height() + 4);

    auto* upper = new QWidget;
    auto* upper_layout = new QVBoxLayout(upper);
    upper_layout->setContentsMargins(4, 4, 4, 0);
    upper_layout->addWidget(message_);
    upper_layout->addWidget(chart_, 1);
    upper_layout->addWidget(readout_);

    table_ = new QTableWidget(static_cast<int>(rf::all_choices.size()), 3);
    table_->setObjectName(QStringLiteral("choices"));
    table_->setAccessibleName(QStringLiteral("The eight choices"));
    table_->setToolTip(QStringLiteral("Every crossover and topology combination for the two points "
                                      "and RL; click a row to choose it"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Choice"), QStringLiteral("Outcome"),
                                       QStringLiteral("Band |\u0394\u0393|")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(rf::all_choices.size()) ||
            rf::all_choices[static_cast<std::size_t>(row)] == chosen_) {
            return;
        }
        chosen_ = rf::all_choices[static_cast<std::size_t>(row)];
        fill_results();
        update_rl_controls();
        build_picture();
    });

    results_ = new QPlainTextEdit;
    results_->setObjectName(QStringLiteral("results"));
    results_->setAccessibleName(QStringLiteral("Results of the chosen model"));
    results_->setReadOnly(true);
    results_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    results_->setTabChangesFocus(true);

    auto* right = new QSplitter(Qt::Vertical);
    right->addWidget(results_);
    right->addWidget(build_best_panel());
    right->setObjectName(QStringLiteral("right_split"));

    lower_split_ = new QSplitter(Qt::Horizontal);
    lower_split_->setObjectName(QStringLiteral("lower_split"));
    lower_split_->addWidget(build_points_panel());
    lower_split_->addWidget(table_);
    lower_split_->addWidget(right);
    lower_split_->setStretchFactor(1, 2);
    lower_split_->setStretchFactor(2, 2);

    split_ = new QSplitter(Qt::Vertical);
    split_->setObjectName(QStringLiteral("split"));
    split_->addWidget(upper);
    split_->addWidget(lower_split_);
    split_->setStretchFactor(0, 3);
    split_->setStretchFactor(1, 2);
    setCentralWidget(split_);
    split_->setSizes({470, 350});
    lower_split_->setSizes({230, 470, 500});
    right->setSizes({240, 110});

    build_actions();
    restore_settings();

    connect(&reader_, &QFutureWatcher<ReadResult>::finished, this,
            [this] { file_read(reading_path_, reading_port_); });
    connect(&searcher_, &QFutureWatcher<Searched>::finished, this, &FitWindow::best_fit_finished);
    best_button_->setEnabled(false); // until there are data
    fill_table();
    update_rl_controls();
    build_picture();
}

FitWindow::~FitWindow() {
    if (stop_search_) {
        stop_search_->store(true);
    }
    searcher_.waitForFinished();
    reader_.waitForFinished();
}

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
    rl_slider_->setPageStep(slider_steps / 20);
    connect(rl_slider_, &QSlider::valueChanged, this, [this](int value) {
        const auto [lo, hi] = rl_slider_range_;
        set_rl(rl_at({lo, hi, {}}, static_cast<double>(value) / slider_steps));
    });
    form->addRow(QString(), rl_slider_);
    rl_range_ = new QLabel;
    rl_range_->setObjectName(QStringLiteral("RL_range"));
    rl_range_->setWordWrap(true);
    form->addRow(QString(), rl_range_);
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
        if (stop_search_) {
            stop_search_->store(true);
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
    QAction* copy = file->addAction(QStringLiteral("&Copy results"), this, [this] {
        QGuiApplication::clipboard()->setText(results_text());
    });
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    copy->setToolTip(QStringLiteral("Copy the chosen model's results as text"));
    tools->addAction(copy);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

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

void FitWindow::restore_settings() {
    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    split_->restoreState(settings.value(QStringLiteral("split")).toByteArray());
    lower_split_->restoreState(settings.value(QStringLiteral("lower_split")).toByteArray());
    recent_ = settings.value(QStringLiteral("recent")).toStringList();
    last_folder_ = settings.value(QStringLiteral("folder")).toString();
    if (settings.value(QStringLiteral("geometry")).isNull()) {
        resize(1200, 820);
    }
    fill_recent_menu();
}

void FitWindow::save_settings() {
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("split"), split_->saveState());
    settings.setValue(QStringLiteral("lower_split"), lower_split_->saveState());
    settings.setValue(QStringLiteral("recent"), recent_);
    settings.setValue(QStringLiteral("folder"), last_folder_);
}

void FitWindow::closeEvent(QCloseEvent* event) {
    save_settings();
    QMainWindow::closeEvent(event);
}

void FitWindow::fill_recent_menu() {
    recent_menu_->clear();
    for (const QString& path : recent_) {
        recent_menu_
            ->addAction(QFileInfo(path).fileName(), this, [this, path] { open_file(path, 1); })
            ->setToolTip(path);
    }
    recent_menu_->setEnabled(!recent_.isEmpty());
}

void FitWindow::add_recent(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(absolute);
    recent_.prepend(absolute);
    while (recent_.size() > max_recent) {
        recent_.removeLast();
    }
    fill_recent_menu();
    QSettings().setValue(QStringLiteral("recent"), recent_);
}

void FitWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void FitWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
        open_file(urls.front().toLocalFile(), 1);
    }
}

void FitWindow::open_file(const QString& path, int port) {
    if (reader_.isRunning()) {
        reader_.waitForFinished(); // one read at a time; the newer request wins
    }
    reading_path_ = path;
    reading_port_ = port;
    statusBar()->showMessage(QStringLiteral("Reading ") + path + QStringLiteral("\u2026"));
    const std::string name = file_name(path);
    const std::string legend = QFileInfo(path).fileName().toStdString();
    const auto read_and_take = [name, legend, port]() -> ReadResult {
        auto read = rf::read_touchstone_file(name);
        if (auto* text = std::get_if<std::string>(&read)) {
            return std::move(*text);
        }
        auto& network = std::get<rf::Network>(read);
        network.source = legend;
        auto taken = rf::port_data(network, port);
        if (auto* text = std::get_if<std::string>(&taken)) {
            return std::move(*text);
        }
        auto data = std::get<rf::PortData>(std::move(taken));
        auto first = start(data);
        if (!first) {
            return name + ": no samples";
        }
        return std::make_shared<Opened>(
            Opened{std::move(network), std::move(data), std::move(first)});
    };
    reader_.setFuture(QtConcurrent::run([name, read_and_take]() -> ReadResult {
        // Nothing may leave a worker thread: an exception there would end the program.
        try {
            return read_and_take();
        } catch (const std::bad_alloc&) {
            return "Not enough memory to read " + name;
        } catch (const std::exception& error) {
            return "Cannot read " + name + ": " + error.what();
        } catch (...) {
            return "Cannot read " + name;
        }
    }));
}

void FitWindow::file_read(const QString& path, int port) {
    statusBar()->clearMessage();
    ReadResult result = reader_.result();
    if (auto* text = std::get_if<std::string>(&result)) {
        show_message(qs(*text));
        emit refused();
        return;
    }
    Opened& opened = *std::get<std::shared_ptr<Opened>>(result);
    forget_search();
    network_ = std::move(opened.network);
    data_ = std::move(opened.data);
    auto first = std::move(opened.start);
    path_ = path;
    add_recent(path);
    {
        const QSignalBlocker block(port_);
        port_->setRange(1, network_->ports);
        port_->setValue(port);
        port_->setEnabled(network_->ports > 1);
    }
    take_port(port, std::move(first));
    emit loaded();
}

void FitWindow::take_port(int port, std::optional<Start> first) {
    if (!network_) {
        return;
    }
    if (!data_ || data_->port != port) {
        auto taken = rf::port_data(*network_, port);
        if (auto* text = std::get_if<std::string>(&taken)) {
            show_message(qs(*text));
            return;
        }
        forget_search();
        data_ = std::get<rf::PortData>(std::move(taken));
    }
    if (!first) {
        first = start(*data_);
    }
    if (!first) {
        show_message(qs(data_->source) + QStringLiteral(": no samples at port ") +
                     QString::number(port));
        return;
    }
    z0_ohm_ = data_->reference_ohm;
    curve_ = finite_curve(*data_);
    setWindowTitle(QFileInfo(path_).fileName() + QStringLiteral(", port ") + QString::number(port) +
                   QStringLiteral(" \u2014 Veltrane measured data"));
    // The chart draws at most max_drawn_samples of the data: more cannot be told apart on it.
    drawn_ = thinned(*data_, max_drawn_samples);
    f_ghz_ = first->f_ghz;
    rl_ohm_ = first->rl_ohm;
    chosen_ = first->choice;
    evaluation_ = std::move(first->evaluation);
    best_button_->setEnabled(!searcher_.isRunning());
    show_evaluation();
}

void FitWindow::show_message(const QString& text) {
    message_->setText(text);
}

QString FitWindow::message() const {
    return message_->text();
}

void FitWindow::set_point(std::size_t which, double f_ghz) {
    f_ghz_[which] = f_ghz;
    recompute();
}

void FitWindow::set_rl(double rl_ohm) {
    if (!std::isfinite(rl_ohm)) {
        return;
    }
    rl_ohm_ = rl_ohm;
    recompute();
}

const ChoiceRow* FitWindow::chosen_row() const {
    for (const ChoiceRow& row : evaluation_.rows) {
        if (row.choice == chosen_) {
            return &row;
        }
    }
    return nullptr;
}

void FitWindow::recompute() {
    if (!data_) {
        return;
    }
    evaluation_ = evaluate(*data_, f_ghz_[0], f_ghz_[1], rl_ohm_, z0_ohm_);
    show_evaluation();
}

void FitWindow::show_evaluation() {
    show_message(evaluation_.message ? qs(*evaluation_.message) : QString());
    for (std::size_t k = 0; k < 2; ++k) {
        if (!f_edit_[k]->hasFocus() || dragging_) {
            f_edit_[k]->setText(number(f_ghz_[k], 9));
        }
    }
    if (!rl_edit_->hasFocus()) {
        rl_edit_->setText(number(rl_ohm_, 9));
    }
    fill_table();
    fill_results();
    update_rl_controls();
    build_picture();
}

void FitWindow::fill_table() {
    const QSignalBlocker block(table_);
    for (std::size_t i = 0; i < rf::all_choices.size(); ++i) {
        const int r = static_cast<int>(i);
        const Choice choice = rf::all_choices[i];
        QString outcome;
        QString error;
        if (i < evaluation_.rows.size()) {
            const ChoiceRow& row = evaluation_.rows[i];
            if (const auto* state = std::get_if<Result>(&row.outcome)) {
                outcome = qs(element_line(*state));
                error = row.band_fit ? number(row.band_fit->max, 4) : QStringLiteral("no sample");
            } else {
                outcome = qs(std::get<std::string>(row.outcome));
            }
        } else if (evaluation_.message) {
            outcome = QStringLiteral("\u2014");
        }
        const std::array<QString, 3> cells = {qs(choice_label(choice)), outcome, error};
        for (int c = 0; c < 3; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                table_->setItem(r, c, item);
            }
            item->setText(cells[static_cast<std::size_t>(c)]);
            if (c == 1) {
                item->setToolTip(cells[1]);
            }
        }
        if (choice == chosen_ && data_) {
            table_->setCurrentCell(r, 0);
            table_->selectRow(r);
        }
    }
}

void FitWindow::fill_results() {
    view_.reset();
    if (!data_ || evaluation_.message) {
        results_->setPlainText(evaluation_.message ? qs(*evaluation_.message) : QString());
        return;
    }
    const auto& [p1, p2] = evaluation_.points;
    view_ = calculator_view(p1, p2, rl_ohm_, chosen_);
    QStringList lines;
    lines << qs(choice_label(chosen_)) + QStringLiteral(", RL = ") + number(rl_ohm_, 9) +
                 QStringLiteral(" \u03a9");
    lines << point_text("F1", p1) << point_text("F2", p2) << QString();
    if (view_->message) {
        lines << qs(*view_->message);
    } else {
        for (std::size_t i = 0; i < result_labels.size(); ++i) {
            lines << QString::fromLatin1(result_labels[i].name) + QStringLiteral(" ") +
                         qs(view_->results[i]) + QString::fromLatin1(result_labels[i].unit);
        }
    }
    if (const ChoiceRow* row = chosen_row()) {
        if (const auto* state = std::get_if<Result>(&row->outcome)) {
            const rf::ModelCheck check = rf::check_model(*state, chosen_.topology);
            lines << QString()
                  << QStringLiteral("Check: the model at F1 and F2 within ") +
                         number(check.max_error_ohm, 3) + QStringLiteral(" \u03a9") +
                         (check.unreliable ? QStringLiteral(" (unreliable: ill-conditioned inputs)")
                                           : QString());
            if (const auto note = rf::negative_note(*state)) {
                lines << qs(*note);
            }
            lines << QStringLiteral("Fit over FL..FH: ") +
                         (row->band_fit ? fit_text(*row->band_fit)
                                        : QStringLiteral("no sample in the band"));
            const auto model = rf::LumpedModel::from(*state, chosen_.topology);
            if (const auto all = rf::fit_all(model, *data_, z0_ohm_)) {
                lines << QStringLiteral("Fit over the data: ") + fit_text(*all);
            }
            if (series_) {
                const auto standard = rf::standard_model(model, *series_);
                const QString name = qs(rf::e_series_name(*series_));
                lines << QString()
                      << name + QStringLiteral(" values: Ls ") + number(standard.ls_nh, 3) +
                             QStringLiteral(" nH, Cs ") + number(standard.cs_pf, 3) +
                             QStringLiteral(" pF, Lp ") + number(standard.lp_nh, 3) +
                             QStringLiteral(" nH, Cp ") + number(standard.cp_pf, 3) +
                             QStringLiteral(" pF");
                if (const auto band = rf::fit(standard, *data_, z0_ohm_, state->FL, state->FH)) {
                    lines << name + QStringLiteral(" fit over FL..FH: ") + fit_text(*band);
                }
            }
        }
    }
    results_->setPlainText(lines.join(QLatin1Char('\n')));
}

QString FitWindow::results_text() const {
    return results_->toPlainText();
}

void FitWindow::update_rl_controls() {
    const bool have = data_ && !evaluation_.message;
    rl_slider_->setEnabled(have);
    if (!have) {
        rl_range_->clear();
        return;
    }
    const auto& [p1, p2] = evaluation_.points;
    const auto scale = rl_scale(chosen_.topology, p1, p2);
    if (!scale) {
        rl_slider_->setEnabled(false);
        rl_range_->setText(QStringLiteral("No RL fits this topology at these points"));
        return;
    }
    rl_slider_range_ = {scale->lo_ohm, scale->hi_ohm};
    rl_range_->setText(qs(scale->text));
    const QSignalBlocker block(rl_slider_);
    rl_slider_->setValue(
        static_cast<int>(std::lround(rl_position(*scale, rl_ohm_) * slider_steps)));
}

void FitWindow::build_picture() {
    rf::PlotInput input;
    input.z0_ohm = z0_ohm_;
    std::optional<Result> state;
    if (const ChoiceRow* row = chosen_row()) {
        if (const auto* s = std::get_if<Result>(&row->outcome)) {
            state = *s;
        }
    }
    if (state) {
        input.model = rf::LumpedModel::from(*state, chosen_.topology);
        input.calculation = &*state;
        if (series_) {
            input.standard = rf::standard_model(input.model, *series_);
            input.standard_name = std::string(rf::e_series_name(*series_));
        }
    } else {
        input.draw_model = false;
    }
    if (data_ && !data_->f_ghz.empty()) {
        input.data = drawn_ ? &*drawn_ : &*data_;
        const double lo = data_->f_ghz.front();
        const double hi = data_->f_ghz.back();
        if (data_->f_ghz.size() <= max_model_points) {
            input.f_ghz = data_->f_ghz;
        } else {
            input.f_ghz =
                rf::sweep_frequencies({lo, hi, static_cast<long>(max_model_points), false});
        }
    } else {
        input.draw_model = false;
        input.f_ghz = {1.0, 2.0};
    }
    picture_ = rf::model_picture(input);
    handles_.clear();
    if (data_ && !evaluation_.message) {
        for (std::size_t k = 0; k < 2; ++k) {
            const DataPoint& p = evaluation_.points[k];
            handles_.push_back({k == 0 ? "F1" : "F2", p.f_ghz, rf::reflection(p.z_ohm, z0_ohm_),
                                k == 0 ? f1_colour : f2_colour});
        }
        // The picture names the model's F1 and F2 on the chart itself when there is a model.
        add_handles(picture_, picture_.frame, handles_, !state.has_value());
    }
    chart_->set_picture(&picture_);
}

void FitWindow::chart_pressed(QPointF p) {
    if (!data_) {
        return;
    }
    dragging_ = handle_at(picture_.frame, handles_, {p.x(), p.y()}, 6 * chart_->units_per_pixel());
}

void FitWindow::chart_dragged(QPointF p) {
    if (!dragging_) {
        chart_hovered(p); // a press beside the markers moves nothing
        return;
    }
    if (!data_) {
        return;
    }
    const double unit = chart_->units_per_pixel();
    const auto f = frequency_at(picture_.frame, curve_, {p.x(), p.y()}, 1e9, 4 * unit);
    if (f && *f != f_ghz_[*dragging_]) {
        set_point(*dragging_, *f);
    }
    // The read-out follows the marker, from the point just taken.
    if (evaluation_.message) {
        readout_->clear();
        return;
    }
    const DataPoint& at = evaluation_.points[*dragging_];
    show_readout(QStringLiteral("f ") + number(at.f_ghz) + QStringLiteral(" GHz   "),
                 rf::reflection(at.z_ohm, z0_ohm_));
}

void FitWindow::chart_hovered(QPointF p) {
    if (!data_) {
        return;
    }
    const rf::Point at{p.x(), p.y()};
    const auto f = frequency_at(picture_.frame, curve_, at, 10 * chart_->units_per_pixel(),
                                3 * chart_->units_per_pixel());
    if (f) {
        const auto point = rf::impedance_at(*data_, *f, "f");
        if (const auto* d = std::get_if<DataPoint>(&point)) {
            show_readout(QStringLiteral("f ") + number(*f) + QStringLiteral(" GHz   "),
                         rf::reflection(d->z_ohm, z0_ohm_));
            return;
        }
    } else if (const auto under = smith_reflection(picture_.frame, at)) {
        show_readout(QStringLiteral("chart   "), *under);
        return;
    }
    readout_->clear();
}

void FitWindow::show_readout(const QString& where, rf::Complex g) {
    QString text = where;
    const rf::Complex z = rf::impedance_from_reflection(g, z0_ohm_);
    text += QStringLiteral("R + jX = ");
    if (std::isfinite(z.real()) && std::isfinite(z.imag())) {
        text += number(z.real(), 5) +
                (z.imag() < 0 ? QStringLiteral(" \u2212 j") : QStringLiteral(" + j")) +
                number(std::fabs(z.imag()), 5) + QStringLiteral(" \u03a9");
    } else {
        text += QStringLiteral("open");
    }
    text += QStringLiteral("   |\u0393| = ") + number(std::abs(g), 4) +
            QStringLiteral("   return loss ") + number(return_loss_db(g), 4) +
            QStringLiteral(" dB");
    readout_->setText(text);
}

// New data: a search still running was started on other data, so it is stopped and what it
// finds is dropped; the models listed for the old data go.
void FitWindow::forget_search() {
    ++search_generation_;
    if (stop_search_) {
        stop_search_->store(true);
    }
    candidates_.clear();
    best_list_->clear();
    progress_->setValue(0);
    cancel_button_->setEnabled(false);
    best_button_->setEnabled(data_.has_value() && !searcher_.isRunning());
}

void FitWindow::start_best_fit() {
    if (!data_ || searcher_.isRunning()) {
        return;
    }
    rf::BestFitOptions options;
    options.z0_ohm = z0_ohm_;
    if (!search_rl_->isChecked()) {
        options.rl_ohm = rl_ohm_;
    }
    stop_search_ = std::make_shared<std::atomic<bool>>(false);
    QPointer<QProgressBar> bar = progress_;
    auto stop = stop_search_;
    rf::BestFitProgress progress = [stop, bar](double done) {
        QMetaObject::invokeMethod(
            bar,
            [stop, bar, done] {
                if (bar && !stop->load()) {
                    bar->setValue(static_cast<int>(done * slider_steps));
                }
            },
            Qt::QueuedConnection);
        return !stop->load();
    };
    progress_->setValue(0);
    best_button_->setEnabled(false);
    cancel_button_->setEnabled(true);
    show_message({});
    searcher_.setFuture(
        QtConcurrent::run([data = *data_, options, progress, generation = search_generation_] {
            // Nothing may leave a worker thread: an exception there would end the program.
            try {
                return Searched{generation, rf::best_fit(data, options, progress)};
            } catch (const std::bad_alloc&) {
                return Searched{generation, std::string{"Not enough memory for the search"}};
            } catch (...) {
                return Searched{generation, std::string{"The search failed"}};
            }
        }));
}

void FitWindow::best_fit_finished() {
    Searched searched = searcher_.result();
    best_button_->setEnabled(data_.has_value());
    cancel_button_->setEnabled(false);
    if (searched.generation != search_generation_) {
        emit best_fit_done(); // started on data no longer shown: nothing of it applies here
        return;
    }
    auto& result = searched.result;
    if (auto* text = std::get_if<std::string>(&result)) {
        progress_->setValue(0);
        show_message(qs(*text));
        emit best_fit_done();
        return;
    }
    progress_->setValue(slider_steps);
    const rf::BestFit& found = std::get<rf::BestFit>(result);
    candidates_ = found.best;
    best_list_->clear();
    for (const rf::Candidate& c : candidates_) {
        best_list_->addItem(qs(choice_label(c.choice)) + QStringLiteral(" \u00b7 ") +
                            number(c.f1_ghz) + QStringLiteral(", ") + number(c.f2_ghz) +
                            QStringLiteral(" GHz \u00b7 RL ") + number(c.rl_ohm, 4) +
                            QStringLiteral(" \u03a9 \u00b7 |\u0394\u0393| ") +
                            number(c.max_error, 3));
    }
    if (!found.positive_found) {
        show_message(QStringLiteral("No model with four positive elements: the best of the "
                                    "others are listed"));
    }
    emit best_fit_done();
}

void FitWindow::take_candidate(int row) {
    if (row < 0 || row >= static_cast<int>(candidates_.size())) {
        return;
    }
    const rf::Candidate& c = candidates_[static_cast<std::size_t>(row)];
    f_ghz_ = {c.f1_ghz, c.f2_ghz};
    rl_ohm_ = c.rl_ohm;
    chosen_ = c.choice;
    recompute();
}

std::optional<QString> FitWindow::export_to(Export kind, const QString& path) {
    const ChoiceRow* row = chosen_row();
    const Result* state = row != nullptr ? std::get_if<Result>(&row->outcome) : nullptr;
    std::string bytes;
    if (kind == Export::Svg || kind == Export::Png) {
        if (!data_) {
            return QStringLiteral("Nothing to draw: open a file first");
        }
    } else if (state == nullptr || !view_ || view_->message) {
        return QStringLiteral("The chosen row gives no model to export");
    }
    rf::DescribedModel described;
    if (state != nullptr) {
        described.model = rf::LumpedModel::from(*state, chosen_.topology);
        if (series_) {
            described = {rf::standard_model(described.model, *series_), series_, described.model};
        }
    }
    switch (kind) {
    case Export::Touchstone: {
        std::vector<double> f;
        std::copy_if(data_->f_ghz.begin(), data_->f_ghz.end(), std::back_inserter(f),
                     [](double v) { return v >= 0; });
        bytes = rf::touchstone_text(described, f, z0_ohm_);
        break;
    }
    case Export::Spice:
        bytes = rf::spice_text(described, *state, chosen_, rf::default_sweep(*state));
        break;
    case Export::Svg:
        bytes = rf::svg_text(picture_);
        break;
    case Export::Png: {
        const auto png = png_bytes(picture_, 2);
        if (!png) {
            return QStringLiteral("Cannot write ") + path +
                   QStringLiteral(": the picture cannot be encoded as PNG");
        }
        bytes.assign(png->constData(), static_cast<std::size_t>(png->size()));
        break;
    }
    case Export::Report:
        bytes = view_->report;
        break;
    }
    if (auto failed = write_file_safely(std::filesystem::path(file_name(path)), bytes)) {
        return qs(*failed);
    }
    return std::nullopt;
}

void FitWindow::export_with_dialog(Export kind) {
    struct Kind {
        const char* title;
        const char* name;
        const char* filter;
    };
    static constexpr std::array<Kind, 5> kinds = {{
        {"Export the model as Touchstone", "model.s1p", "Touchstone (*.s1p)"},
        {"Export the model as SPICE", "model.cir", "SPICE (*.cir *.sp *.lib)"},
        {"Export the picture as SVG", "model.svg", "SVG (*.svg)"},
        {"Export the picture as PNG", "model.png", "PNG (*.png)"},
        {"Save the report", "Model.prt", "Report (*.prt)"},
    }};
    const Kind& k = kinds[static_cast<std::size_t>(kind)];
    const QString path = QFileDialog::getSaveFileName(
        this, QString::fromLatin1(k.title),
        QDir(last_folder_).filePath(QString::fromLatin1(k.name)), QString::fromLatin1(k.filter));
    if (path.isEmpty()) {
        return;
    }
    last_folder_ = QFileInfo(path).absolutePath();
    QSettings().setValue(QStringLiteral("folder"), last_folder_);
    if (const auto failed = export_to(kind, path)) {
        show_message(*failed);
    } else {
        statusBar()->showMessage(QStringLiteral("Wrote ") + path, 5000);
    }
}

} // namespace veltrane::fit
