#include "serial/pollingpace.h"

#include "config/stationsettings.h"

namespace {

const char *const kFastKey = "link/fast_polling";
const char *const kGapKey = "link/min_gap_ms";

} // namespace

PollingPace PollingPace::load()
{
    const auto store = StationSettings::open();
    PollingPace pace;
    pace.fast = store->value(QLatin1String(kFastKey), false).toBool();
    bool ok = false;
    const int gap = store->value(QLatin1String(kGapKey), kDefaultGapMs).toInt(&ok);
    if (ok && gap >= 0 && gap <= kLongestGapMs)
        pace.minGapMs = gap;
    return pace;
}

void PollingPace::save() const
{
    const auto store = StationSettings::open();
    store->setValue(QLatin1String(kFastKey), fast);
    store->setValue(QLatin1String(kGapKey), minGapMs);
    StationSettings::save(*store);
}
