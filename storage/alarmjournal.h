#pragma once

#include "storage/journalevent.h"
#include "storage/notifyoutbox.h"
#include "storage/stationdatabase.h"

#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QtNumeric>

#include <deque>

// Every alarm, recovery and operator action, kept in the station database tick by tick.
// A database that cannot be opened or written stops nothing: the events wait in memory and
// the operator is told until they are written.
class AlarmJournal : public QObject
{
    Q_OBJECT

public:
    // Bounds what a long fault holds in memory (some tens of MB); beyond it the oldest ticks go.
    static constexpr int kDefaultPendingLimit = 100000;
    // Whole ticks up to about this many events go in one transaction, so a backlog goes out
    // in slices of some tens of milliseconds, the GUI thread running between them.
    static constexpr int kEventsPerTransaction = 2000;

    // Writes into `database`, opening it when it must; the database outlives the journal.
    explicit AlarmJournal(StationDatabase &database, QObject *parent = nullptr, int retryMs = 10000);
    ~AlarmJournal() override;
    // One tick's events in one transaction, committed with full sync before it returns; an
    // empty list touches nothing. When the database cannot be opened or written the events
    // wait in memory, in order, and go out with the next write that succeeds (a retry timer
    // also tries every retryMs). False when they could not be written now, also while they
    // wait behind a backlog that is still going out.
    bool append(const QVector<JournalEvent> &events);
    QString fault() const;       // empty while it works; else a short reason for the status bar
    // The damaged file last set aside for a fresh one (at start or on a write), empty when none.
    QString setAsidePath() const { return reportedSetAside; }
    int pendingCount() const;
    StationDatabase *database(); // for the journal view and the settings store

    // While on, every row written is also put in the AlarmOutbox, in the same transaction, and
    // stays there until the site broker has acknowledged it. Off by default, so a station
    // without a site link keeps no outbox growing.
    void setOutboxEnabled(bool enabled) { outboxEnabled = enabled; }
    bool isOutboxEnabled() const { return outboxEnabled; }
    // Which rows written from now on are also queued in the NotifyOutbox, in the same
    // transaction; none by default.
    void setNotifyPolicy(const NotifyPolicy &policy) { notifyPolicy = policy; }

    // Events given up because too many were waiting, since construction.
    qint64 droppedCount() const { return dropped; }
    void setPendingLimit(int events) { pendingLimit = events; }

signals:
    void faultChanged(const QString &fault); // empty again when it recovers
    void written();                          // after each commit of events
    void setAside(const QString &path);      // a damaged file was renamed to path

private:
    bool flush();
    bool writeOldest(QString *reason, int *code);
    void retry();
    void reportFault(int code, const QString &reason);
    void reportRecovered();
    void reportSetAside();

    StationDatabase &db;
    std::deque<QVector<JournalEvent>> waiting;
    int waitingEvents = 0;
    int pendingLimit = kDefaultPendingLimit;
    qint64 dropped = 0;
    qint64 droppedReported = 0;
    bool outboxEnabled = false;
    NotifyPolicy notifyPolicy;
    QString currentFault;
    QString reportedSetAside;
    QTimer retryTimer;
    QTimer drainTimer;
};
