#include "serial/linkmemory.h"

#include <QSettings>

namespace {

const char *const kPortKey = "link/port";
const char *const kOpenKey = "link/open";

} // namespace

void LinkMemory::remember(const QString &portName)
{
    QSettings store(QStringLiteral("Kestro"), QStringLiteral("station"));
    store.setValue(QLatin1String(kPortKey), portName);
    store.setValue(QLatin1String(kOpenKey), true);
    // Written now: the station may next stop by a power cut.
    store.sync();
}

void LinkMemory::forget()
{
    QSettings store(QStringLiteral("Kestro"), QStringLiteral("station"));
    store.setValue(QLatin1String(kOpenKey), false);
    store.sync();
}

QString LinkMemory::portToResume()
{
    QSettings store(QStringLiteral("Kestro"), QStringLiteral("station"));
    if (!store.value(QLatin1String(kOpenKey), false).toBool())
        return QString();
    return store.value(QLatin1String(kPortKey)).toString();
}
