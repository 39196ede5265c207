#include "app/applicationtitle.h"
#include "app/commandline.h"
#include "app/datadirectory.h"
#include "app/mainwindow.h"
#include "app/windowsetup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before the application object: --help and --version need no display, and a bad
    // option or data folder must end the start before any window exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StationOptions options = CommandLine::parse(arguments);
    if (options.exitNow) {
        std::fputs(options.message.toLocal8Bit().constData(),
                   options.exitCode == 0 ? stdout : stderr);
        if (options.exitCode != 0)
            std::fputc('\n', stderr);
        return options.exitCode;
    }
    if (!options.dataDirectory.isEmpty()) {
        const QString problem = DataDirectory::checkUsable(options.dataDirectory);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kestro: %s\n", problem.toLocal8Bit().constData());
            return 2;
        }
    }

    prepareStationPlatform();
    // Only the program name: the options above are the station's whole command line.
    int applicationArgc = 1;
    QApplication app(applicationArgc, argv);
    prepareStationApplication(app);
    int exitCode = 0;
    {
        MainWindow window(nullptr, options.dataDirectory, options.port,
                          CommandLine::toArguments(options));
        if (!window.isSoleInstance()) {
            QMessageBox::warning(nullptr, applicationTitle(),
                                 QCoreApplication::translate("MainWindow", "程序已在运行"));
            return 1;
        }
        prepareStationWindow(window, options.fullScreen);
        if (options.fullScreen)
            window.showFullScreen();
        else
            window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
