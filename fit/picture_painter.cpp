#include "fit/picture_painter.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <variant>

namespace veltrane::fit {

namespace {

QColor colour(rf::Colour c) {
    return {c.r, c.g, c.b};
}

QPen pen(const rf::Pen& p) {
    QPen out(colour(p.colour), p.width);
    out.setCapStyle(Qt::RoundCap);
    out.setJoinStyle(Qt::RoundJoin);
    switch (p.dash) {
    case rf::Dash::Solid:
        break;
    case rf::Dash::Dashed:
        out.setDashPattern({4.0, 3.0}); // in pen widths, as SVG's dash array scales with them
        break;
    case rf::Dash::Dotted:
        out.setDashPattern({1.0, 2.5});
        break;
    }
    return out;
}

QPointF point(rf::Point p) {
    return {p.x, p.y};
}

QRectF rect(const rf::Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

class Painter {
  public:
    explicit Painter(QPainter& painter)
        : painter_(painter), scale_(std::sqrt(std::abs(painter.transform().determinant()))) {}

    void operator()(const rf::Line& line) {
        painter_.setPen(pen(line.pen));
        painter_.drawLine(point(line.from), point(line.to));
    }
    void operator()(const rf::Polyline& line) {
        QPolygonF polygon;
        polygon.reserve(static_cast<qsizetype>(line.points.size()));
        for (const rf::Point& p : line.points) {
            polygon.append(point(p));
        }
        // A curve is drawn with a pen of the same width in pixels that the painter does not
        // transform, and a densely sampled one with bevelled joins, which cannot be told from
        // round ones at its small angles: a thick curve took milliseconds to stroke.
        QPen curve = pen(line.pen);
        curve.setWidthF(line.pen.width * scale_);
        curve.setCosmetic(true);
        if (line.points.size() > dense_curve) {
            curve.setJoinStyle(Qt::BevelJoin);
        }
        painter_.setPen(curve);
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPolyline(polygon);
    }
    void operator()(const rf::Circle& circle) {
        painter_.setPen(pen(circle.pen));
        painter_.setBrush(circle.fill ? QBrush(colour(*circle.fill)) : QBrush(Qt::NoBrush));
        painter_.drawEllipse(point(circle.centre), circle.radius, circle.radius);
    }
    void operator()(const rf::Arc& arc) {
        const double r = arc.radius;
        const QRectF box(arc.centre.x - r, arc.centre.y - r, 2 * r, 2 * r);
        QPainterPath path;
        path.arcMoveTo(box, arc.start_deg);
        path.arcTo(box, arc.start_deg, arc.span_deg);
        painter_.setPen(pen(arc.pen));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPath(path);
    }
    void operator()(const rf::FilledRect& filled) {
        painter_.fillRect(rect(filled.rect), colour(filled.fill));
    }
    void operator()(const rf::Text& text) {
        // Laid out at a large pixel size and scaled down, so that hinting at small sizes does not
        // change the widths the anchors rely on.
        QFont font(QStringLiteral("Liberation Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(reference_size);
        font.setBold(text.bold);
        const QString s =
            QString::fromUtf8(text.text.data(), static_cast<qsizetype>(text.text.size()));
        const double width = QFontMetricsF(font).horizontalAdvance(s);
        double x = 0;
        if (text.anchor == rf::Anchor::Middle) {
            x = -width / 2;
        } else if (text.anchor == rf::Anchor::End) {
            x = -width;
        }
        painter_.save();
        painter_.translate(text.at.x, text.at.y);
        painter_.scale(text.size / reference_size, text.size / reference_size);
        painter_.setFont(font);
        painter_.setPen(colour(text.colour));
        painter_.drawText(QPointF(x, 0), s);
        painter_.restore();
    }
    void operator()(const rf::BeginClip& clip) {
        ++clips_;
        painter_.save();
        painter_.setClipRect(rect(clip.rect), Qt::IntersectClip);
    }
    void operator()(const rf::EndClip&) {
        if (clips_ > 0) {
            --clips_;
            painter_.restore();
        }
    }
    // Clips the list left open.
    ~Painter() {
        for (; clips_ > 0; --clips_) {
            painter_.restore();
        }
    }

  private:
    static constexpr int reference_size = 100;
    static constexpr std::size_t dense_curve = 64; // points
    QPainter& painter_;
    double scale_; // picture units to pixels
    int clips_ = 0;
};

} // namespace

QTransform fit_transform(const rf::Picture& picture, const QRectF& target) {
    if (!(picture.width > 0) || !(picture.height > 0) || target.isEmpty()) {
        return {};
    }
    const double scale = std::min(target.width() / picture.width, target.height() / picture.height);
    const double dx = target.x() + (target.width() - picture.width * scale) / 2;
    const double dy = target.y() + (target.height() - picture.height * scale) / 2;
    return QTransform(scale, 0, 0, scale, dx, dy);
}

void paint_picture(QPainter& painter, const rf::Picture& picture) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, picture.width, picture.height), colour(picture.background));
    Painter draw(painter);
    for (const rf::Operation& operation : picture.operations) {
        std::visit(draw, operation);
    }
    painter.restore();
}

std::optional<QByteArray> png_bytes(const rf::Picture& picture, int scale) {
    const double width = picture.width * scale;
    const double height = picture.height * scale;
    if (!(width >= 1 && height >= 1 && width * height <= 1e8)) {
        return std::nullopt;
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull()) {
        return std::nullopt;
    }
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        paint_picture(painter, picture);
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") || png.isEmpty()) {
        return std::nullopt;
    }
    return png;
}

} // namespace veltrane::fit
