#include "storage/journalevent.h"

#include "storage/stationdatabase.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

QString JournalEvent::columns(const QString &prefix)
{
    static const char *const names[] = {"device", "kind", "event", "time_text", "epoch_ms",
                                        "value", "limit_value", "text", "began_ms"};
    QStringList list;
    for (const char *name : names)
        list << prefix + QLatin1String(name);
    return list.join(QStringLiteral(", "));
}

JournalEvent JournalEvent::read(const QSqlQuery &query, int first)
{
    JournalEvent event;
    event.device = query.value(first).toInt();
    event.kind = query.value(first + 1).toInt();
    event.event = query.value(first + 2).toString();
    event.timeText = query.value(first + 3).toString();
    event.epochMs = query.value(first + 4).toLongLong();
    event.value = StationDatabase::realOrNaN(query.value(first + 5));
    event.limit = StationDatabase::realOrNaN(query.value(first + 6));
    event.text = query.value(first + 7).toString();
    event.beganMs = query.value(first + 8).toLongLong();
    return event;
}
