#pragma once

#include "storage/journalevent.h"

#include <QString>
#include <QVector>

class QSqlDatabase;
class QSqlError;

// Which journal events are told to people, and on which channels.
struct NotifyPolicy
{
    bool mail = false;
    bool webhook = false;
    int minLevel = 1;       // 0: 预警 and 报警; 1: 报警 only
    bool recoveries = true;

    bool any() const { return mail || webhook; }
};

// The notifications still to be accepted by their channel, in the station database: queued in
// the journal's own transaction, so no alarm is journalled and not queued, and left only when
// the mail server or the webhook has taken it (or after a day of failures, journalled so).
class NotifyOutbox
{
public:
    enum Channel { Mail = 0, Webhook = 1 };

    struct Row
    {
        qint64 id = 0;
        qint64 journalId = 0;
        int channel = Mail;
        bool escalation = false;
        qint64 createdMs = 0;
        int attempts = 0;
        JournalEvent event;
    };

    // Queues, inside the caller's transaction, one row per channel the policy names for each
    // alarm (and recovery, when it says so) journalled from firstJournalId on; false with the
    // failure when that cannot be done.
    static bool addFrom(const QSqlDatabase &db, qint64 firstJournalId, const NotifyPolicy &policy,
                        qint64 nowMs, QSqlError *failure);
    // An alarm sent again because nobody acknowledged it by createdMs; due at once.
    static bool addEscalation(const QSqlDatabase &db, qint64 journalId, int channel, qint64 createdMs,
                              qint64 dueMs);

    // The channel's first row in journal order due by nowMs and not held back in an hour's
    // summary: a message tried again keeps its place.
    static bool nextDue(const QSqlDatabase &db, int channel, qint64 nowMs, Row *row);
    // When the channel's next row falls due; -1 when none waits (or it cannot be read).
    static qint64 nextDueMs(const QSqlDatabase &db, int channel);
    // Rows held back past the hourly cap in hours that began before hourMs, oldest first.
    static QVector<Row> heldBefore(const QSqlDatabase &db, int channel, qint64 hourMs);
    // Holds the channel's rows due by nowMs back for the summary at the end of the hour
    // beginning at hourMs; one statement, however many.
    static bool holdBackDue(const QSqlDatabase &db, int channel, qint64 nowMs, qint64 hourMs);
    static bool postpone(const QSqlDatabase &db, qint64 id, qint64 dueMs, const QString &error);
    // Every row waiting for a later try falls due at nowMs.
    static bool bringForward(const QSqlDatabase &db, qint64 nowMs);
    static bool remove(const QSqlDatabase &db, const QVector<qint64> &ids);
    // -1 when it cannot be read.
    static int count(const QSqlDatabase &db);
};
