// The measured-data window: the picture and pointing into it.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/chart_view.h"
#include "rf/sweep.h"

#include <QLabel>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

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
        const ChoiceRow* row = chosen_row();
        const std::string mark = row != nullptr ? row_mark(*row) : std::string{};
        input.model_label = row_name(chosen_) + (mark.empty() ? "" : ", " + mark);
        input.model_flagged = !mark.empty();
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
    if (dragging_) {
        record_change(); // the whole drag is one step back
    }
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

} // namespace veltrane::fit
