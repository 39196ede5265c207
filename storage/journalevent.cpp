#include "storage/journalevent.h"

#include "storage/stationdatabase.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

QString JournalEvent::columns(const QString &prefix)
{
    static const char *const names[] = {"device", "kind", "event", "time_text", "epoch_ms",
                                        "value", "limit_value", "text", "began_ms",
                                        "level", "cabinet_group", "group_devices"};
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
    event.level = query.value(first + 9).isNull() ? 1 : query.value(first + 9).toInt();
    event.group.name = query.value(first + 10).toString();
    const QStringList devices = query.value(first + 11).toString().split(QLatin1Char(','));
    for (int k = 0; k < 4 && devices.size() == 4; ++k)
        (k < 3 ? event.group.phases[size_t(k)] : event.group.ambient) = devices.at(k).toInt();
    return event;
}

QString JournalEvent::groupDevices(const CabinetGroup &group)
{
    QStringList cells;
    for (int device : {group.phases[0], group.phases[1], group.phases[2], group.ambient})
        cells << (device ? QString::number(device) : QString());
    return cells.join(QLatin1Char(','));
}
