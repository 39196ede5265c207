#pragma once

#include "core/cabinetgroup.h"
#include "storage/journalevent.h"
#include "storage/stationdatabase.h"

#include <QString>
#include <QVector>

// The station database read beside a running station: opened read-only and only when the
// file is there, so a report never creates, migrates or sets aside the station's file (which
// StationDatabase::open() would). Used on the thread that made it.
class ReportDatabase
{
public:
    explicit ReportDatabase(const QString &dataDirectory);

    bool exists() const { return found; }
    bool isOpen() const { return opened; }
    QString error() const { return openError; } // why an existing file could not be opened
    // The read-only connection, for the storage readers that take a StationDatabase.
    StationDatabase *station() { return &db; }

    // The cabinet groups in their stored order.
    bool readGroups(QVector<CabinetGroup> *groups, QString *error) const;
    // The alarm, recovery and acknowledge rows of kinds 1..8 written in utcFromMs..utcToMs
    // (end excluded), after the rows before it of the alarms then still open: each such
    // alarm's rows from the first alarm row after its last recovery, and acknowledgements.
    // In the order written.
    bool readJournal(qint64 utcFromMs, qint64 utcToMs, QVector<JournalEvent> *events,
                     QString *error) const;

private:
    StationDatabase db;
    bool found = false;
    bool opened = false;
    QString openError;
};
