#include "storage/alarmsettingsstore.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>


AlarmSettingsStore::AlarmSettingsStore(StationDatabase *database) : db(database) {}

bool AlarmSettingsStore::load(AlarmFilterSettings *settings)
{
    *settings = AlarmFilterSettings();
    if (!db->open())
        return false;
    QSqlQuery query(db->database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT device, temperature_deadband, current_deadband,"
                                   " delay_seconds FROM alarm_settings")))
        return false;
    while (query.next()) {
        const int device = query.value(0).toInt();
        if (device < 1 || device > kDevices)
            continue;
        settings->temperatureDeadband[device - 1] = query.value(1).toFloat();
        settings->currentDeadband[device - 1] = query.value(2).toFloat();
        settings->delaySeconds[device - 1] = query.value(3).toInt();
    }
    return true;
}

bool AlarmSettingsStore::save(int firstDevice, int lastDevice, float temperatureDeadband,
                              float currentDeadband, int delaySeconds, QString *error)
{
    QString reason;
    if (!db->open(&reason)) {
        if (error)
            *error = reason;
        return false;
    }
    const int first = qMax(firstDevice, 1);
    const int last = qMin(lastDevice, int(kDevices));
    if (first > last)
        return true;
    const QSqlDatabase connection = db->database();
    QSqlQuery query(connection);
    bool done = query.exec(QStringLiteral("BEGIN IMMEDIATE"))
        && query.prepare(QStringLiteral(
            "INSERT OR REPLACE INTO alarm_settings (device, temperature_deadband, current_deadband,"
            " delay_seconds) VALUES (?, ?, ?, ?)"));
    for (int device = first; done && device <= last; ++device) {
        query.bindValue(0, device);
        // Through float, so what is read back compares equal to what was set.
        query.bindValue(1, double(temperatureDeadband));
        query.bindValue(2, double(currentDeadband));
        query.bindValue(3, delaySeconds);
        done = query.exec();
    }
    QSqlError failure = query.lastError();
    query.finish();
    done = StationDatabase::finishTransaction(connection, done, &failure);
    if (!done && error)
        *error = StationDatabase::reasonOf(failure);
    return done;
}
