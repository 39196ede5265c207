#include "app/applicationtitle.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/stopsignals.h"
#include "app/windowsetup.h"
#include "core/datadirectory.h"
#include "core/servicelog.h"
#include "report/reportcommand.h"
#include "station/rulesimport.h"
#include "storage/stationdatabase.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLockFile>
#include <QMessageBox>
#include <cstdio>
#include <memory>

namespace {

// A script reads the report command's one line; Qt's notes on the way (no runtime folder, say)
// are not news to it.
void onlyGraveMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "kestro: %s\n", text.toLocal8Bit().constData());
}

} // namespace

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
    const bool named = !options.dataDirectory.isEmpty();
    const QString dataDirectory = named ? options.dataDirectory : DataDirectory::defaultPath();
    const QByteArray shownDirectory = QDir::toNativeSeparators(dataDirectory).toLocal8Bit();

    if (options.report.isValid()) {
        // Read only: the data folder is neither made nor locked. The PDF's fonts need the
        // application object; the offscreen platform needs no display. Windows' own needs
        // none either, and is the one plugin deployed there.
        char platformOption[] = "-platform";
        char platform[] = "offscreen";
        char *reportArgv[] = {argv[0], platformOption, platform, nullptr};
#ifdef Q_OS_WIN
        int reportArgc = 1;
#else
        int reportArgc = 3;
#endif
        qInstallMessageHandler(onlyGraveMessages);
        QGuiApplication reportApp(reportArgc, reportArgv);
        QString output;
        QString error;
        const int code = ReportCommand::run(dataDirectory, options.report, options.reportOut, &output, &error);
        std::fputs(output.toLocal8Bit().constData(), stdout);
        std::fputs(error.toLocal8Bit().constData(), stderr);
        if (code != 0)
            std::fputc('\n', stderr);
        return code;
    }
    if (named && !QDir(dataDirectory).mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "kestro: cannot create data folder %s\n", shownDirectory.constData());
        return 2;
    }

    if (!options.importRules.isEmpty()) {
        // No window and no display: only the database driver needs the application object.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        if (!named)
            DataDirectory::ensureExists(dataDirectory);
        QString message;
        const int code = RulesImport::run(dataDirectory, options.importRules, &message);
        std::fputs(message.toLocal8Bit().constData(), code == 0 ? stdout : stderr);
        if (code != 0)
            std::fputc('\n', stderr);
        return code;
    }

    prepareStationPlatform();
    // Only the program name: the options above are the station's whole command line.
    int applicationArgc = 1;
    QApplication app(applicationArgc, argv);
    // Until prepareStationApplication Qt's messages are held: a start refused below prints
    // its one line and nothing else.
    if (!named)
        DataDirectory::ensureExists(dataDirectory);
    // Locked before anything is opened in it: a second station leaves the folder untouched.
    std::unique_ptr<QLockFile> lock = DataDirectory::takeLock(dataDirectory);
    if (!lock->isLocked() && lock->error() == QLockFile::LockFailedError) {
        std::fprintf(stderr, "kestro: another station runs on %s\n", shownDirectory.constData());
        std::fflush(stderr);
        // Started from a desktop, someone is there to read it; a script reads stderr.
        if (!named && options.port.isEmpty()) {
            prepareStationApplication(app);
            QMessageBox::warning(nullptr, applicationTitle(),
                                 QCoreApplication::translate("MainWindow", "程序已在运行"));
        }
        return 1;
    }
    // After the application object, which loads the database driver.
    if (named) {
        QString problem = DataDirectory::checkWritable(dataDirectory);
        if (problem.isEmpty())
            problem = StationDatabase::checkOpens(dataDirectory);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kestro: %s\n", problem.toLocal8Bit().constData());
            return 2;
        }
    }
    prepareStationApplication(app);
    // Before the window: a stop asked for while it is made is taken once the loop runs.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [](const QString &name) {
        ServiceLog::write("station", QCoreApplication::translate("main", "收到 %1，正常退出").arg(name));
        // As closing the window: every loop ends, open dialogs' too, and the window goes.
        QCoreApplication::quit();
    });
    int exitCode = 0;
    {
        MainWindow window(nullptr, options.dataDirectory, options.port,
                          CommandLine::toArguments(options), lock.release());
        prepareStationWindow(window, options.fullScreen);
        if (options.fullScreen)
            window.showFullScreen();
        else
            window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
