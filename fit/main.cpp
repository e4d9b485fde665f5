#include "fit/fit_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Veltrane"));
    QApplication::setApplicationName(QStringLiteral("veltrane-fit"));
    QApplication::setApplicationVersion(QStringLiteral(VELTRANE_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltrane-fit.png")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fits Veltrane's lumped model to measured data on a Smith chart."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port_option(QStringLiteral("port"),
                                         QStringLiteral("The port of a multi-port file (from 1)."),
                                         QStringLiteral("N"), QStringLiteral("1"));
    parser.addOption(port_option);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A Touchstone file to open (.s1p, .s2p, ..., .ts)."));
    parser.process(application);

    bool port_ok = false;
    const int port = parser.value(port_option).toInt(&port_ok);
    if (!port_ok || port < 1) {
        parser.showHelp(2);
    }

    veltrane::fit::FitWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        window.open_file(parser.positionalArguments().front(), port);
    }
    return QApplication::exec();
}
