#include "app/resources.h"

#include <QPixmap>
#include <QString>

// Q_INIT_RESOURCE must be used outside any namespace. The pictures live in a static library,
// so they are registered explicitly rather than by a static initialiser the linker may drop.
static void register_compiled_resources() {
    Q_INIT_RESOURCE(resources);
}

namespace veltrane::app {

void init_resources() {
    static const bool registered = (register_compiled_resources(), true);
    (void)registered;
}

namespace {

// Both densities whatever the screen now, so that a window moved to another screen still finds
// the sharper one.
QIcon icon_with_2x(const QString& path, const QString& path_2x) {
    init_resources();
    QIcon icon;
    icon.addPixmap(QPixmap(path));
    icon.addPixmap(QPixmap(path_2x));
    return icon;
}

} // namespace

QIcon program_icon() {
    return icon_with_2x(QStringLiteral(":/images/veltrane.png"),
                        QStringLiteral(":/images/veltrane@2x.png"));
}

QIcon about_icon() {
    return icon_with_2x(QStringLiteral(":/images/about.png"),
                        QStringLiteral(":/images/about@2x.png"));
}

} // namespace veltrane::app
