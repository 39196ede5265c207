#include "report/reportcommand.h"

#include "report/reportfiles.h"
#include "report/reportsettings.h"
#include "site/sitesettings.h"

#include <QDir>
#include <QFileInfo>

namespace ReportCommand {

int run(const QString &dataDirectory, const ReportPeriod &period, const QString &out,
        QString *output, QString *error)
{
    const QString shownData = QDir::toNativeSeparators(dataDirectory);
    if (!QFileInfo(dataDirectory).isDir()) {
        *error = QStringLiteral("kestro: no data folder %1").arg(shownData);
        return 2;
    }
    const QString folder = out.isEmpty() ? ReportSettings::load().folderPath(dataDirectory)
                                         : QDir::cleanPath(QFileInfo(out).absoluteFilePath());
    const ReportOutcome outcome = ReportFiles::make(dataDirectory, period, SiteSettings::load().station,
                                                    folder, QDateTime::currentDateTime());
    // One line, with what could not be read: it may be why nothing was found.
    const QString notes = outcome.notes.isEmpty() ? QString()
                                                  : QStringLiteral(" (%1)").arg(outcome.notes.join(QStringLiteral("; ")));
    if (outcome.notBegun) {
        *error = QStringLiteral("kestro: %1 has not begun").arg(period.text());
        return 2;
    }
    if (outcome.empty) {
        *error = QStringLiteral("kestro: nothing recorded in %1 for %2%3").arg(shownData, period.text(), notes);
        return 2;
    }
    if (!outcome.written()) {
        *error = QStringLiteral("kestro: report not written: %1%2").arg(outcome.error, notes);
        return 2;
    }
    for (const QString &file : outcome.files)
        *output += QDir::toNativeSeparators(file) + QLatin1Char('\n');
    for (const QString &note : outcome.notes)
        *error += QStringLiteral("kestro: note: %1\n").arg(note);
    return 0;
}

} // namespace ReportCommand
