#include "app/commandline.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

const int kUsageError = 2;

// QCommandLineParser's own help text needs the application object, made only later.
QString helpText(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral("Usage: kestro [options]\nKestro monitoring station.\n\nOptions:\n");
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  %1  %2\n").arg(left, -22).arg(option.description());
    }
    return text;
}

// "day" with a date, or "month" with a month, and nothing else.
bool parsePeriod(const QString &kind, const QString &text, ReportPeriod *period)
{
    if (!ReportPeriod::parse(text, period))
        return false;
    const ReportPeriod::Length length = period->length();
    return (kind == QLatin1String("day") && length == ReportPeriod::Length::Day) ||
           (kind == QLatin1String("month") && length == ReportPeriod::Length::Month);
}

} // namespace

StationOptions CommandLine::parse(const QStringList &arguments)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show these options and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Keep the station's files in DIR."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Open serial port PATH at start."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption fullScreen(QStringLiteral("full-screen"),
                                        QStringLiteral("Show the window full screen."));
    const QCommandLineOption importRules(QStringLiteral("import-rules"),
                                         QStringLiteral("Import the cabinet groups of CSV FILE and exit."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Make the report of a day or month and exit: "
                                                   "--report day yyyy-MM-dd or --report month yyyy-MM."),
                                    QStringLiteral("KIND"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Write the report into DIR (default: the report folder)."),
                                 QStringLiteral("DIR"));
    const QList<QCommandLineOption> all{help, version, dataDir, port, fullScreen, importRules, report, out};

    QCommandLineParser parser;
    parser.addOptions(all);
    StationOptions result;
    if (!parser.parse(arguments)) {
        result.exitNow = true;
        result.exitCode = kUsageError;
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        result.message = QStringLiteral("kestro: %1 (see --help)").arg(error);
        return result;
    }
    // The report's day or month is the one argument without an option.
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (parser.isSet(report) ? 1 : 0)) {
        result.exitNow = true;
        result.exitCode = kUsageError;
        result.message = QStringLiteral("kestro: unexpected argument '%1' (see --help)")
                             .arg(positional.constLast());
        return result;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        result.exitNow = true;
        result.message = parser.isSet(help)
                             ? helpText(all)
                             : QStringLiteral("kestro " KESTRO_VERSION "\n");
        return result;
    }
    result.dataDirectory = parser.value(dataDir);
    result.port = parser.value(port);
    result.fullScreen = parser.isSet(fullScreen);
    result.importRules = parser.value(importRules);
    result.reportOut = parser.value(out);
    if (parser.isSet(report) && !parsePeriod(parser.value(report), positional.value(0), &result.report)) {
        result.exitNow = true;
        result.exitCode = kUsageError;
        result.message = QStringLiteral("kestro: --report takes day yyyy-MM-dd or month yyyy-MM (see --help)");
        return result;
    }
    if (parser.isSet(out) && !parser.isSet(report)) {
        result.exitNow = true;
        result.exitCode = kUsageError;
        result.message = QStringLiteral("kestro: --out goes with --report (see --help)");
        return result;
    }
    for (const QCommandLineOption &valued : {dataDir, port, importRules, out}) {
        if (parser.isSet(valued) && parser.value(valued).isEmpty()) {
            result.exitNow = true;
            result.exitCode = kUsageError;
            result.message = QStringLiteral("kestro: empty value for --%1 (see --help)")
                                 .arg(valued.names().constFirst());
        }
    }
    return result;
}

QStringList CommandLine::toArguments(const StationOptions &options)
{
    QStringList arguments;
    if (!options.dataDirectory.isEmpty())
        arguments << QStringLiteral("--data-dir")
                  << QDir::toNativeSeparators(
                         QDir::cleanPath(QFileInfo(options.dataDirectory).absoluteFilePath()));
    if (!options.port.isEmpty()) {
        QString port = options.port;
#ifndef Q_OS_WIN
        // The serial port takes a bare name ("ttyUSB0", "pts/3") under /dev, and only names
        // starting "/", "./" or "../" as paths: only the relative ones of those move.
        if (port.startsWith(QLatin1String("./")) || port.startsWith(QLatin1String("../")))
            port = QDir::cleanPath(QFileInfo(port).absoluteFilePath());
#endif
        arguments << QStringLiteral("--port") << port;
    }
    if (options.fullScreen)
        arguments << QStringLiteral("--full-screen");
    return arguments;
}
