#include "storage/notifyoutbox.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString rowColumns()
{
    return QStringLiteral("SELECT o.id, o.journal_id, o.channel, o.purpose, o.created_ms, o.attempts, ")
           + JournalEvent::columns(QStringLiteral("j."))
           + QStringLiteral(" FROM notify_outbox o JOIN alarm_journal j ON j.id = o.journal_id ");
}

NotifyOutbox::Row rowOf(const QSqlQuery &query)
{
    NotifyOutbox::Row row;
    row.id = query.value(0).toLongLong();
    row.journalId = query.value(1).toLongLong();
    row.channel = query.value(2).toInt();
    row.escalation = query.value(3).toString() == QLatin1String("escalation");
    row.createdMs = query.value(4).toLongLong();
    row.attempts = query.value(5).toInt();
    row.event = JournalEvent::read(query, 6);
    return row;
}

} // namespace

bool NotifyOutbox::addFrom(const QSqlDatabase &db, qint64 firstJournalId, const NotifyPolicy &policy,
                           qint64 nowMs, QSqlError *failure)
{
    QSqlQuery insert(db);
    // Alarms of a kind (not the operator's actions, nor these deliveries), at the level asked.
    insert.prepare(QStringLiteral(
        "INSERT INTO notify_outbox (journal_id, channel, purpose, created_ms, due_ms)"
        " SELECT id, ?, 'event', ?, ? FROM alarm_journal WHERE id >= ? AND kind > 0"
        " AND (event = 'alarm' OR (event = 'recovery' AND ?)) AND coalesce(level, 1) >= ?"
        " ORDER BY id"));
    for (const int channel : {int(Mail), int(Webhook)}) {
        if (!(channel == Mail ? policy.mail : policy.webhook))
            continue;
        for (const QVariant &value : {QVariant(channel), QVariant(nowMs), QVariant(nowMs),
                                      QVariant(firstJournalId), QVariant(policy.recoveries ? 1 : 0),
                                      QVariant(policy.minLevel)})
            insert.addBindValue(value);
        if (!insert.exec()) {
            *failure = insert.lastError();
            return false;
        }
    }
    return true;
}

bool NotifyOutbox::addEscalation(const QSqlDatabase &db, qint64 journalId, int channel, qint64 createdMs,
                                 qint64 dueMs)
{
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO notify_outbox (journal_id, channel, purpose, created_ms,"
                                  " due_ms) VALUES (?, ?, 'escalation', ?, ?)"));
    for (const QVariant &value : {QVariant(journalId), QVariant(channel), QVariant(createdMs), QVariant(dueMs)})
        insert.addBindValue(value);
    return insert.exec();
}

bool NotifyOutbox::nextDue(const QSqlDatabase &db, int channel, qint64 nowMs, Row *row)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(rowColumns() + QStringLiteral("WHERE o.channel = ? AND o.due_ms <= ? AND o.held_hour IS NULL"
                                                " ORDER BY o.id LIMIT 1"));
    query.addBindValue(channel);
    query.addBindValue(nowMs);
    if (!query.exec() || !query.next())
        return false;
    *row = rowOf(query);
    return true;
}

qint64 NotifyOutbox::nextDueMs(const QSqlDatabase &db, int channel)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT min(due_ms) FROM notify_outbox WHERE channel = ? AND held_hour IS NULL"));
    query.addBindValue(channel);
    if (!query.exec() || !query.next() || query.value(0).isNull())
        return -1;
    return query.value(0).toLongLong();
}

QVector<NotifyOutbox::Row> NotifyOutbox::heldBefore(const QSqlDatabase &db, int channel, qint64 hourMs)
{
    QVector<Row> rows;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(rowColumns() + QStringLiteral("WHERE o.channel = ? AND o.held_hour < ? ORDER BY o.id"));
    query.addBindValue(channel);
    query.addBindValue(hourMs);
    if (query.exec())
        while (query.next())
            rows.append(rowOf(query));
    return rows;
}

bool NotifyOutbox::holdBackDue(const QSqlDatabase &db, int channel, qint64 nowMs, qint64 hourMs)
{
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE notify_outbox SET held_hour = ?"
                                  " WHERE channel = ? AND due_ms <= ? AND held_hour IS NULL"));
    update.addBindValue(hourMs);
    update.addBindValue(channel);
    update.addBindValue(nowMs);
    return update.exec();
}

bool NotifyOutbox::postpone(const QSqlDatabase &db, qint64 id, qint64 dueMs, const QString &error)
{
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE notify_outbox SET due_ms = ?, attempts = attempts + 1,"
                                  " last_error = ?, held_hour = NULL WHERE id = ?"));
    update.addBindValue(dueMs);
    update.addBindValue(error);
    update.addBindValue(id);
    return update.exec();
}

bool NotifyOutbox::bringForward(const QSqlDatabase &db, qint64 nowMs)
{
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE notify_outbox SET due_ms = ? WHERE due_ms > ?"));
    update.addBindValue(nowMs);
    update.addBindValue(nowMs);
    return update.exec();
}

bool NotifyOutbox::remove(const QSqlDatabase &db, const QVector<qint64> &ids)
{
    return StationDatabase::runForEach(db, QStringLiteral("DELETE FROM notify_outbox WHERE id = ?"), ids);
}

int NotifyOutbox::count(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM notify_outbox")) || !query.next())
        return -1;
    return query.value(0).toInt();
}
