#include "app/about_window.h"

#include "app/layout.h"
#include "app/resources.h"

#include <QPalette>

namespace veltrane::app {

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("AboutMdl"));
    setWindowTitle(QStringLiteral("Veltrane  (for broadband impedance matching ) "));
    setWindowIcon(about_icon());

    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    setAutoFillBackground(true);

    build_controls(*this, about_window_controls());
    setFixedSize(to_pixels(about_window_client).size());
}

} // namespace veltrane::app
