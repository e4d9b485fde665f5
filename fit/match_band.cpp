// The Match panel: the data and the model, the band (typed, or dragged by its edges on the charts),
// the bound, and what the panel draws over the charts.

#include "fit/match_panel.h"
#include "fit/window_common.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane::fit {

views::MatchAhead MatchPanel::ahead() const {
    return {band_by_user_ ? std::optional(band_) : std::nullopt, source_ohm()};
}

void MatchPanel::set_data(const rf::PortData* data, const QString& name,
                          const std::optional<rf::LumpedModel>& model,
                          const std::optional<match::Band>& model_band,
                          views::MatchPrepared prepared) {
    forget_networks();
    data_ = data;
    name_ = name;
    model_ = model;
    model_band_ = model_band;
    let_go(std::exchange(all_load_, std::move(prepared.all_load)),
           std::exchange(limits_, std::move(prepared.limits)), std::exchange(load_, {}));
    if (data_ != nullptr && all_load_.f_ghz.empty()) {
        all_load_ = views::band_load(*data_, 0, HUGE_VAL);
    }
    show_message({});
    if (data_ != nullptr && !data_->f_ghz.empty()) {
        const match::Band band = views::opening_band(*data_, ahead().user_band, model_band);
        band_by_user_ = band_by_user_ && band == band_;
        band_ = band;
    }
    band_moved();
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
    band_moved(); // the chosen network over the model's band, the sizes marked if it moved
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
    section_.reset();
    if (data_ == nullptr) {
        bound_label_->setText(QStringLiteral("Open a file to match"));
        return;
    }
    // Limits are only ever worked out for a band without a problem.
    const double source = source_ohm();
    if (!limits_ || !limits_->made_for(band_, source, model_)) {
        if (const auto problem = views::band_problem(*data_, band_)) {
            bound_label_->setText(qs(*problem));
            return;
        }
        limits_ = views::band_limits(*data_, band_, source, model_);
    }
    load_ = limits_->load;
    attach_source();
    const auto present = this->source();
    if (present && !present->resistive()) {
        // Fano's bound of the load's section holds for a resistive source only.
        bound_label_->setText(qs(std::string{views::complex_source_bound}));
        return;
    }
    bound_ = limits_->limits.bound;
    section_ = limits_->limits.section;
    bound_label_->setText(
        qs(views::bound_line(bound_, section_, views::beaten(networks_, bound_), true, "\u0393")));
}

void MatchPanel::decorate(rf::Picture& picture) const {
    if (!active_ || data_ == nullptr || data_->f_ghz.empty()) {
        return;
    }
    views::MatchOverlay overlay;
    overlay.band = band_;
    overlay.bound = bound_;
    if (const match::Design* design = exported()) {
        const double centre = std::sqrt(band_.fl_ghz * band_.fh_ghz);
        overlay.path = match::element_path(design->ladder, designed_losses_,
                                           match::load_at(all_load_, centre), centre);
        overlay.z0_ohm = data_->reference_ohm;
    }
    views::add_match_overlay(picture, overlay);
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
    input.extra_swatches.emplace_back(views::match_band_fill, "match band");
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

} // namespace veltrane::fit
