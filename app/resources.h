#pragma once

#include <QIcon>

namespace veltrane::app {

// Registers the compiled-in pictures (":/images/..."); safe to call more than once.
void init_resources();

// The program's icon, also the main window's.
[[nodiscard]] QIcon program_icon();
// The About window's icon.
[[nodiscard]] QIcon about_icon();

} // namespace veltrane::app
