#pragma once

// Pointing into the measured-data window's charts in its Qt tests.

#include "fit/chart_view.h"
#include "rf/chart_frame.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace veltrane::testing {

// A press, four moves and a release of the left button on `chart`, in picture coordinates.
inline void drag_on_chart(fit::ChartView* chart, rf::Point from, rf::Point to) {
    const QPointF a = chart->to_widget(from);
    const QPointF b = chart->to_widget(to);
    QTest::mousePress(chart, Qt::LeftButton, {}, a.toPoint());
    for (int step = 1; step <= 4; ++step) {
        const QPointF at = a + (b - a) * step / 4.0;
        QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(chart, &move);
    }
    QTest::mouseRelease(chart, Qt::LeftButton, {}, b.toPoint());
}

} // namespace veltrane::testing
