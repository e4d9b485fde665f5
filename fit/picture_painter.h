#pragma once

#include "rf/picture.h"

#include <QByteArray>
#include <QRectF>
#include <QTransform>

#include <optional>

class QPainter;

namespace veltrane::fit {

// The transform that shows the whole picture in `target`, as large as fits, centred, with its
// proportions kept.
[[nodiscard]] QTransform fit_transform(const rf::Picture& picture, const QRectF& target);

// Draws the display list with `painter` (any device: a widget, an image at any pixel density),
// the same operations the SVG writer maps, under the painter's current transform.
void paint_picture(QPainter& painter, const rf::Picture& picture);

// The picture as the bytes of a PNG file, `scale` pixels to a unit; nothing when it cannot be
// encoded (a picture without area, an image too large to hold).
[[nodiscard]] std::optional<QByteArray> png_bytes(const rf::Picture& picture, int scale);

} // namespace veltrane::fit
