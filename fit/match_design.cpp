// The Match panel: the design of ladders of 1..N elements on a worker thread, its results, the
// list of sizes and the chosen network with its matched curve and schematic.

#include "fit/match_common.h"
#include "fit/match_panel.h"
#include "fit/window_common.h"

#include "match/match_files.h"
#include "match/parts.h"
#include "match/schematic.h"

#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>

namespace veltrane::fit {

namespace {

// Samples of the matched curve on the charts at most.
constexpr std::size_t max_curve_points = 2001;
constexpr double schematic_width = 1000;
constexpr double schematic_base_width = 300;
constexpr double part_width = 115;
constexpr double named_part_width = 380; // a measured part's label names its file and package

} // namespace

void MatchPanel::forget_networks() {
    ++design_generation_;
    ++parts_generation_;
    for (const auto& stop : {stop_design_, stop_parts_}) {
        if (stop) {
            stop->store(true);
        }
    }
    networks_.clear();
    no_better_than_.clear();
    chosen_.reset();
    chosen_now_.reset();
    standard_.reset();
    parts_network_.reset();
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
    show_designed_band();
    schematic_changed();
    histogram_view_->update();
}

match::DesignInput MatchPanel::design_input() const {
    views::MatchSettings settings;
    settings.elements = elements_->value();
    settings.source_ohm = designed_source_ohm_;
    settings.losses = designed_losses_;
    settings.constraints = designed_constraints_;
    return views::design_input(settings, load_);
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
    const auto chosen_source = source();
    if (!chosen_source) {
        show_message(QStringLiteral("The source must be a positive resistance or R+jX in ohm"));
        return;
    }
    auto parts_losses = losses();
    if (const auto* problem = std::get_if<QString>(&parts_losses)) {
        show_message(*problem);
        return;
    }
    if (library_ != nullptr) {
        if (const auto uncovered = library_->uncovered(band_.fl_ghz, band_.fh_ghz)) {
            show_message(qs(*uncovered));
            return;
        }
    }
    auto limits = constraints();
    if (const auto* problem = std::get_if<QString>(&limits)) {
        show_message(*problem);
        return;
    }
    // A design still running was asked for other settings: it stops, and what it finds is
    // dropped.
    forget_networks();
    designed_constraints_ = std::get<match::Constraints>(limits);
    designed_source_ohm_ = source_ohm();
    designed_source_ = *chosen_source;
    designed_losses_ = std::get<match::Losses>(parts_losses);
    designed_losses_.parts = library_;
    if (!attach_source()) {
        designed_source_ = {};
        attach_source();
        return;
    }
    designed_band_ = band_;
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
            match::DesignResult designed = match::design_networks(input);
            views::SimplifiedNetworks simple =
                views::simplified(std::move(designed.networks), input);
            return Designed{generation, designed.stopped, std::move(simple)};
        } catch (const std::bad_alloc&) {
            return Designed{generation, false, std::string{"Not enough memory for the design"}};
        } catch (...) {
            return Designed{generation, false, std::string{"The design failed"}};
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
    auto& result = std::get<views::SimplifiedNetworks>(designed.result);
    networks_ = std::move(result.networks);
    no_better_than_ = std::move(result.no_better_than);
    progress_->setValue(designed.stopped ? 0 : slider_steps);
    views::MatchSettings asked;
    asked.elements = elements_->value();
    asked.constraints = designed_constraints_;
    show_message(designed.stopped
                     ? QStringLiteral("Stopped: ") + QString::number(networks_.size()) +
                           QStringLiteral(" sizes designed")
                 : networks_.empty() ? qs(views::no_network_message(asked))
                                     : QString());
    chosen_.reset();
    // The largest size that gains over every smaller one.
    for (std::size_t k = 0; k < networks_.size(); ++k) {
        if (!no_better_than_[k]) {
            chosen_ = k;
            chosen_now_ = networks_[k].figures;
        }
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
    parts_network_.reset();
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

void MatchPanel::fill_list() {
    const QSignalBlocker block(sizes_);
    sizes_->clear();
    for (std::size_t k = 0; k < networks_.size(); ++k) {
        const match::Design& design = networks_[k];
        views::SizeRow row = views::size_row(design, bound_);
        row.elements = design.size;
        auto* item = new QListWidgetItem(no_better_than_[k]
                                             ? QString::number(design.size) +
                                                   QStringLiteral(": no better than ") +
                                                   QString::number(*no_better_than_[k])
                                             : qs(views::size_row_text(row) + "   " + row.ladder));
        item->setToolTip(qs(match::ladder_summary(design.ladder)));
        sizes_->addItem(item);
    }
    if (chosen_) {
        sizes_->setCurrentRow(static_cast<int>(*chosen_));
    }
}

const match::Design* MatchPanel::exported() const {
    // What is built: the measured parts, else the standard values, else the network designed.
    if (parts_network_) {
        return &*parts_network_;
    }
    if (standard_) {
        return &*standard_;
    }
    return chosen_ && *chosen_ < networks_.size() ? &networks_[*chosen_] : nullptr;
}

std::optional<match::Figures> MatchPanel::chosen_figures() const {
    return chosen_now_;
}

void MatchPanel::show_designed_band() {
    if (networks_.empty()) {
        designed_label_->clear();
        return;
    }
    const bool moved =
        designed_band_.fl_ghz != band_.fl_ghz || designed_band_.fh_ghz != band_.fh_ghz;
    QString text = QStringLiteral("Sizes designed over ") + number(designed_band_.fl_ghz, 6) +
                   QStringLiteral(" to ") + number(designed_band_.fh_ghz, 6) +
                   QStringLiteral(" GHz");
    if (moved) {
        text += QStringLiteral(": the band has moved since, and the list, the standard values and "
                               "the yield are still those of that band; Design again to update "
                               "them");
    }
    QFont font = designed_label_->font();
    font.setBold(moved);
    designed_label_->setFont(font);
    designed_label_->setText(text);
}

void MatchPanel::show_chosen() {
    show_designed_band();
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        chosen_label_->clear();
        return;
    }
    QString what = QString::number(design->ladder.size()) + QStringLiteral(" elements");
    if (parts_network_ && designed_losses_.parts) {
        // The library's folder, and what the standard values reach beside the parts.
        QString from = QFileInfo(qs(designed_losses_.parts->folder)).fileName();
        if (standard_) {
            from += QStringLiteral("; ") + qs(rf::e_series_name(*standard_series_)) +
                    QStringLiteral(" values RL ") + number(standard_->figures.worst_rl_db, 4) +
                    QStringLiteral(" dB");
        }
        what = QStringLiteral("Measured parts (") + from + QStringLiteral(")");
    } else if (standard_) {
        what = qs(rf::e_series_name(*standard_series_)) + QStringLiteral(" values");
    }
    QString text = what + QStringLiteral(" over ") + number(band_.fl_ghz, 6) +
                   QStringLiteral(" to ") + number(band_.fh_ghz, 6) + QStringLiteral(" GHz");
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
    schematic_changed();
    const match::Design* design = exported();
    if (design == nullptr || data_ == nullptr) {
        return;
    }
    // As wide as the parts need: a short ladder is drawn large in the panel.
    const double width = std::min(
        schematic_width, schematic_base_width + (parts_network_ ? named_part_width : part_width) *
                                                    static_cast<double>(design->ladder.size()));
    match::SchematicLayout layout = match::schematic_layout(
        design->ladder, designed_source_ohm_, name_.toStdString(), width, designed_losses_);
    if (!designed_source_.resistive()) {
        layout.source_label = designed_source_.label();
    }
    schematic_ = {};
    schematic_.width = layout.width;
    schematic_.height = layout.height;
    match::draw_schematic(schematic_, layout, 0);
    schematic_changed();
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

} // namespace veltrane::fit
