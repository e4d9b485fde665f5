#pragma once

#include <QWidget>

namespace veltrane::app {

// AboutMdl: the program's title in the caption and two lines of credits on black. It runs no
// code of its own; it is a top-level window without owner.
class AboutWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

} // namespace veltrane::app
