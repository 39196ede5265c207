#include "report/reportfiles.h"

#include "report/reportbuilder.h"
#include "report/reportpdf.h"
#include "report/reportschedule.h"
#include "report/reportxlsx.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The figures take most of the time; each file a little.
constexpr int kProgressFigures = 80;
constexpr int kProgressPdf = 90;

} // namespace

ReportOutcome ReportFiles::make(const QString &dataDirectory, const ReportPeriod &period,
                                const QString &stationName, const QString &folder,
                                const QDateTime &now, const std::function<void(int)> &progress,
                                const std::atomic<bool> *cancel)
{
    const auto tell = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    ReportOutcome outcome;
    outcome.period = period;
    const ReportData data = ReportBuilder::build(
        dataDirectory, period, stationName, now,
        [&tell](int percent) { tell(percent * kProgressFigures / 100); }, cancel);
    outcome.notes = data.notes;
    if (data.cancelled) {
        outcome.cancelled = true;
        return outcome;
    }
    if (data.devices.isEmpty() && data.alarms.isEmpty()) {
        outcome.empty = true;
        return outcome;
    }
    if (!QDir().mkpath(folder)) {
        outcome.error = QCoreApplication::translate("ReportFiles", "无法创建文件夹 %1")
                            .arg(QDir::toNativeSeparators(folder));
        return outcome;
    }
    const QStringList targets = paths(folder, stationName, period);
    QString error;
    if (!ReportPdf::write(data, targets.at(0), &error)) {
        outcome.error = error;
        return outcome;
    }
    outcome.files << targets.at(0);
    tell(kProgressPdf);
    if (!ReportXlsx::write(data, targets.at(1), &error)) {
        outcome.error = error;
        return outcome;
    }
    outcome.files << targets.at(1);
    tell(100);
    return outcome;
}

QStringList ReportFiles::paths(const QString &folder, const QString &stationName,
                               const ReportPeriod &period)
{
    const QString base = QDir(folder).filePath(ReportSchedule::fileBase(stationName, period));
    return {base + QStringLiteral(".pdf"), base + QStringLiteral(".xlsx")};
}

bool ReportFiles::exist(const QString &folder, const QString &stationName, const ReportPeriod &period)
{
    const QStringList both = paths(folder, stationName, period);
    return QFileInfo::exists(both.at(0)) && QFileInfo::exists(both.at(1));
}
