#pragma once

#include "storage/journalevent.h"

#include <QPair>
#include <QVector>

class QSqlDatabase;
class QSqlError;

// The journal rows still to be delivered to the site broker, in the station database: filled
// in the journal's own transaction, so no row is ever journalled and not queued, and left only
// when the broker has acknowledged a row.
class AlarmOutbox
{
public:
    // Queues the journal rows from firstJournalId on, inside the caller's transaction; false
    // with the failure when that cannot be done.
    static bool addFrom(const QSqlDatabase &db, qint64 firstJournalId, QSqlError *failure);
    // Up to `limit` rows still in the outbox with a journal id above afterId, oldest first;
    // empty when there are none or they cannot be read.
    static QVector<QPair<qint64, JournalEvent>> pending(const QSqlDatabase &db, int limit,
                                                        qint64 afterId = 0);
    static bool remove(const QSqlDatabase &db, qint64 journalId);
    // All of them in one transaction.
    static bool remove(const QSqlDatabase &db, const QVector<qint64> &journalIds);
    // -1 when it cannot be read.
    static int count(const QSqlDatabase &db);
};
