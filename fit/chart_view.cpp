#include "fit/chart_view.h"

#include "fit/picture_painter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

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
    if (box_) {
        painter.resetTransform();
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box_->normalized());
    }
}

void ChartView::begin_box() {
    if (!press_at_) {
        return;
    }
    box_ = QRectF(*press_at_, *press_at_);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (picture_ == nullptr) {
        return;
    }
    if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) {
        pan_from_ = event->position();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = true;
    box_.reset();
    press_at_ = event->position();
    const rf::Point p = to_picture(event->position());
    emit pressed({p.x, p.y});
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    if (picture_ == nullptr) {
        return;
    }
    const rf::Point p = to_picture(event->position());
    if (pan_from_ && (event->buttons() & (Qt::MiddleButton | Qt::RightButton))) {
        const rf::Point from = to_picture(*pan_from_);
        pan_from_ = event->position();
        emit panned({from.x, from.y}, {p.x, p.y});
    } else if (box_ && (event->buttons() & Qt::LeftButton)) {
        box_->setBottomRight(event->position());
        update();
    } else if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        emit dragged({p.x, p.y});
    } else {
        emit hovered({p.x, p.y});
    }
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton || event->button() == Qt::RightButton) {
        pan_from_.reset();
        return;
    }
    if (event->button() == Qt::LeftButton && box_) {
        const QRectF box = box_->normalized();
        box_.reset();
        dragging_ = false;
        update();
        // A click, or a box too thin to mean anything, zooms nothing.
        if (box.width() >= 4 && box.height() >= 4) {
            const rf::Point a = to_picture(box.topLeft());
            const rf::Point b = to_picture(box.bottomRight());
            emit boxed(QRectF(QPointF(a.x, a.y), QPointF(b.x, b.y)));
        }
        emit released();
        return;
    }
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

void ChartView::wheelEvent(QWheelEvent* event) {
    if (picture_ == nullptr || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    const rf::Point p = to_picture(event->position());
    emit zoomed({p.x, p.y}, std::pow(1.25, event->angleDelta().y() / 120.0));
    event->accept();
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        box_.reset();
        emit reset();
    }
}

void ChartView::resizeEvent(QResizeEvent*) {
    emit resized();
}

} // namespace veltrane::fit
