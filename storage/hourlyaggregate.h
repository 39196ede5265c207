#pragma once

#include "storage/hourlyarchive.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <map>
#include <utility>

// Minute records of the history files summed up per device and local clock hour, as the
// archive keeps them. Records are fed in file order (oldest file first), so the minute a
// day-boundary tick wrote into two files arrives twice in a row and counts once.
class HourlyAggregate
{
public:
    // One record, its fields as HistoryRecord::parse gives them (stamp in the fifth). A
    // device outside 1..200 or a stamp that is no real "yyyy-MM-dd hh:mm:ss" is skipped;
    // a value that is no finite number is not counted for its quantity.
    void addRecord(int device, const QStringList &fields);
    // The same with the values taken out already; wallSeconds is the stamp in wall seconds.
    void add(int device, qint64 wallSeconds, double temperature, double current);

    bool isEmpty() const { return sums.empty(); }
    // Every (device, hour) seen, ordered by device, then hour; utc filled in.
    QVector<ArchiveHour> rows() const;

    // A field's number ("温度:23.5" gives 23.5): decimal or exponent form, nan and inf
    // included; false for anything else.
    static bool fieldNumber(const QString &field, double *value);
    // The real Unix seconds at which the local clock showed wallHour: the first time when it
    // did so twice, the moment it jumped over it when it never did.
    static qint64 utcOfHour(qint64 wallHour);

private:
    struct Quantity
    {
        int minutes = 0;
        double sum = 0;
        double min = 0;
        double max = 0;
        void add(double value);
    };
    struct Sums
    {
        Quantity temperature;
        Quantity current;
    };
    using Key = std::pair<int, qint64>; // device, wall hour

    std::map<Key, Sums> sums;
    // Per device: the stamp of its last record and the hour it went to, so a run of
    // records in one hour finds its entry without a lookup.
    qint64 lastStamp[201];
    Sums *lastSums[201] = {};
    qint64 lastHour[201];
    bool seen[201] = {};
};
