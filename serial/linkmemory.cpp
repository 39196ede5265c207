#include "serial/linkmemory.h"

#include "config/stationsettings.h"

namespace {

const char *const kPortKey = "link/port";
const char *const kOpenKey = "link/open";

} // namespace

void LinkMemory::remember(const QString &portName)
{
    const auto store = StationSettings::open();
    store->setValue(QLatin1String(kPortKey), portName);
    store->setValue(QLatin1String(kOpenKey), true);
    // Written now: the station may next stop by a power cut. A failure is shown by the
    // station; the port stays open all the same.
    StationSettings::save(*store);
}

void LinkMemory::forget()
{
    const auto store = StationSettings::open();
    store->setValue(QLatin1String(kOpenKey), false);
    StationSettings::save(*store);
}

QString LinkMemory::portToResume()
{
    const auto store = StationSettings::open();
    if (!store->value(QLatin1String(kOpenKey), false).toBool())
        return QString();
    return store->value(QLatin1String(kPortKey)).toString();
}
