#include "app/resources.h"

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

QIcon program_icon() {
    init_resources();
    return QIcon(QStringLiteral(":/images/veltrane.png"));
}

QIcon about_icon() {
    init_resources();
    return QIcon(QStringLiteral(":/images/about.png"));
}

} // namespace veltrane::app
