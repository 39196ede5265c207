#include "report/reportsettings.h"

#include "config/stationsettings.h"

#include <QDir>
#include <QVariant>

namespace {

const char kReportGroup[] = "report";
constexpr int kReportKeyCount = 3;
const char *const kReportKeys[kReportKeyCount] = {"daily", "monthly", "folder"};

} // namespace

ReportSettings ReportSettings::load()
{
    const auto store = StationSettings::open();
    store->beginGroup(QLatin1String(kReportGroup));
    ReportSettings settings;
    settings.daily = store->value(QLatin1String(kReportKeys[0]), true).toBool();
    settings.monthly = store->value(QLatin1String(kReportKeys[1]), true).toBool();
    settings.folder = store->value(QLatin1String(kReportKeys[2])).toString().trimmed();
    return settings;
}

bool ReportSettings::save(QString *problem) const
{
    const QVariant values[kReportKeyCount] = {daily, monthly, folder.trimmed()};
    const auto store = StationSettings::open();
    store->beginGroup(QLatin1String(kReportGroup));
    QVariant before[kReportKeyCount];
    for (int k = 0; k < kReportKeyCount; ++k) {
        before[k] = store->value(QLatin1String(kReportKeys[k]));
        store->setValue(QLatin1String(kReportKeys[k]), values[k]);
    }
    if (StationSettings::save(*store, problem))
        return true;
    // Not in force, so not left waiting to go out with some later setting either.
    for (int k = 0; k < kReportKeyCount; ++k) {
        if (before[k].isValid())
            store->setValue(QLatin1String(kReportKeys[k]), before[k]);
        else
            store->remove(QLatin1String(kReportKeys[k]));
    }
    return false;
}

QString ReportSettings::folderPath(const QString &dataDirectory) const
{
    const QString named = folder.trimmed().isEmpty() ? QStringLiteral("reports") : folder.trimmed();
    return QDir::cleanPath(QDir(dataDirectory).absoluteFilePath(QDir::fromNativeSeparators(named)));
}
