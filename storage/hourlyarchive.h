#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

class StationDatabase;

// One row of hourly_archive: a device's values over one local clock hour. A quantity with no
// finite minute has 0 minutes and NaN for its minimum, mean and maximum (NULL in the table).
struct ArchiveHour
{
    int device = 0;
    qint64 hour = 0; // wall seconds of the hour start (local date and time counted as UTC)
    qint64 utc = 0;  // the same start as real Unix seconds, its first occurrence
    int temperatureMinutes = 0;
    double temperatureMin = qQNaN();
    double temperatureMean = qQNaN();
    double temperatureMax = qQNaN();
    int currentMinutes = 0;
    double currentMin = qQNaN();
    double currentMean = qQNaN();
    double currentMax = qQNaN();
};

// The hourly archive table of an open StationDatabase, used on that database's thread.
class HourlyArchive
{
public:
    explicit HourlyArchive(StationDatabase *database);

    // Rows of the given devices (empty: every device) with fromHour <= hour < toHour (wall
    // seconds), ordered by device, then hour. Empty, with the reason, on a failure.
    QVector<ArchiveHour> read(const QVector<int> &devices, qint64 fromHour, qint64 toHour,
                              QString *error = nullptr) const;
    // Inserts or replaces the rows (key: device, hour) in one transaction, all or nothing.
    bool write(const QVector<ArchiveHour> &rows, QString *error = nullptr);
    // SQLite's primary result code of the last failure (13: disk full, 5: locked).
    int lastResultCode() const { return lastCode; }

private:
    StationDatabase *db;
    mutable int lastCode = 0;
};
