#pragma once

#include "rf/picture.h"

#include <QRectF>
#include <QTransform>

class QPainter;

namespace veltrane::fit {

// The transform that shows the whole picture in `target`, as large as fits, centred, with its
// proportions kept.
[[nodiscard]] QTransform fit_transform(const rf::Picture& picture, const QRectF& target);

// Draws the display list with `painter` (any device: a widget, an image at any pixel density),
// the same operations the SVG writer maps, under the painter's current transform.
void paint_picture(QPainter& painter, const rf::Picture& picture);

} // namespace veltrane::fit
