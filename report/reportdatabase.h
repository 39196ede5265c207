#pragma once

#include "core/cabinetgroup.h"
#include "storage/journalevent.h"
#include "storage/stationdatabase.h"

#include <QString>
#include <QVector>

// The station database read beside a running station, or in a copied folder, a backup or a
// read-only mount: opened read-only and only when the file is there, so a report never
// creates, migrates or sets aside the station's file (which StationDatabase::open() would),
// nor leaves a -wal or -shm behind. Used on the thread that made it.
// A start or stop of the station in the journal (device 0, kind 0).
struct JournalRun
{
    bool started = false;
    qint64 epochMs = 0;
    // The journal row written just before it (its epoch_ms), 0 for none: after a kill, the
    // last the station was heard of before it started again.
    qint64 previousRowMs = 0;
};

class ReportDatabase
{
public:
    explicit ReportDatabase(const QString &dataDirectory);

    bool exists() const { return found; }
    bool isOpen() const { return opened; }
    QString error() const { return openError; } // why an existing file could not be opened
    // Why the -wal file beside it could not be read (the latest rows), empty when it was.
    QString walError() const { return walNotRead; }
    // The read-only connection, for the storage readers that take a StationDatabase.
    StationDatabase *station() { return &db; }

    // The cabinet groups in their stored order.
    bool readGroups(QVector<CabinetGroup> *groups, QString *error) const;
    // The alarm, recovery and acknowledge rows of kinds 1..8 written in utcFromMs..utcToMs
    // (end excluded), after the rows before it of the alarms then still open: each such
    // alarm's rows from the first alarm row after its last recovery, and acknowledgements;
    // then, of the alarms still open at utcToMs, their acknowledgements and recovery after it.
    // In the order written.
    bool readJournal(qint64 utcFromMs, qint64 utcToMs, QVector<JournalEvent> *events,
                     QString *error) const;
    // The station's starts and stops in utcFromMs..utcToMs, with the last one before it and
    // the first one after it, in the order written.
    bool readRuns(qint64 utcFromMs, qint64 utcToMs, QVector<JournalRun> *runs, QString *error) const;

private:
    bool openWith(const QString &options, const QString &name);
    // Appends, for each alarm events leave open, its acknowledgement and recovery at or after
    // utcToMs.
    bool readEndings(qint64 utcToMs, QVector<JournalEvent> *events, QString *error) const;

    StationDatabase db;
    bool found = false;
    bool opened = false;
    QString openError;
    QString walNotRead;
};
