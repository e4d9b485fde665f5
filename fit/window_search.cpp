// The measured-data window: the best fit on a worker thread.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

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
            return Searched{generation, rf::best_fit(data, options, progress)};
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

} // namespace veltrane::fit
