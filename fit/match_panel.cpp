#include "fit/match_panel.h"
#include "fit/window_common.h"

#include "fit/picture_painter.h"
#include "format/text_number.h"
#include "io/safe_file.h"
#include "match/match_files.h"
#include "match/schematic.h"
#include "rf/svg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <new>

namespace veltrane::fit {

// A display list drawn as large as fits: the schematic and the yield's histogram.
class PictureView final : public QWidget {
  public:
    PictureView(const rf::Picture* picture, QSize hint) : picture_(picture), hint_(hint) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMinimumHeight(hint.height());
    }
    [[nodiscard]] QSize sizeHint() const override { return hint_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (picture_ == nullptr || picture_->width <= 0 || picture_->height <= 0) {
            return;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(fit_transform(*picture_, QRectF(rect())));
        paint_picture(painter, *picture_);
    }

  private:
    const rf::Picture* picture_;
    QSize hint_;
};

namespace {

constexpr int histogram_bins = 20;
// Samples of the matched curve on the charts at most.
constexpr std::size_t max_curve_points = 2001;
constexpr double schematic_width = 1000;
constexpr double schematic_base_width = 300;
constexpr double part_width = 115;

std::optional<double> field_number(const QLineEdit* edit) {
    const std::string text = edit->text().trimmed().toStdString();
    if (text.empty()) {
        return std::nullopt;
    }
    return text_to_number(text);
}

QString limit_text(const match::Limit& l) {
    return QStringLiteral("|\u0393| ") + number(l.gamma, 4) + QStringLiteral(", RL ") +
           number(l.rl_db, 4) + QStringLiteral(" dB, gain ") + number(l.gain_db, 4) +
           QStringLiteral(" dB");
}

QLineEdit* line_edit(const char* name, const QString& accessible, const QString& tip) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(accessible);
    edit->setToolTip(tip);
    return edit;
}

} // namespace

MatchPanel::MatchPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("match_panel"));
    build();
    connect(&designer_, &QFutureWatcher<Designed>::finished, this, &MatchPanel::design_finished);
    connect(&parter_, &QFutureWatcher<Parts>::finished, this, &MatchPanel::parts_finished);
}

MatchPanel::~MatchPanel() {
    for (const auto& stop : {stop_design_, stop_parts_}) {
        if (stop) {
            stop->store(true);
        }
    }
    designer_.waitForFinished();
    parter_.waitForFinished();
}

void MatchPanel::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* band_box = new QGroupBox(QStringLiteral("Band and source"));
    auto* form = new QGridLayout(band_box);
    fl_edit_ = line_edit("match_fl_ghz", QStringLiteral("Band FL in GHz"),
                         QStringLiteral("Lower edge of the band to match, GHz; or drag FL on the "
                                        "return-loss plot"));
    fh_edit_ = line_edit("match_fh_ghz", QStringLiteral("Band FH in GHz"),
                         QStringLiteral("Upper edge of the band to match, GHz; or drag FH on the "
                                        "return-loss plot"));
    for (QLineEdit* edit : {fl_edit_, fh_edit_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            const auto fl = field_number(fl_edit_);
            const auto fh = field_number(fh_edit_);
            if (fl && fh && (*fl != band_.fl_ghz || *fh != band_.fh_ghz)) {
                set_band({*fl, *fh}, true);
            }
        });
    }
    source_edit_ = line_edit("match_source_ohm", QStringLiteral("Source resistance in ohm"),
                             QStringLiteral("The resistive source the network matches to"));
    source_edit_->setText(QStringLiteral("50"));
    connect(source_edit_, &QLineEdit::editingFinished, this, [this] { update_limits(); });
    elements_ = new QSpinBox;
    elements_->setObjectName(QStringLiteral("match_elements"));
    elements_->setAccessibleName(QStringLiteral("Largest number of elements"));
    elements_->setToolTip(QStringLiteral("Design the best ladder of every size from 1 to N"));
    elements_->setRange(1, match::max_elements);
    elements_->setValue(4);
    form->addWidget(new QLabel(QStringLiteral("FL")), 0, 0);
    form->addWidget(fl_edit_, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("FH")), 0, 2);
    form->addWidget(fh_edit_, 0, 3);
    form->addWidget(new QLabel(QStringLiteral("GHz")), 0, 4);
    form->addWidget(new QLabel(QStringLiteral("Source \u03a9")), 1, 0);
    form->addWidget(source_edit_, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("N")), 1, 2);
    form->addWidget(elements_, 1, 3);
    bound_label_ = new QLabel;
    bound_label_->setObjectName(QStringLiteral("match_bound"));
    bound_label_->setWordWrap(true);
    bound_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addWidget(bound_label_, 2, 0, 1, 5);
    layout->addWidget(band_box);

    auto* buttons = new QHBoxLayout;
    design_button_ = new QPushButton(QStringLiteral("&Design"));
    design_button_->setObjectName(QStringLiteral("match_design"));
    design_button_->setToolTip(QStringLiteral("Design the best ladder of each size 1..N over the "
                                              "band, on the measured data"));
    connect(design_button_, &QPushButton::clicked, this, &MatchPanel::start_design);
    cancel_button_ = new QPushButton(QStringLiteral("Cancel"));
    cancel_button_->setObjectName(QStringLiteral("match_cancel"));
    cancel_button_->setEnabled(false);
    connect(cancel_button_, &QPushButton::clicked, this, &MatchPanel::cancel_design);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("match_progress"));
    progress_->setAccessibleName(QStringLiteral("Design progress"));
    progress_->setRange(0, slider_steps);
    progress_->setValue(0);
    buttons->addWidget(design_button_);
    buttons->addWidget(cancel_button_);
    buttons->addWidget(progress_, 1);
    layout->addLayout(buttons);

    sizes_ = new QListWidget;
    sizes_->setObjectName(QStringLiteral("match_sizes"));
    sizes_->setAccessibleName(QStringLiteral("Networks of 1 to N elements"));
    sizes_->setToolTip(QStringLiteral("Worst in-band return loss, smallest gain and the gap to "
                                      "the bound of each size; click one to choose it"));
    sizes_->setMinimumHeight(90);
    sizes_->setMaximumHeight(sizes_->fontMetrics().height() * 9);
    connect(sizes_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(networks_.size()) &&
            chosen_ != static_cast<std::size_t>(row)) {
            choose(row);
        }
    });
    layout->addWidget(sizes_, 1);
    chosen_label_ = new QLabel;
    chosen_label_->setObjectName(QStringLiteral("match_chosen"));
    chosen_label_->setWordWrap(true);
    chosen_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(chosen_label_);
    schematic_view_ = new PictureView(&schematic_, {360, 100});
    schematic_view_->setObjectName(QStringLiteral("match_schematic"));
    schematic_view_->setAccessibleName(QStringLiteral("Schematic of the chosen network"));
    layout->addWidget(schematic_view_);

    auto* parts_box = new QGroupBox(QStringLiteral("Parts and yield"));
    auto* parts = new QGridLayout(parts_box);
    series_box_ = new QComboBox;
    series_box_->setObjectName(QStringLiteral("match_series"));
    series_box_->setAccessibleName(QStringLiteral("Standard values of the network"));
    series_box_->setToolTip(QStringLiteral("Round the chosen network to standard values one part "
                                           "at a time, re-optimising the others"));
    series_box_->addItem(QStringLiteral("exact"));
    for (const rf::ESeries series : {rf::ESeries::E6, rf::ESeries::E12, rf::ESeries::E24,
                                     rf::ESeries::E48, rf::ESeries::E96, rf::ESeries::E192}) {
        series_box_->addItem(qs(rf::e_series_name(series)), static_cast<int>(series));
    }
    connect(series_box_, &QComboBox::currentIndexChanged, this, [this] { start_parts(); });
    inductor_q_ = line_edit("match_inductor_q", QStringLiteral("Inductor Q"),
                            QStringLiteral("Inductor Q at the band's centre, growing as the "
                                           "square root of frequency; empty: lossless"));
    capacitor_q_ = line_edit("match_capacitor_q", QStringLiteral("Capacitor Q"),
                             QStringLiteral("Capacitor Q (constant loss tangent); empty: "
                                            "lossless"));
    for (QLineEdit* edit : {inductor_q_, capacitor_q_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            if (!networks_.empty()) {
                show_message(QStringLiteral("Design again to include the parts' Q"));
            }
        });
    }
    tolerance_ = line_edit("match_tolerance", QStringLiteral("Tolerance in percent"),
                           QStringLiteral("Every part varied uniformly within \u00b1 this "
                                          "percentage for the yield; 0: no yield"));
    tolerance_->setText(QStringLiteral("2"));
    runs_ = new QSpinBox;
    runs_->setObjectName(QStringLiteral("match_runs"));
    runs_->setAccessibleName(QStringLiteral("Yield runs"));
    runs_->setRange(0, 100000);
    runs_->setValue(500);
    target_ = line_edit("match_target_db", QStringLiteral("Yield target return loss in dB"),
                        QStringLiteral("Worst in-band return loss a network must reach; empty: "
                                       "the nominal figure less 1 dB"));
    for (QLineEdit* edit : {tolerance_, target_}) {
        connect(edit, &QLineEdit::editingFinished, this, [this] { start_parts(); });
    }
    connect(runs_, &QSpinBox::editingFinished, this, [this] { start_parts(); });
    parts->addWidget(new QLabel(QStringLiteral("Values")), 0, 0);
    parts->addWidget(series_box_, 0, 1);
    parts->addWidget(new QLabel(QStringLiteral("Q of L")), 0, 2);
    parts->addWidget(inductor_q_, 0, 3);
    parts->addWidget(new QLabel(QStringLiteral("Q of C")), 0, 4);
    parts->addWidget(capacitor_q_, 0, 5);
    parts->addWidget(new QLabel(QStringLiteral("\u00b1 %")), 1, 0);
    parts->addWidget(tolerance_, 1, 1);
    parts->addWidget(new QLabel(QStringLiteral("Runs")), 1, 2);
    parts->addWidget(runs_, 1, 3);
    parts->addWidget(new QLabel(QStringLiteral("Target dB")), 1, 4);
    parts->addWidget(target_, 1, 5);
    histogram_picture_ = views::histogram_picture({}, 360, 110);
    histogram_view_ = new PictureView(&histogram_picture_, {360, 110});
    histogram_view_->setObjectName(QStringLiteral("match_histogram"));
    histogram_view_->setAccessibleName(QStringLiteral("Yield histogram"));
    parts->addWidget(histogram_view_, 2, 0, 1, 6);
    layout->addWidget(parts_box);

    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("match_message"));
    message_->setWordWrap(true);
    message_->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(message_);
    update_limits();
}

void MatchPanel::show_message(const QString& text) {
    message_->setText(text);
    emit message_changed(text);
}

QString MatchPanel::message() const {
    return message_->text();
}

void MatchPanel::set_picture_source(std::function<rf::Picture()> source) {
    picture_source_ = std::move(source);
}

double MatchPanel::source_ohm() const {
    const auto r = field_number(source_edit_);
    return r && *r > 0 && std::isfinite(*r) ? *r : 50.0;
}

std::optional<match::Losses> MatchPanel::losses() const {
    match::Losses losses;
    const double centre = std::sqrt(band_.fl_ghz * band_.fh_ghz);
    for (const auto& [edit, part] :
         {std::pair{inductor_q_, &losses.inductor}, std::pair{capacitor_q_, &losses.capacitor}}) {
        if (edit->text().trimmed().isEmpty()) {
            continue;
        }
        const auto q = field_number(edit);
        if (!q || !(*q > 0) || !std::isfinite(*q)) {
            return std::nullopt;
        }
        *part = match::PartQ{*q, centre};
    }
    return losses;
}

void MatchPanel::forget_networks() {
    ++design_generation_;
    ++parts_generation_;
    for (const auto& stop : {stop_design_, stop_parts_}) {
        if (stop) {
            stop->store(true);
        }
    }
    networks_.clear();
    chosen_.reset();
    chosen_now_.reset();
    standard_.reset();
    yield_.reset();
    histogram_ = {};
    histogram_picture_ = views::histogram_picture({}, 360, 110);
    curve_f_ghz_.clear();
    curve_g_.clear();
    schematic_ = {};
    progress_->setValue(0);
    cancel_button_->setEnabled(false);
    fill_list();
    chosen_label_->clear();
    schematic_view_->update();
    histogram_view_->update();
}

void MatchPanel::set_data(const rf::PortData* data, const QString& name) {
    forget_networks();
    data_ = data;
    name_ = name;
    all_load_ = data_ != nullptr ? views::band_load(*data_, 0, HUGE_VAL) : match::Load{};
    show_message({});
    if (data_ == nullptr || data_->f_ghz.empty()) {
        return;
    }
    const double lo = data_->f_ghz.front();
    const double hi = data_->f_ghz.back();
    if (!band_by_user_ || band_.fl_ghz < lo || band_.fh_ghz > hi) {
        band_by_user_ = false;
        band_ = {lo + (hi - lo) / 3, lo + 2 * (hi - lo) / 3};
    }
    update_limits();
}

void MatchPanel::set_model(const std::optional<rf::LumpedModel>& model,
                           const std::optional<match::Band>& band) {
    model_ = model;
    model_band_ = band;
    if (!band_by_user_ && band && data_ != nullptr && !data_->f_ghz.empty()) {
        const match::Band inside{std::max(band->fl_ghz, data_->f_ghz.front()),
                                 std::min(band->fh_ghz, data_->f_ghz.back())};
        if (inside.fh_ghz > inside.fl_ghz) {
            band_ = inside;
        }
    }
    update_limits();
}

void MatchPanel::set_band(const match::Band& band, bool by_user) {
    band_ = band;
    band_by_user_ = band_by_user_ || by_user;
    band_moved();
    emit changed();
}

void MatchPanel::band_moved() {
    update_limits();
    if (chosen_ && !load_.f_ghz.empty()) {
        const match::Design* design = exported();
        chosen_now_ =
            match::evaluate(design->ladder, load_, designed_source_ohm_, designed_losses_);
    }
    show_chosen();
}

void MatchPanel::update_limits() {
    for (auto [edit, value] :
         {std::pair{fl_edit_, band_.fl_ghz}, std::pair{fh_edit_, band_.fh_ghz}}) {
        if (!edit->hasFocus() || dragging_) {
            edit->setText(number(value, 6));
        }
    }
    load_ = {};
    bound_.reset();
    estimate_.reset();
    if (data_ == nullptr) {
        bound_label_->setText(QStringLiteral("Open a file to match"));
        return;
    }
    if (const auto problem = views::band_problem(*data_, band_)) {
        bound_label_->setText(qs(*problem));
        return;
    }
    load_ = views::band_load(*data_, band_.fl_ghz, band_.fh_ghz);
    if (model_) {
        bound_ = match::model_bound(*model_, band_);
    }
    estimate_ = match::data_estimate(all_load_, band_, source_ohm());
    QString text = bound_ ? QStringLiteral("Bound of the model: ") + limit_text(*bound_)
                          : QStringLiteral("No bound: no model with a positive section");
    if (estimate_) {
        text += QStringLiteral("\nEstimate from the data (not a bound): ") + limit_text(*estimate_);
    }
    bound_label_->setText(text);
}

void MatchPanel::decorate(rf::Picture& picture) const {
    if (!active_ || data_ == nullptr || data_->f_ghz.empty()) {
        return;
    }
    views::add_match_overlay(picture, {band_, bound_, {}, {}, true});
}

void MatchPanel::contribute(rf::PlotInput& input) const {
    if (!active_ || data_ == nullptr || data_->f_ghz.empty()) {
        return;
    }
    if (!curve_g_.empty()) {
        input.extra.push_back(
            {"matched", "", curve_f_ghz_, curve_g_, rf::CurveRole::Matched, rf::Dash::Solid});
    }
    if (bound_) {
        input.db_mark = bound_->rl_db;
    }
}

bool MatchPanel::press(const rf::ChartFrame& frame, rf::Point p, double reach) {
    if (!active_ || data_ == nullptr || data_->f_ghz.empty()) {
        return false;
    }
    dragging_ = views::band_edge_at(frame, band_, p, reach);
    return dragging_.has_value();
}

bool MatchPanel::drag(const rf::ChartFrame& frame, rf::Point p) {
    if (!dragging_ || data_ == nullptr || data_->f_ghz.empty()) {
        return false;
    }
    const double lo = data_->f_ghz.front();
    const double hi = data_->f_ghz.back();
    double f = p.x < frame.plot_area.x ? lo : hi;
    if (const auto under = rf::plot_frequency(frame, {p.x, frame.plot_area.y + 1})) {
        f = *under;
    }
    const match::Band moved = views::moved_band(band_, *dragging_, f, lo, hi, (hi - lo) / 200);
    if (moved.fl_ghz != band_.fl_ghz || moved.fh_ghz != band_.fh_ghz) {
        set_band(moved, true);
    }
    return true;
}

void MatchPanel::release() {
    dragging_.reset();
}

match::DesignInput MatchPanel::design_input() const {
    match::DesignInput input;
    input.load = load_;
    input.source_ohm = designed_source_ohm_;
    input.losses = designed_losses_;
    input.max_elements = elements_->value();
    return input;
}

void MatchPanel::start_design() {
    if (data_ == nullptr) {
        show_message(QStringLiteral("Open a file first"));
        return;
    }
    update_limits();
    if (const auto problem = views::band_problem(*data_, band_)) {
        show_message(qs(*problem));
        return;
    }
    const auto r = field_number(source_edit_);
    if (!r || !(*r > 0) || !std::isfinite(*r)) {
        show_message(QStringLiteral("The source resistance must be a positive number of ohm"));
        return;
    }
    const auto parts_losses = losses();
    if (!parts_losses) {
        show_message(QStringLiteral("A part's Q must be a positive number, or empty"));
        return;
    }
    // A design still running was asked for other settings: it stops, and what it finds is
    // dropped.
    forget_networks();
    designed_source_ohm_ = *r;
    designed_losses_ = *parts_losses;
    stop_design_ = std::make_shared<std::atomic<bool>>(false);
    match::DesignInput input = design_input();
    QPointer<QProgressBar> bar = progress_;
    auto stop = stop_design_;
    input.progress = [stop, bar](double done) {
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
    design_button_->setText(QStringLiteral("&Design again"));
    cancel_button_->setEnabled(true);
    show_message(QStringLiteral("Designing\u2026"));
    designer_.setFuture(QtConcurrent::run([input, generation = design_generation_] {
        // Nothing may leave a worker thread: an exception there would end the program.
        try {
            return Designed{generation, match::design_networks(input)};
        } catch (const std::bad_alloc&) {
            return Designed{generation, std::string{"Not enough memory for the design"}};
        } catch (...) {
            return Designed{generation, std::string{"The design failed"}};
        }
    }));
}

void MatchPanel::cancel_design() {
    if (stop_design_) {
        stop_design_->store(true);
    }
}

void MatchPanel::design_finished() {
    Designed designed = designer_.result();
    if (designed.generation != design_generation_) {
        return; // started for data or settings no longer shown
    }
    cancel_button_->setEnabled(false);
    if (auto* text = std::get_if<std::string>(&designed.result)) {
        progress_->setValue(0);
        show_message(qs(*text));
        emit design_done();
        return;
    }
    auto& result = std::get<match::DesignResult>(designed.result);
    networks_ = std::move(result.networks);
    progress_->setValue(result.stopped ? 0 : slider_steps);
    show_message(result.stopped ? QStringLiteral("Stopped: ") + QString::number(networks_.size()) +
                                      QStringLiteral(" sizes designed")
                                : QString());
    chosen_.reset();
    if (!networks_.empty()) {
        chosen_ = networks_.size() - 1;
        chosen_now_ = networks_.back().figures;
    }
    fill_list();
    show_chosen();
    update_curve();
    start_parts();
    emit changed();
    emit design_done();
}

void MatchPanel::choose(int index) {
    if (index < 0 || index >= static_cast<int>(networks_.size())) {
        return;
    }
    chosen_ = static_cast<std::size_t>(index);
    ++parts_generation_;
    standard_.reset();
    yield_.reset();
    chosen_now_ =
        match::evaluate(networks_[*chosen_].ladder, load_, designed_source_ohm_, designed_losses_);
    {
        const QSignalBlocker block(sizes_);
        sizes_->setCurrentRow(index);
    }
    show_chosen();
    update_curve();
    start_parts();
    emit changed();
}

void MatchPanel::start_parts() {
    ++parts_generation_;
    if (stop_parts_) {
        stop_parts_->store(true);
    }
    if (!chosen_ || load_.f_ghz.empty()) {
        return;
    }
    std::optional<rf::ESeries> series;
    if (series_box_->currentIndex() > 0) {
        series = static_cast<rf::ESeries>(series_box_->currentData().toInt());
    }
    const double tolerance = field_number(tolerance_).value_or(0);
    const long runs = runs_->value();
    const auto target = field_number(target_);
    stop_parts_ = std::make_shared<std::atomic<bool>>(false);
    match::DesignInput input = design_input();
    auto stop = stop_parts_;
    input.progress = [stop](double) { return !stop->load(); };
    standard_series_ = series;
    parter_.setFuture(QtConcurrent::run([input, design = networks_[*chosen_], series, tolerance,
                                         runs, target, generation = parts_generation_] {
        Parts parts;
        parts.generation = generation;
        try {
            if (series) {
                parts.standard = match::standard_network(design, input, *series);
            }
            const match::Design& varied = parts.standard ? *parts.standard : design;
            if (tolerance > 0 && std::isfinite(tolerance) && runs > 0) {
                parts.yield_runs = views::yield_runs(varied.ladder, input.load, input.source_ohm,
                                                     input.losses, tolerance, runs);
                std::vector<double> sorted = parts.yield_runs;
                std::sort(sorted.begin(), sorted.end());
                const double goal = target.value_or(varied.figures.worst_rl_db - 1);
                const views::Histogram h = views::histogram(sorted, goal, 1);
                const std::size_t mid = sorted.size() / 2;
                parts.yield = match::YieldFigures{
                    tolerance,
                    runs,
                    goal,
                    h.share,
                    sorted.front(),
                    sorted.size() % 2 == 1 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2,
                    sorted.back()};
            }
        } catch (const std::bad_alloc&) {
            parts.failure = "Not enough memory for the standard values and the yield";
        } catch (...) {
            parts.failure = "The standard values or the yield failed";
        }
        return parts;
    }));
}

void MatchPanel::parts_finished() {
    Parts parts = parter_.result();
    if (parts.generation != parts_generation_) {
        return;
    }
    if (!parts.failure.empty()) {
        show_message(qs(parts.failure));
    }
    standard_ = std::move(parts.standard);
    yield_ = parts.yield;
    histogram_ = yield_ ? views::histogram(parts.yield_runs, yield_->target_rl_db, histogram_bins)
                        : views::Histogram{};
    histogram_picture_ = views::histogram_picture(histogram_, 360, 110);
    histogram_view_->update();
    if (standard_) {
        chosen_now_ = standard_->figures;
    }
    fill_list();
    show_chosen();
    update_curve();
    emit changed();
    emit parts_done();
}

void MatchPanel::fill_list() {
    const QSignalBlocker block(sizes_);
    sizes_->clear();
    for (const match::Design& design : networks_) {
        auto* item = new QListWidgetItem(qs(views::size_row_text(views::size_row(design, bound_))));
        item->setToolTip(qs(match::ladder_summary(design.ladder)));
        sizes_->addItem(item);
    }
    if (chosen_) {
        sizes_->setCurrentRow(static_cast<int>(*chosen_));
    }
}

const match::Design* MatchPanel::exported() const {
    if (standard_) {
        return &*standard_;
    }
    return chosen_ && *chosen_ < networks_.size() ? &networks_[*chosen_] : nullptr;
}

std::optional<match::Figures> MatchPanel::chosen_figures() const {
    return chosen_now_;
}

void MatchPanel::show_chosen() {
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        chosen_label_->clear();
        return;
    }
    QString text =
        (standard_ ? qs(rf::e_series_name(*standard_series_)) + QStringLiteral(" values")
                   : QString::number(design->ladder.size()) + QStringLiteral(" elements")) +
        QStringLiteral(" over ") + number(band_.fl_ghz, 6) + QStringLiteral(" to ") +
        number(band_.fh_ghz, 6) + QStringLiteral(" GHz");
    if (chosen_now_) {
        text += QStringLiteral(": |\u0393| ") + number(chosen_now_->worst_gamma, 4) +
                QStringLiteral(", RL ") + number(chosen_now_->worst_rl_db, 4) +
                QStringLiteral(" dB, gain ") + number(chosen_now_->gain_db, 4) +
                QStringLiteral(" dB");
    }
    chosen_label_->setText(text);
}

void MatchPanel::update_curve() {
    curve_f_ghz_.clear();
    curve_g_.clear();
    schematic_ = {};
    schematic_view_->update();
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        return;
    }
    // As wide as the parts need: a short ladder is drawn large in the panel.
    const double width =
        std::min(schematic_width,
                 schematic_base_width + part_width * static_cast<double>(design->ladder.size()));
    const match::SchematicLayout layout =
        match::schematic_layout(design->ladder, designed_source_ohm_, name_.toStdString(), width);
    schematic_ = {};
    schematic_.width = layout.width;
    schematic_.height = layout.height;
    match::draw_schematic(schematic_, layout, 0);
    // The matched curve over the data, every so many samples of a large file.
    const match::Load& all = all_load_;
    const std::size_t step = all.f_ghz.size() / max_curve_points + 1;
    match::Load drawn;
    for (std::size_t i = 0; i < all.f_ghz.size(); i += step) {
        drawn.f_ghz.push_back(all.f_ghz[i]);
        drawn.z_ohm.push_back(all.z_ohm[i]);
    }
    curve_f_ghz_ = drawn.f_ghz;
    curve_g_ = views::matched_curve(design->ladder, designed_losses_, drawn, data_->reference_ohm);
}

QString MatchPanel::results_text() const {
    if (networks_.empty()) {
        return {};
    }
    views::MatchReport report{
        band_,     designed_source_ohm_, bound_, estimate_, networks_, chosen_,
        standard_, standard_series_,     yield_};
    return QStringLiteral("\n") + qs(views::match_text(report));
}

std::optional<QString> MatchPanel::export_to(MatchExport kind, const QString& path) const {
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        return QStringLiteral("Design a matching network first");
    }
    const match::Ladder& ladder = design->ladder;
    std::string bytes;
    switch (kind) {
    case MatchExport::NetworkTouchstone: {
        std::vector<double> f;
        std::copy_if(data_->f_ghz.begin(), data_->f_ghz.end(), std::back_inserter(f),
                     [](double v) { return v >= 0; });
        bytes = match::network_touchstone(ladder, designed_losses_, designed_source_ohm_, f);
        break;
    }
    case MatchExport::NetworkSpice:
        bytes = match::network_spice(ladder, designed_losses_, designed_source_ohm_, band_);
        break;
    case MatchExport::MatchedTouchstone:
        bytes =
            match::matched_touchstone(ladder, designed_losses_, designed_source_ohm_, all_load_);
        break;
    case MatchExport::Svg:
    case MatchExport::Png: {
        rf::Picture picture;
        if (picture_source_) {
            picture = picture_source_();
        } else {
            picture = match::match_picture(
                {ladder, designed_losses_, designed_source_ohm_, all_load_, band_, bound_});
        }
        const match::SchematicLayout layout = match::schematic_layout(
            ladder, designed_source_ohm_, name_.toStdString(), picture.width);
        const rf::Picture whole = match::with_schematic(std::move(picture), layout);
        if (kind == MatchExport::Svg) {
            bytes = rf::svg_text(whole);
        } else {
            const auto png = png_bytes(whole, 2);
            if (!png) {
                return QStringLiteral("Cannot write ") + path +
                       QStringLiteral(": the picture cannot be encoded as PNG");
            }
            bytes.assign(png->constData(), static_cast<std::size_t>(png->size()));
        }
        break;
    }
    }
    if (auto failed = write_file_safely(std::filesystem::path(file_name(path)), bytes)) {
        return qs(*failed);
    }
    return std::nullopt;
}

void MatchPanel::add_export_actions(QMenu* menu) {
    struct Kind {
        const char* title;
        const char* name;
        const char* filter;
        MatchExport kind;
    };
    static constexpr std::array<Kind, 5> kinds = {{
        {"Matching network as Touchstone t&wo-port\u2026", "match.s2p", "Touchstone (*.s2p)",
         MatchExport::NetworkTouchstone},
        {"Matching network as SP&ICE\u2026", "match.cir", "SPICE (*.cir *.sp *.lib)",
         MatchExport::NetworkSpice},
        {"&Matched input as Touchstone\u2026", "matched.s1p", "Touchstone (*.s1p)",
         MatchExport::MatchedTouchstone},
        {"Match picture with schematic as SV&G\u2026", "match.svg", "SVG (*.svg)",
         MatchExport::Svg},
        {"Match picture with schematic as P&NG\u2026", "match.png", "PNG (*.png)",
         MatchExport::Png},
    }};
    menu->addSeparator();
    for (const Kind& k : kinds) {
        menu->addAction(QString::fromUtf8(k.title), this, [this, k] {
            const QString path = QFileDialog::getSaveFileName(
                this, QString::fromUtf8(k.title).remove(QLatin1Char('&')).chopped(1),
                QString::fromLatin1(k.name), QString::fromLatin1(k.filter));
            if (path.isEmpty()) {
                return;
            }
            const auto failed = export_to(k.kind, path);
            show_message(failed ? *failed : QStringLiteral("Wrote ") + path);
        });
    }
}

void MatchPanel::save_settings(QSettings& settings) const {
    settings.setValue(QStringLiteral("match/source"), source_edit_->text());
    settings.setValue(QStringLiteral("match/elements"), elements_->value());
    settings.setValue(QStringLiteral("match/series"), series_box_->currentIndex());
    settings.setValue(QStringLiteral("match/inductor_q"), inductor_q_->text());
    settings.setValue(QStringLiteral("match/capacitor_q"), capacitor_q_->text());
    settings.setValue(QStringLiteral("match/tolerance"), tolerance_->text());
    settings.setValue(QStringLiteral("match/runs"), runs_->value());
    settings.setValue(QStringLiteral("match/target"), target_->text());
}

void MatchPanel::restore_settings(const QSettings& settings) {
    const auto text = [&](const char* key, QLineEdit* edit) {
        const QVariant value = settings.value(QLatin1String(key));
        if (!value.isNull()) {
            edit->setText(value.toString());
        }
    };
    text("match/source", source_edit_);
    text("match/inductor_q", inductor_q_);
    text("match/capacitor_q", capacitor_q_);
    text("match/tolerance", tolerance_);
    text("match/target", target_);
    elements_->setValue(settings.value(QStringLiteral("match/elements"), 4).toInt());
    runs_->setValue(settings.value(QStringLiteral("match/runs"), 500).toInt());
    const QSignalBlocker block(series_box_);
    series_box_->setCurrentIndex(std::clamp(
        settings.value(QStringLiteral("match/series"), 0).toInt(), 0, series_box_->count() - 1));
}

} // namespace veltrane::fit
