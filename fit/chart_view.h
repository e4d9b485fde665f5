#pragma once

#include "rf/picture.h"

#include <QPointF>
#include <QTransform>
#include <QWidget>

namespace veltrane::fit {

// Shows a picture display list at any size and pixel density, and reports the pointer in
// picture coordinates: the window decides what a press or a drag means.
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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    [[nodiscard]] QTransform transform() const;

    const rf::Picture* picture_ = nullptr;
    bool dragging_ = false;
};

} // namespace veltrane::fit
