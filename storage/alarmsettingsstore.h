#pragma once

#include "core/alarmfilter.h"

#include <QString>

class StationDatabase;

// Deadband and delay-on per device, kept in the station database.
class AlarmSettingsStore
{
public:
    explicit AlarmSettingsStore(StationDatabase *database);
    bool load(AlarmFilterSettings *settings);  // devices without a row get 0, 0, 0
    bool save(int firstDevice, int lastDevice, float temperatureDeadband, float currentDeadband,
              int delaySeconds, QString *error = nullptr); // range clipped to 1..200, one transaction

private:
    StationDatabase *db;
};
