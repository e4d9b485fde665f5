#include "fit/chart_view.h"

#include "fit/picture_painter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace veltrane::fit {

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ChartView::set_picture(const rf::Picture* picture) {
    picture_ = picture;
    update();
}

QTransform ChartView::transform() const {
    if (picture_ == nullptr) {
        return {};
    }
    return fit_transform(*picture_, QRectF(rect()));
}

QPointF ChartView::to_widget(rf::Point p) const {
    return transform().map(QPointF(p.x, p.y));
}

rf::Point ChartView::to_picture(QPointF p) const {
    const QPointF q = transform().inverted().map(p);
    return {q.x(), q.y()};
}

double ChartView::units_per_pixel() const {
    const double scale = transform().m11();
    return scale > 0 ? 1 / scale : 1;
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (picture_ == nullptr) {
        return;
    }
    painter.setTransform(transform());
    paint_picture(painter, *picture_);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || picture_ == nullptr) {
        return;
    }
    dragging_ = true;
    const rf::Point p = to_picture(event->position());
    emit pressed({p.x, p.y});
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    if (picture_ == nullptr) {
        return;
    }
    const rf::Point p = to_picture(event->position());
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        emit dragged({p.x, p.y});
    } else {
        emit hovered({p.x, p.y});
    }
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        emit released();
    }
}

void ChartView::leaveEvent(QEvent*) {
    emit left();
}

void ChartView::keyPressEvent(QKeyEvent* event) {
    const int marker = (event->modifiers() & Qt::ShiftModifier) ? 1 : 0;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Down) {
        emit stepped(marker, -1);
    } else if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Up) {
        emit stepped(marker, 1);
    } else {
        QWidget::keyPressEvent(event);
    }
}

} // namespace veltrane::fit
