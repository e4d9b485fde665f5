// The measured-data window: the best fit on a worker thread, and the quick one that puts a model
// on newly opened data.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/match_panel.h"

#include <QCheckBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <new>

namespace veltrane::fit {

void FitWindow::stop_search() {
    if (search_control_) {
        search_control_->stop.store(true);
    }
}

// New data: a search still running was started on other data, so it is stopped and what it
// finds is dropped; the models listed for the old data go.
void FitWindow::forget_search() {
    ++search_generation_;
    stop_search();
    quick_pending_ = false;
    full_pending_ = false;
    candidates_.clear();
    best_list_->clear();
    progress_->setValue(0);
    cancel_button_->setEnabled(false);
    best_button_->setEnabled(data_ != nullptr && !searching_);
    history_.clear();
    undo_action_->setEnabled(false);
    redo_action_->setEnabled(false);
}

void FitWindow::run_search(const rf::PortData& data, const rf::BestFitOptions& options,
                           bool quick) {
    search_control_ = std::make_shared<SearchControl>();
    // The thread only stores into the control; the window reads it on a timer. Nothing of the
    // window is reached from there, so the window need not wait for the thread.
    rf::BestFitProgress progress = [control = search_control_](double done) {
        control->done.store(static_cast<int>(done * slider_steps), std::memory_order_relaxed);
        return !control->stop.load(std::memory_order_relaxed);
    };
    searching_ = true;
    progress_->setValue(0);
    progress_timer_->start();
    best_button_->setEnabled(quick);
    cancel_button_->setEnabled(true);
    // A quick fit's model is evaluated over all the data and the Match panel's limits for it
    // worked out on the search's thread too, so that taking it costs the window nothing.
    const auto follow = [full = data_, judged = judged_, z0 = z0_ohm_,
                         ahead = match_->ahead()](Searched& searched) {
        const auto* found = std::get_if<rf::BestFit>(&searched.result);
        if (found == nullptr || found->best.empty() || full == nullptr) {
            return;
        }
        const rf::Candidate& c = found->best.front();
        searched.evaluation = evaluate(*full, c.f1_ghz, c.f2_ghz, c.rl_ohm, z0, judged.get());
        const views::ChosenModel shown = views::chosen_model(*searched.evaluation, c.choice);
        searched.limits = views::limits_ahead(*full, ahead, shown.model, shown.band);
    };
    searcher_.setFuture(QtConcurrent::run(
        [data, options, progress, quick, follow, generation = search_generation_] {
            Searched searched;
            searched.generation = generation;
            searched.quick = quick;
            // Nothing may leave a worker thread: an exception there would end the program.
            try {
                searched.samples = data.f_ghz.size();
                searched.result = rf::best_fit(data, options, progress);
                if (quick) {
                    follow(searched);
                }
            } catch (const std::bad_alloc&) {
                searched.samples = 0;
                searched.result = std::string{"Not enough memory for the search"};
            } catch (...) {
                searched.samples = 0;
                searched.result = std::string{"The search failed"};
            }
            return searched;
        }));
}

void FitWindow::start_best_fit() {
    if (!data_) {
        return;
    }
    if (searching_) {
        // The quick fit gives way to the full search; any other search runs on.
        if (quick_pending_ || !best_button_->isEnabled()) {
            return;
        }
        full_pending_ = true;
        stop_search();
        best_button_->setEnabled(false);
        return;
    }
    full_pending_ = false;
    rf::BestFitOptions options;
    options.z0_ohm = z0_ohm_;
    if (!search_rl_->isChecked()) {
        options.rl_ohm = rl_ohm_;
    }
    show_message({});
    run_search(*data_, options, false);
}

// A best fit with RL searched on a few samples of the data, to show a model at once: its best
// model is taken unless the person changed the model meanwhile.
void FitWindow::start_quick_fit() {
    if (!data_ || !fit_on_open_) {
        emit quick_fit_done();
        return;
    }
    if (searching_) {
        quick_pending_ = true;
        return;
    }
    quick_pending_ = false;
    changes_at_quick_ = changes_;
    rf::BestFitOptions options;
    options.z0_ohm = z0_ohm_;
    const auto few = thinned(*data_, quick_fit_samples);
    run_search(few ? *few : *data_, options, true);
}

void FitWindow::best_fit_finished() {
    Searched searched = searcher_.result();
    searching_ = false;
    progress_timer_->stop();
    best_button_->setEnabled(data_ != nullptr);
    cancel_button_->setEnabled(false);
    const bool current = searched.generation == search_generation_;
    auto& result = searched.result;
    if (searched.quick) {
        if (current) {
            progress_->setValue(0);
            const auto* found = std::get_if<rf::BestFit>(&result);
            if (found != nullptr && !found->best.empty() && changes_ == changes_at_quick_) {
                const rf::Candidate& c = found->best.front();
                f_ghz_ = {c.f1_ghz, c.f2_ghz};
                rl_ohm_ = c.rl_ohm;
                chosen_ = c.choice;
                if (searched.evaluation) {
                    evaluation_ = std::move(*searched.evaluation);
                    if (searched.limits) {
                        match_->offer_limits(std::move(*searched.limits));
                    }
                    show_evaluation();
                } else {
                    recompute();
                }
                statusBar()->showMessage(
                    QStringLiteral("Model from a quick best fit on %1 of %2 samples; Best fit "
                                   "searches every sample")
                        .arg(searched.samples)
                        .arg(data_->f_ghz.size()),
                    10000);
            }
        }
        if (current) {
            emit quick_fit_done();
        }
        if (quick_pending_) {
            start_quick_fit();
        } else if (full_pending_) {
            start_best_fit();
        }
        return;
    }
    if (!current) {
        emit best_fit_done(); // started on data no longer shown: nothing of it applies here
        if (quick_pending_) {
            start_quick_fit();
        }
        return;
    }
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
        // The figure and label of the table of choices, computed the same way.
        const auto fit =
            data_fit(c.state, c.choice.topology, judged() ? *judged() : *data_, z0_ohm_);
        best_list_->addItem(qs(data_fit_label) + QStringLiteral(" ") +
                            (fit ? number(fit->max, 4) : QStringLiteral("no sample")) +
                            QStringLiteral(" \u00b7 ") + qs(choice_label(c.choice)) +
                            QStringLiteral(" \u00b7 ") + number(c.f1_ghz) + QStringLiteral(", ") +
                            number(c.f2_ghz) + QStringLiteral(" GHz \u00b7 RL ") +
                            number(c.rl_ohm, 4) + QStringLiteral(" \u03a9"));
    }
    highlight_shown_candidate();
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
    const ModelState picked{{c.f1_ghz, c.f2_ghz}, c.rl_ohm, c.choice};
    if (picked == model_state()) {
        return;
    }
    record_change();
    show_state(picked);
}

// The list marks the model it holds that is the one shown, and none when none is.
void FitWindow::highlight_shown_candidate() {
    const QSignalBlocker block(best_list_);
    const auto shown = shown_candidate(candidates_, model_state());
    if (shown) {
        best_list_->setCurrentRow(static_cast<int>(*shown));
    } else {
        best_list_->clearSelection();
        best_list_->setCurrentRow(-1);
    }
}

} // namespace veltrane::fit
