#include "app/main_window.h"
#include "app/resources.h"

#include <QApplication>
#include <QLineEdit>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setWindowIcon(veltrane::app::program_icon());

    veltrane::app::MainWindow window;
    window.show();
    if (auto* first = window.findChild<QLineEdit*>(QStringLiteral("F1_txt"))) {
        first->setFocus(Qt::OtherFocusReason);
    }
    return QApplication::exec();
}
