#include "report/reportdatabase.h"

#include "storage/cabinetgroupstore.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QStringList>
#include <QVariant>
#include <map>
#include <tuple>

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
    // A running station keeps its -wal file; without one nothing writes the file, so it is
    // read as it lies (immutable), which creates no -wal or -shm beside it, in a folder that
    // cannot be written too. A read-only connection would leave both behind.
    const bool atRest = !QFileInfo::exists(db.filePath() + QStringLiteral("-wal"));
    if (!atRest && openWith(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"), db.filePath()))
        return;
    const QString readOnlyError = openError;
    // A copy with the -wal of a killed station but no -shm, in a folder that cannot be
    // written, opens only immutable: what the -wal holds is not read, and the report says so.
    const QString uri = QUrl::fromLocalFile(db.filePath()).toString(QUrl::FullyEncoded) +
                        QStringLiteral("?immutable=1");
    if (openWith(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"), uri)) {
        if (!atRest)
            walNotRead = readOnlyError;
        return;
    }
    if (!atRest)
        openError = readOnlyError;
}

bool ReportDatabase::openWith(const QString &options, const QString &name)
{
    QSqlDatabase connection = db.database();
    connection.close();
    connection.setConnectOptions(options);
    connection.setDatabaseName(name);
    opened = connection.open();
    // SQLite opens lazily: the first read says whether the file can be read at all.
    QSqlQuery probe(connection);
    if (opened && !probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        openError = StationDatabase::reasonOf(probe.lastError());
        connection.close();
        opened = false;
    } else if (!opened) {
        openError = StationDatabase::reasonOf(connection.lastError());
    }
    return opened;
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
    // Each alarm open at a moment (bound to its "?"), joined with its rows.
    const QString openAt =
        QStringLiteral("(SELECT device, kind, level, cabinet_group,"
                       " max(CASE WHEN event = 'recovery' THEN id ELSE 0 END) AS recovered,"
                       " max(CASE WHEN event = 'alarm' THEN id ELSE 0 END) AS raised"
                       " FROM alarm_journal WHERE device IN (%1) AND epoch_ms < ?"
                       " AND kind BETWEEN 1 AND 8 AND event IN ('alarm', 'recovery')"
                       " GROUP BY device, kind, level, cabinet_group) o"
                       " JOIN alarm_journal j ON j.device = o.device AND j.kind = o.kind"
                       " AND j.level IS o.level AND j.cabinet_group IS o.cabinet_group")
            .arg(devices);
    const QString stillOpen =
        QStringLiteral("SELECT j.id, %1 FROM %2 AND j.id > o.recovered"
                       " WHERE o.raised > o.recovered AND j.epoch_ms < ?"
                       " AND j.event IN ('alarm', 'acknowledge')")
            .arg(JournalEvent::columns(QStringLiteral("j.")), openAt);
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    if (!query.prepare(inPeriod + QStringLiteral(" UNION ALL ") + stillOpen + QStringLiteral(" ORDER BY 1"))) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    for (qint64 bound : {utcFromMs, utcToMs, utcFromMs, utcFromMs})
        query.addBindValue(bound);
    if (!query.exec()) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    while (query.next())
        events->append(JournalEvent::read(query, 1));
    if (query.lastError().isValid() || !readEndings(utcToMs, events, error)) {
        if (query.lastError().isValid())
            *error = StationDatabase::reasonOf(query.lastError());
        events->clear();
        return false;
    }
    return true;
}

bool ReportDatabase::readEndings(qint64 utcToMs, QVector<JournalEvent> *events, QString *error) const
{
    // The alarms still open at the period's end, by the rows just read.
    using Key = std::tuple<int, int, int, QString>;
    std::map<Key, bool> open;
    for (const JournalEvent &event : qAsConst(*events)) {
        if (event.event != QLatin1String("acknowledge"))
            open[Key(event.device, event.kind, event.level, event.group.name)] = event.event == QLatin1String("alarm");
    }
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT j.id, %1 FROM alarm_journal j WHERE j.device = ? AND j.kind = ?"
                                      " AND j.level IS ? AND j.cabinet_group IS ? AND j.epoch_ms >= ?"
                                      " AND j.event IN ('recovery', 'acknowledge') ORDER BY j.epoch_ms, j.id")
                           .arg(JournalEvent::columns(QStringLiteral("j."))))) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    for (const auto &key : open) {
        if (!key.second)
            continue;
        query.addBindValue(std::get<0>(key.first));
        query.addBindValue(std::get<1>(key.first));
        query.addBindValue(std::get<2>(key.first));
        query.addBindValue(std::get<3>(key.first).isEmpty() ? QVariant(QVariant::String) : QVariant(std::get<3>(key.first)));
        query.addBindValue(utcToMs);
        if (!query.exec()) {
            *error = StationDatabase::reasonOf(query.lastError());
            return false;
        }
        // Its acknowledgement and its recovery; what came after is another alarm's.
        while (query.next()) {
            events->append(JournalEvent::read(query, 1));
            if (events->last().event == QLatin1String("recovery"))
                break;
        }
        query.finish();
    }
    return true;
}

bool ReportDatabase::readRuns(qint64 utcFromMs, qint64 utcToMs, QVector<JournalRun> *runs,
                              QString *error) const
{
    runs->clear();
    if (!opened) {
        *error = openError;
        return false;
    }
    const QString isRun = QStringLiteral(
        "device = 0 AND kind = 0 AND event IN ('started', 'stopped')");
    QSqlQuery query(db.database());
    query.setForwardOnly(true);
    const QString statement =
        QStringLiteral("SELECT j.event, j.epoch_ms, (SELECT p.epoch_ms FROM alarm_journal p"
                       " WHERE p.id < j.id ORDER BY p.id DESC LIMIT 1) FROM alarm_journal j"
                       " WHERE j.id IN (SELECT id FROM alarm_journal WHERE %1 AND epoch_ms >= ?"
                       " AND epoch_ms < ?) OR j.id = (SELECT max(id) FROM alarm_journal WHERE %1"
                       " AND epoch_ms < ?) OR j.id = (SELECT min(id) FROM alarm_journal WHERE %1"
                       " AND epoch_ms >= ?) ORDER BY j.id")
            .arg(isRun);
    if (!query.prepare(statement)) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    for (qint64 bound : {utcFromMs, utcToMs, utcFromMs, utcToMs})
        query.addBindValue(bound);
    if (!query.exec()) {
        *error = StationDatabase::reasonOf(query.lastError());
        return false;
    }
    while (query.next())
        runs->append({query.value(0).toString() == QLatin1String("started"),
                      query.value(1).toLongLong(), query.value(2).toLongLong()});
    if (query.lastError().isValid()) {
        *error = StationDatabase::reasonOf(query.lastError());
        runs->clear();
        return false;
    }
    return true;
}
