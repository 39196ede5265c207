#include "site/sitesettings.h"

#include "config/stationsettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>

namespace {

const char kGroup[] = "site";
const char kEnabledKey[] = "enabled";
const char kHostKey[] = "host";
const char kPortKey[] = "port";
const char kTlsKey[] = "tls";
const char kCaKey[] = "ca";
const char kUserKey[] = "user";
const char kStationKey[] = "station";
const char kPrefixKey[] = "prefix";
// In the order save() takes the values.
const char *const kSavedKeys[] = {kEnabledKey, kHostKey, kPortKey, kTlsKey,
                                  kCaKey,      kUserKey, kStationKey, kPrefixKey};
constexpr int kSavedCount = int(sizeof kSavedKeys / sizeof *kSavedKeys);

QString tr(const char *text)
{
    return QCoreApplication::translate("SiteSettings", text);
}

// One topic level: '/' would split it, '+' and '#' are wildcards, and a space breaks the
// consumers' scripts and command lines that carry topics.
bool fitsOneLevel(const QString &level)
{
    return std::none_of(level.cbegin(), level.cend(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#')
               || c.isSpace();
    });
}

} // namespace

SiteSettings SiteSettings::load()
{
    const auto opened = StationSettings::open();
    QSettings &store = *opened;
    store.beginGroup(QLatin1String(kGroup));
    SiteSettings settings;
    settings.enabled = store.value(QLatin1String(kEnabledKey), false).toBool();
    settings.host = store.value(QLatin1String(kHostKey)).toString().trimmed();
    settings.tls = store.value(QLatin1String(kTlsKey), false).toBool();
    bool isNumber = false;
    const int port = store.value(QLatin1String(kPortKey)).toInt(&isNumber);
    // A hand-edited port that no socket can use counts as none.
    settings.port = isNumber && port >= 1 && port <= 65535 ? port : defaultPort(settings.tls);
    settings.ca = store.value(QLatin1String(kCaKey)).toString();
    settings.user = store.value(QLatin1String(kUserKey)).toString();
    settings.station = store.value(QLatin1String(kStationKey)).toString().trimmed();
    if (settings.station.isEmpty())
        settings.station = QSysInfo::machineHostName();
    settings.prefix = store.value(QLatin1String(kPrefixKey), QStringLiteral("kestro")).toString();
    return settings;
}

bool SiteSettings::save(QString *problem) const
{
    const QVariant values[kSavedCount] = {enabled, host.trimmed(), port, tls,
                                          ca,      user,          station.trimmed(), prefix};
    QVector<QPair<const char *, QVariant>> keyed;
    for (int k = 0; k < kSavedCount; ++k)
        keyed.append({kSavedKeys[k], values[k]});
    return StationSettings::saveGroup(kGroup, keyed, problem);
}

int SiteSettings::defaultPort(bool tls)
{
    return tls ? 8883 : 1883;
}

QString SiteSettings::problem() const
{
    // The station name and the prefix make every topic, so they are checked even while off.
    if (station.trimmed().isEmpty())
        return tr("站名不能为空");
    if (!fitsOneLevel(station.trimmed()))
        return tr("站名不能含有 / + # 或空格");
    if (prefix.isEmpty())
        return tr("前缀不能为空");
    if (!fitsOneLevel(prefix))
        return tr("前缀不能含有 / + # 或空格");
    if (port < 1 || port > 65535)
        return tr("端口应在 1 到 65535 之间");
    if (!enabled)
        return QString();
    if (host.trimmed().isEmpty())
        return tr("启用远程发布需要填写主机");
    // Without a CA file the authorities the system trusts verify the broker.
    if (tls && !ca.isEmpty() && !QFileInfo(ca).isFile())
        return tr("CA 文件不存在：%1").arg(ca);
    return QString();
}

bool SiteSettings::operator==(const SiteSettings &other) const
{
    return enabled == other.enabled && host == other.host && port == other.port
           && tls == other.tls && ca == other.ca && user == other.user
           && station == other.station && prefix == other.prefix;
}
