// The measured-data window: the picture, pointing into it, zoom, the read-out and the pinned
// model.

#include "fit/fit_window.h"
#include "fit/window_common.h"

#include "fit/chart_view.h"
#include "fit/match_panel.h"
#include "rf/choices.h"
#include "rf/response.h"
#include "rf/sweep.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace veltrane::fit {

namespace {

// The model's frequencies: the data's own, or evenly spread over them for a large file.
std::vector<double> model_sweep(const rf::PortData& data) {
    if (data.f_ghz.size() <= max_model_points) {
        return data.f_ghz;
    }
    return rf::sweep_frequencies(
        {data.f_ghz.front(), data.f_ghz.back(), static_cast<long>(max_model_points), false});
}

// A wheel notch and Ctrl++ zoom by this much.
constexpr double zoom_step = 1.25;

} // namespace

std::optional<rf::LumpedModel> FitWindow::shown_model() const {
    return views::chosen_model(evaluation_, chosen_).model;
}

rf::Picture FitWindow::make_picture(double width, double height, double text,
                                    std::vector<Handle>& handles) const {
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
        input.model_label = row_name(chosen_);
        input.model_note = mark;
        if (series_) {
            input.standard = rf::standard_model(input.model, *series_);
            input.standard_name = std::string(rf::e_series_name(*series_));
        }
    } else {
        input.draw_model = false;
    }
    if (data_ && !data_->f_ghz.empty()) {
        input.data = chart_data();
        input.f_ghz = model_sweep(*data_);
        input.zoom = zoom_;
    } else {
        input.draw_model = false;
        input.f_ghz = {1.0, 2.0};
    }
    if (pinned_) {
        input.extra.push_back(*pinned_);
    }
    match_->contribute(input);
    input.width = width;
    input.height = height;
    input.text_size = text;
    rf::Picture picture = rf::model_picture(input);
    match_->decorate(picture);
    handles.clear();
    if (data_ && !evaluation_.message) {
        for (std::size_t k = 0; k < 2; ++k) {
            const DataPoint& p = evaluation_.points[k];
            handles.push_back({k == 0 ? "F1" : "F2", p.f_ghz, rf::reflection(p.z_ohm, z0_ohm_),
                               k == 0 ? f1_colour : f2_colour});
        }
        // The picture names the model's F1 and F2 on the chart itself when there is a model.
        add_handles(picture, picture.frame, handles, !state.has_value(), text);
    }
    return picture;
}

rf::Picture FitWindow::export_picture() const {
    std::vector<Handle> handles;
    return make_picture(1000, 600, 9, handles);
}

const rf::PortData* FitWindow::chart_data() const {
    if (zoom_ != rf::ChartZoom{} && zoomed_drawn_) {
        return zoomed_drawn_.get();
    }
    return drawn_ ? drawn_.get() : data_.get();
}

void FitWindow::build_picture() {
    if (data_ && !data_->f_ghz.empty()) {
        // A zoom belongs to the data it was made on.
        const std::array<double, 2> span{data_->f_ghz.front(), data_->f_ghz.back()};
        if (span != zoom_data_) {
            zoom_ = {};
            zoom_data_ = span;
        }
        if (zoom_ != rf::ChartZoom{} && drawn_ && !zoomed_drawn_) {
            if (auto zoomed = chart_samples(*data_, zoomed_chart_buckets)) {
                zoomed_drawn_ = std::make_shared<const rf::PortData>(std::move(*zoomed));
            }
        }
    } else {
        zoom_ = {};
    }
    // The picture at the chart's size, one unit a pixel, its smallest text 9 points.
    picture_ = make_picture(std::max(chart_->width(), 300), std::max(chart_->height(), 180),
                            9.0 * chart_->logicalDpiY() / 72.0, handles_);
    chart_->set_picture(&picture_);
    if (pin_button_ != nullptr) {
        pin_button_->setEnabled(shown_model().has_value());
        unpin_button_->setEnabled(pinned_.has_value());
        zoom_reset_->setEnabled(zoom_ != rf::ChartZoom{});
    }
}

QWidget* FitWindow::build_chart_row() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    readout_ = new QLabel;
    readout_->setObjectName(QStringLiteral("readout"));
    readout_->setAccessibleName(QStringLiteral("Cursor read-out"));
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readout_->setMinimumHeight(2 * readout_->fontMetrics().height() + 4);
    layout->addWidget(readout_, 1);

    zoom_reset_ = new QPushButton(QStringLiteral("Reset zoom"));
    zoom_reset_->setObjectName(QStringLiteral("reset_zoom"));
    zoom_reset_->setToolTip(QStringLiteral(
        "Show both charts whole again (or double-click the chart). Zoom with the wheel, Ctrl++ "
        "and Ctrl+\u2212 or by dragging a box; pan with the right or middle button"));
    connect(zoom_reset_, &QPushButton::clicked, this, [this] { set_zoom({}); });
    layout->addWidget(zoom_reset_);

    pin_button_ = new QPushButton(QStringLiteral("Pin"));
    pin_button_->setObjectName(QStringLiteral("pin"));
    pin_button_->setToolTip(
        QStringLiteral("Keep the model shown as a dashed curve with its figures, to compare "
                       "with the next model"));
    connect(pin_button_, &QPushButton::clicked, this, &FitWindow::pin_model);
    layout->addWidget(pin_button_);

    unpin_button_ = new QPushButton(QStringLiteral("Unpin"));
    unpin_button_->setObjectName(QStringLiteral("unpin"));
    unpin_button_->setToolTip(QStringLiteral("Drop the pinned model"));
    connect(unpin_button_, &QPushButton::clicked, this, [this] {
        pinned_.reset();
        build_picture();
    });
    layout->addWidget(unpin_button_);

    auto* zoom_in = new QAction(QStringLiteral("Zoom in"), this);
    zoom_in->setObjectName(QStringLiteral("zoom_in"));
    zoom_in->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoom_in, &QAction::triggered, this, [this] { zoom_both(zoom_step); });
    auto* zoom_out = new QAction(QStringLiteral("Zoom out"), this);
    zoom_out->setObjectName(QStringLiteral("zoom_out"));
    zoom_out->setShortcuts(QKeySequence::ZoomOut);
    connect(zoom_out, &QAction::triggered, this, [this] { zoom_both(1 / zoom_step); });
    auto* zoom_whole = new QAction(QStringLiteral("Show all"), this);
    zoom_whole->setObjectName(QStringLiteral("zoom_whole"));
    zoom_whole->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(zoom_whole, &QAction::triggered, this, [this] { set_zoom({}); });
    addActions({zoom_in, zoom_out, zoom_whole});

    connect(chart_, &ChartView::zoomed, this, [this](QPointF p, double factor) {
        set_zoom(rf::zoomed_at(picture_.frame, zoom_, {p.x(), p.y()}, factor));
    });
    connect(chart_, &ChartView::boxed, this, [this](QRectF r) {
        set_zoom(rf::zoomed_to(picture_.frame, zoom_, {r.x(), r.y(), r.width(), r.height()}));
    });
    connect(chart_, &ChartView::panned, this, [this](QPointF from, QPointF to) {
        set_zoom(rf::panned(picture_.frame, zoom_, {from.x(), from.y()}, {to.x(), to.y()}));
    });
    connect(chart_, &ChartView::reset, this, [this] { set_zoom({}); });
    connect(chart_, &ChartView::resized, this, [this] { build_picture(); });
    return row;
}

void FitWindow::set_zoom(const rf::ChartZoom& zoom) {
    if (zoom == zoom_) {
        return;
    }
    zoom_ = zoom;
    build_picture();
}

void FitWindow::zoom_both(double factor) {
    const rf::ChartFrame& frame = picture_.frame;
    const rf::Rect& a = frame.plot_area;
    rf::ChartZoom zoom = rf::zoomed_at(frame, zoom_, frame.smith_centre, factor);
    zoom = rf::zoomed_at(frame, zoom, {a.x + a.width / 2, a.y + a.height / 2}, factor);
    set_zoom(zoom);
}

void FitWindow::pin_model() {
    const auto model = shown_model();
    if (!model || !data_ || data_->f_ghz.empty()) {
        return;
    }
    rf::ExtraCurve curve;
    curve.role = rf::CurveRole::Pinned;
    curve.dash = rf::Dash::Dashed;
    curve.label = "pinned model";
    const rf::LumpedModel& m = *model;
    curve.figures = "Pinned: " + std::string(rf::topology_name(m.topology)) +
                    ": Ls = " + rf::readable(m.ls_nh) + " nH, Cs = " + rf::readable(m.cs_pf) +
                    " pF, Lp = " + rf::readable(m.lp_nh) + " nH, Cp = " + rf::readable(m.cp_pf) +
                    " pF, RL = " + rf::readable(m.rl_ohm) + " \u03a9";
    if (const ChoiceRow* row = chosen_row(); row != nullptr && row->data_fit) {
        // The figure and label of the choices table and the best-fit list.
        curve.figures +=
            ", " + std::string(data_fit_label) + " " + rf::readable(row->data_fit->max, 4);
    }
    curve.f_ghz = rf::curve_frequencies(m, model_sweep(*data_), z0_ohm_, 0.005);
    curve.g = rf::model_reflections(m, curve.f_ghz, z0_ohm_);
    pinned_ = std::move(curve);
    build_picture();
}

void FitWindow::chart_pressed(QPointF p) {
    if (!data_) {
        chart_->begin_box();
        return;
    }
    // The Match panel's band edges first: a point marker on an edge (F2 = FH after a best fit)
    // is still dragged on the Smith chart, and the edge keeps the design current.
    const double reach = 6 * chart_->units_per_pixel();
    if (match_->press(picture_.frame, {p.x(), p.y()}, reach)) {
        dragging_.reset();
        return;
    }
    dragging_ = handle_at(picture_.frame, handles_, {p.x(), p.y()}, reach);
    if (dragging_) {
        record_change(); // the whole drag is one step back
    } else {
        chart_->begin_box(); // a press beside the markers and band edges draws a box to zoom into
    }
}

void FitWindow::chart_dragged(QPointF p) {
    if (match_->drag(picture_.frame, {p.x(), p.y()})) {
        return; // a band edge follows the pointer
    }
    if (!dragging_) {
        chart_hovered(p);
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
    Reading reading{at.f_ghz, rf::reflection(at.z_ohm, z0_ohm_), std::nullopt};
    if (const auto m = shown_model()) {
        reading.model = rf::model_reflection(*m, at.f_ghz, z0_ohm_);
    }
    readout_->setText(qs(reading_text(reading, z0_ohm_)));
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
            Reading reading{*f, rf::reflection(d->z_ohm, z0_ohm_), std::nullopt};
            if (const auto m = shown_model()) {
                reading.model = rf::model_reflection(*m, *f, z0_ohm_);
            }
            readout_->setText(qs(reading_text(reading, z0_ohm_)));
            return;
        }
    } else if (const auto under = smith_reflection(picture_.frame, at)) {
        show_readout(QStringLiteral("chart   "), *under);
        return;
    }
    readout_->clear();
}

void FitWindow::show_readout(const QString& where, rf::Complex g) {
    readout_->setText(where + qs(reflection_text(g, z0_ohm_)));
}

} // namespace veltrane::fit
