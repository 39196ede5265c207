#include "storage/alarmoutbox.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

bool AlarmOutbox::addFrom(const QSqlDatabase &db, qint64 firstJournalId, QSqlError *failure)
{
    QSqlQuery outbox(db);
    outbox.prepare(QStringLiteral(
        "INSERT INTO alarm_outbox (journal_id) SELECT id FROM alarm_journal WHERE id >= ?"));
    outbox.addBindValue(firstJournalId);
    if (outbox.exec())
        return true;
    *failure = outbox.lastError();
    return false;
}

QVector<QPair<qint64, JournalEvent>> AlarmOutbox::pending(const QSqlDatabase &db, int limit,
                                                         qint64 afterId)
{
    QVector<QPair<qint64, JournalEvent>> rows;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT j.id, ") + JournalEvent::columns(QStringLiteral("j."))
                  + QStringLiteral(" FROM alarm_outbox o JOIN alarm_journal j ON j.id = o.journal_id"
                                   " WHERE o.journal_id > ? ORDER BY o.journal_id LIMIT ?"));
    query.addBindValue(afterId);
    query.addBindValue(limit);
    if (!query.exec())
        return rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), JournalEvent::read(query, 1)});
    return rows;
}

bool AlarmOutbox::remove(const QSqlDatabase &db, qint64 journalId)
{
    return remove(db, QVector<qint64>{journalId});
}

bool AlarmOutbox::remove(const QSqlDatabase &db, const QVector<qint64> &journalIds)
{
    return StationDatabase::runForEach(
        db, QStringLiteral("DELETE FROM alarm_outbox WHERE journal_id = ?"), journalIds);
}

int AlarmOutbox::count(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM alarm_outbox")) || !query.next())
        return -1;
    return query.value(0).toInt();
}
