#pragma once

#include "rf/picture.h"

#include <QPointF>
#include <QTransform>
#include <QWidget>

#include <optional>

namespace veltrane::fit {

// Shows a picture display list at any size and pixel density, and reports the pointer in
// picture coordinates: the window decides what a press or a drag means. A press the window does
// not take (begin_box) draws a box to zoom into; the wheel zooms, a drag with the middle or right
// button pans, a double click shows the whole again.
class ChartView final : public QWidget {
    Q_OBJECT

  public:
    explicit ChartView(QWidget* parent = nullptr);

    void set_picture(const rf::Picture* picture); // not owned; nullptr shows nothing
    // Where a point of the picture lands on the widget, and back.
    [[nodiscard]] QPointF to_widget(rf::Point p) const;
    [[nodiscard]] rf::Point to_picture(QPointF p) const;
    // Picture units per widget pixel, for pointer tolerances given in pixels.
    [[nodiscard]] double units_per_pixel() const;

    // Called on `pressed`: the drag that follows draws a zoom box instead of moving anything.
    void begin_box();

    [[nodiscard]] QSize sizeHint() const override { return {760, 450}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {300, 180}; }

  signals:
    void pressed(QPointF picture_point);
    void dragged(QPointF picture_point);
    void released();
    void hovered(QPointF picture_point); // a move without a drag
    void left();
    // An arrow key: move marker 0 (F1) or 1 (F2, with Shift) by `delta` samples.
    void stepped(int marker, int delta);
    void zoomed(QPointF picture_point, double factor); // the wheel
    void boxed(QRectF picture_rect);                   // a zoom box drawn
    void panned(QPointF from, QPointF to);             // picture points, a step of a pan
    void reset();                                      // a double click
    void resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    [[nodiscard]] QTransform transform() const;

    const rf::Picture* picture_ = nullptr;
    bool dragging_ = false;
    std::optional<QRectF> box_; // widget coordinates, while a zoom box is drawn
    std::optional<QPointF> pan_from_;
    std::optional<QPointF> press_at_;
};

} // namespace veltrane::fit
