#include "app/main_window.h"
#include "app/resources.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    QApplication::setWindowIcon(veltrane::app::program_icon());

    veltrane::app::MainWindow window;
    window.show(); // the window puts the focus in F1_txt
    return QApplication::exec();
}
