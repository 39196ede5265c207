#include "report/reportdatabase.h"

#include "storage/cabinetgroupstore.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Every device named, the station's 0 too, so the (device, epoch_ms) index finds the rows.
QString reportJournalDevices()
{
    QStringList numbers;
    for (int device = 0; device <= 200; ++device)
        numbers.append(QString::number(device));
    return numbers.join(QLatin1Char(','));
}

} // namespace

ReportDatabase::ReportDatabase(const QString &dataDirectory) : db(dataDirectory)
{
    found = QFileInfo(db.filePath()).isFile();
    if (!found)
        return;
    QSqlDatabase connection = db.database();
    // A checkpoint of the running station can hold a reader back for a moment.
    connection.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    opened = connection.open();
    if (!opened)
        openError = StationDatabase::reasonOf(connection.lastError());
}

bool ReportDatabase::readGroups(QVector<CabinetGroup> *groups, QString *error) const
{
    groups->clear();
    if (!opened) {
        *error = openError;
        return false;
    }
    return CabinetGroupStore::read(db.database(), groups, error);
}

bool ReportDatabase::readJournal(qint64 utcFromMs, qint64 utcToMs, QVector<JournalEvent> *events,
                                 QString *error) const
{
    events->clear();
    if (!opened) {
        *error = openError;
        return false;
    }
    const QString devices = reportJournalDevices();
    const QString inPeriod =
        QStringLiteral("SELECT j.id, %1 FROM alarm_journal j WHERE j.device IN (%2)"
                       " AND j.epoch_ms >= ? AND j.epoch_ms < ? AND j.kind BETWEEN 1 AND 8"
                       " AND j.event IN ('alarm', 'recovery', 'acknowledge')")
            .arg(JournalEvent::columns(QStringLiteral("j.")), devices);
    const QString stillOpen =
        QStringLiteral("SELECT j.id, %1 FROM (SELECT device, kind, level, cabinet_group,"
                       " max(CASE WHEN event = 'recovery' THEN id ELSE 0 END) AS recovered,"
                       " max(CASE WHEN event = 'alarm' THEN id ELSE 0 END) AS raised"
                       " FROM alarm_journal WHERE device IN (%2) AND epoch_ms < ?"
                       " AND kind BETWEEN 1 AND 8 AND event IN ('alarm', 'recovery')"
                       " GROUP BY device, kind, level, cabinet_group) o"
                       " JOIN alarm_journal j ON j.device = o.device AND j.kind = o.kind"
                       " AND j.level IS o.level AND j.cabinet_group IS o.cabinet_group"
                       " AND j.id > o.recovered"
                       " WHERE o.raised > o.recovered AND j.epoch_ms < ?"
                       " AND j.event IN ('alarm', 'acknowledge')")
            .arg(JournalEvent::columns(QStringLiteral("j.")), devices);
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    query.prepare(inPeriod + QStringLiteral(" UNION ALL ") + stillOpen +
                  QStringLiteral(" ORDER BY 1"));
    for (qint64 bound : {utcFromMs, utcToMs, utcFromMs, utcFromMs})
        query.addBindValue(bound);
    if (!query.exec()) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    while (query.next())
        events->append(JournalEvent::read(query, 1));
    if (query.lastError().isValid()) {
        *error = StationDatabase::reasonOf(query.lastError());
        events->clear();
        return false;
    }
    return true;
}
