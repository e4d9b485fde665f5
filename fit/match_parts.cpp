// The Match panel: the chosen network in standard values, of measured parts, and its yield, on a
// worker thread.

#include "fit/match_common.h"
#include "fit/match_panel.h"
#include "fit/window_common.h"

#include "match/parts.h"

#include <QComboBox>
#include <QSpinBox>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace veltrane::fit {

namespace {

constexpr int histogram_bins = 20;

} // namespace

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
            std::optional<views::YieldSettings> yield;
            if (tolerance > 0 && std::isfinite(tolerance) && runs > 0) {
                yield = views::YieldSettings{tolerance, runs, target};
            }
            views::MatchParts found = views::match_parts(design, input, series, yield);
            parts.standard = std::move(found.standard);
            parts.yield_runs = std::move(found.yield_runs);
            parts.yield = found.yield;
            parts.parts = std::move(found.parts);
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
    parts_network_ = std::move(parts.parts);
    yield_ = parts.yield;
    if (designed_losses_.parts && !parts_network_ && parts.failure.empty()) {
        show_message(qs(designed_losses_.parts->folder) +
                     QStringLiteral(" has no part of some element's kind (within the ranges)"));
    }
    histogram_ = yield_ ? views::histogram(parts.yield_runs, yield_->target_rl_db, histogram_bins)
                        : views::Histogram{};
    histogram_picture_ = views::histogram_picture(histogram_, 360, 110);
    histogram_view_->update();
    if (parts_network_) {
        chosen_now_ = parts_network_->figures;
    } else if (standard_) {
        chosen_now_ = standard_->figures;
    }
    fill_list();
    show_chosen();
    update_curve();
    emit changed();
    emit parts_done();
}

} // namespace veltrane::fit
