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
    return StationSettings::saveGroup(kReportGroup, {{kReportKeys[0], daily}, {kReportKeys[1], monthly},
                                                     {kReportKeys[2], folder.trimmed()}},
                                      problem);
}

QString ReportSettings::folderPath(const QString &dataDirectory) const
{
    const QString named = folder.trimmed().isEmpty() ? QStringLiteral("reports") : folder.trimmed();
    return QDir::cleanPath(QDir(dataDirectory).absoluteFilePath(QDir::fromNativeSeparators(named)));
}
