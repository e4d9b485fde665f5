#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/chart_view.h"
#include "fit/match_panel.h"
#include "rf/choices.h"
#include "rf/model_check.h"
#include "views/people_text.h"

#include <QAction>
#include <QBrush>
#include <QColor>

#include <QDockWidget>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace veltrane::fit {

namespace {

// The table's columns sized to their contents: the choice, the mark and the figure.
constexpr std::array<int, 3> fitted_columns{0, 2, 3};

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
    connect(chart_, &ChartView::released, this, [this] {
        dragging_.reset();
        match_->release();
    });
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

    auto* upper = new QWidget;
    auto* upper_layout = new QVBoxLayout(upper);
    upper_layout->setContentsMargins(4, 4, 4, 0);
    upper_layout->addWidget(message_);
    upper_layout->addWidget(chart_, 1);
    upper_layout->addWidget(build_chart_row());

    table_ = new QTableWidget(static_cast<int>(rf::all_choices.size()), 4);
    table_->setObjectName(QStringLiteral("choices"));
    table_->setAccessibleName(QStringLiteral("The eight choices"));
    table_->setToolTip(QStringLiteral("Every crossover and topology combination for the two points "
                                      "and RL; click a row to choose it"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Choice"), QStringLiteral("Outcome"),
                                       QStringLiteral("Check"), qs(data_fit_label)});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    for (const int c : fitted_columns) {
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeaderItem(2)->setToolTip(
        QStringLiteral("negative: an element below zero; degenerate: an element zero or acting as "
                       "a short or an open over the data; warning: see the row's tooltip"));
    table_->horizontalHeaderItem(3)->setToolTip(
        QStringLiteral("The largest difference between the model's and the data's reflection "
                       "over every sample (above 20,000 samples over the 20,000 drawn), as the "
                       "best-fit list gives it"));
    connect(table_, &QTableWidget::currentCellChanged, this, &FitWindow::choose_row);

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
    lower_split_->setSizes({300, 430, 470});
    right->setSizes({240, 110});

    // The Match panel beside the charts; it draws the band and the matched curve on them.
    match_ = new MatchPanel;
    connect(match_, &MatchPanel::changed, this, &FitWindow::build_picture);
    match_->set_picture_source([this] { return export_picture(); });
    match_dock_ = new QDockWidget(QStringLiteral("Match"));
    match_dock_->setObjectName(QStringLiteral("match_dock"));
    // Shown and hidden by View > Match panel only, so that the action always says what is shown.
    match_dock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* match_scroll = new QScrollArea;
    match_scroll->setWidget(match_);
    match_scroll->setWidgetResizable(true);
    match_dock_->setWidget(match_scroll);
    addDockWidget(Qt::RightDockWidgetArea, match_dock_);
    match_dock_->hide(); // the charts have the room until matching is asked for

    build_actions();
    restore_settings();

    connect(&searcher_, &QFutureWatcher<Searched>::finished, this, &FitWindow::best_fit_finished);
    best_button_->setEnabled(false); // until there are data
    fill_table();
    update_rl_controls();
    build_picture();
}

// A search still running is told to stop and left to end on its own: it holds nothing of the
// window, and it answers within a few milliseconds.
FitWindow::~FitWindow() {
    stop_search();
    drop_read();
    // What is left of the destruction closes the window, and the field that has the focus then
    // says it was edited: no child may call into a window that is already half gone.
    for (QObject* child : findChildren<QObject*>()) {
        child->blockSignals(true);
    }
}

void FitWindow::show_message(const QString& text) {
    message_->setText(text);
}

QString FitWindow::message() const {
    return message_->text();
}

void FitWindow::set_point(std::size_t which, double f_ghz) {
    if (!dragging_) {
        record_change(); // a drag was recorded as it began
    }
    f_ghz_[which] = f_ghz;
    recompute();
}

void FitWindow::set_rl(double rl_ohm) {
    if (!std::isfinite(rl_ohm)) {
        return;
    }
    if (!rl_slider_->isSliderDown()) {
        record_change(); // a slider drag was recorded as it began
    }
    rl_ohm_ = rl_ohm;
    recompute();
}

void FitWindow::choose_row(int row) {
    if (row < 0 || row >= static_cast<int>(rf::all_choices.size()) ||
        rf::all_choices[static_cast<std::size_t>(row)] == chosen_) {
        return;
    }
    record_change();
    chosen_ = rf::all_choices[static_cast<std::size_t>(row)];
    show_evaluation();
}

// Large data are judged on fewer samples: every recomputation runs on the event thread.
const rf::PortData* FitWindow::judged() const {
    return judged_.get();
}

ModelState FitWindow::model_state() const {
    return {f_ghz_, rl_ohm_, chosen_};
}

void FitWindow::record_change() {
    if (!data_) {
        return;
    }
    ++changes_;
    history_.record(model_state());
    undo_action_->setEnabled(history_.can_undo());
    redo_action_->setEnabled(history_.can_redo());
}

void FitWindow::show_state(const ModelState& state) {
    f_ghz_ = state.f_ghz;
    rl_ohm_ = state.rl_ohm;
    chosen_ = state.choice;
    recompute();
    undo_action_->setEnabled(history_.can_undo());
    redo_action_->setEnabled(history_.can_redo());
}

void FitWindow::undo() {
    if (const auto back = history_.undo(model_state())) {
        ++changes_;
        show_state(*back);
    }
}

void FitWindow::redo() {
    if (const auto forward = history_.redo(model_state())) {
        ++changes_;
        show_state(*forward);
    }
}

void FitWindow::set_fit_on_open(bool on) {
    fit_on_open_ = on;
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
    evaluation_ = evaluate(*data_, f_ghz_[0], f_ghz_[1], rl_ohm_, z0_ohm_, judged());
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

    highlight_shown_candidate();
}

void FitWindow::fill_table() {
    const QSignalBlocker block(table_);
    // The columns sized to their contents are measured once, when every cell is in: measured
    // after each change, they took most of the time of filling the table.
    QHeaderView* header = table_->horizontalHeader();
    for (const int c : fitted_columns) {
        header->setSectionResizeMode(c, QHeaderView::Interactive);
    }
    for (std::size_t i = 0; i < rf::all_choices.size(); ++i) {
        const int r = static_cast<int>(i);
        const Choice choice = rf::all_choices[i];
        QString outcome;
        QString mark;
        QString error;
        QString why;
        if (i < evaluation_.rows.size()) {
            const ChoiceRow& row = evaluation_.rows[i];
            if (const auto* state = std::get_if<Result>(&row.outcome)) {
                outcome = qs(element_line(*state));
                error = row.data_fit ? number(row.data_fit->max, 4) : QStringLiteral("no sample");
                mark = qs(row_mark(row));
                for (const std::string& warning : row.warnings) {
                    why += (why.isEmpty() ? QString() : QStringLiteral("\n")) +
                           QStringLiteral("Warning: ") + qs(warning);
                }
                if (const auto note = rf::negative_note(*state)) {
                    why += (why.isEmpty() ? QString() : QStringLiteral("\n")) + qs(*note);
                }
            } else {
                outcome = qs(std::get<std::string>(row.outcome));
            }
        } else if (evaluation_.message) {
            outcome = QStringLiteral("\u2014");
        }
        const std::array<QString, 4> cells = {qs(choice_label(choice)), outcome, mark, error};
        // A marked row is tinted as well as named: the word carries it without colour.
        const QBrush tint = mark.isEmpty() ? QBrush() : QBrush(QColor(255, 225, 215));
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                table_->setItem(r, c, item);
            }
            item->setText(cells[static_cast<std::size_t>(c)]);
            item->setBackground(tint);
            item->setForeground(c == 2 ? QBrush(QColor(170, 0, 0)) : QBrush());
            item->setToolTip(
                c == 1 ? cells[1] + (why.isEmpty() ? QString() : QStringLiteral("\n") + why) : why);
        }
        if (choice == chosen_ && data_) {
            table_->setCurrentCell(r, 0);
            table_->selectRow(r);
        }
    }
    for (const int c : fitted_columns) {
        header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
}

void FitWindow::fill_results() {
    Summary summary =
        data_ ? model_summary({&evaluation_, &*data_, chosen_, rl_ohm_, z0_ohm_, series_})
              : model_summary({&evaluation_, nullptr, chosen_, rl_ohm_, z0_ohm_, series_});

    view_ = std::move(summary.view);
    results_->setPlainText(qs(text(summary.lines)));
    const views::ChosenModel shown = views::chosen_model(evaluation_, chosen_);
    match_->set_model(shown.model, shown.band);
}

// Plain ASCII: the text goes to parsers and terminals as well as to people.
QString FitWindow::results_text() const {
    return qs(ascii_text((results_->toPlainText() + match_->results_text()).toStdString()));
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
    rl_slider_->setToolTip(
        QStringLiteral("RL on a logarithmic scale over ") + qs(scale->text) +
        QStringLiteral(": the arrow keys step it by ") +
        number((std::pow(scale->hi_ohm / scale->lo_ohm, 1.0 / slider_steps) - 1) * 100, 2) +
        QStringLiteral(" %"));
}

} // namespace veltrane::fit
