#include "storage/stationdatabase.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace {

// SQLite's primary result codes; its header is not at hand where Qt brings its own copy.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

struct Migration
{
    int version;
    QStringList statements;
};

// Applied in order, each step in one transaction with the version it reaches, so a kill
// part-way leaves the file at the step before and the next start does it again.
const QVector<Migration> &migrations()
{
    static const QVector<Migration> steps = {
        {1,
         {QStringLiteral("CREATE TABLE alarm_journal ("
                         " id INTEGER PRIMARY KEY,"
                         " device INTEGER NOT NULL,"
                         " kind INTEGER NOT NULL,"
                         " event TEXT NOT NULL,"
                         " time_text TEXT NOT NULL,"
                         " epoch_ms INTEGER NOT NULL,"
                         " value REAL,"
                         " limit_value REAL,"
                         " text TEXT NOT NULL,"
                         " began_ms INTEGER)"),
          QStringLiteral("CREATE INDEX alarm_journal_device_time ON alarm_journal(device, epoch_ms)"),
          QStringLiteral("CREATE TABLE alarm_settings ("
                         " device INTEGER PRIMARY KEY,"
                         " temperature_deadband REAL NOT NULL DEFAULT 0,"
                         " current_deadband REAL NOT NULL DEFAULT 0,"
                         " delay_seconds INTEGER NOT NULL DEFAULT 0)")}},
        // The journal rows the site broker has not yet acknowledged.
        {2, {QStringLiteral("CREATE TABLE alarm_outbox (journal_id INTEGER PRIMARY KEY)")}},
        // Hourly minimum, mean and maximum per device, kept for years. `hour` is the local
        // clock hour as the history stamps show it, counted as if UTC; `utc` the real start.
        {3,
         {QStringLiteral("CREATE TABLE hourly_archive ("
                         " device INTEGER NOT NULL,"
                         " hour INTEGER NOT NULL,"
                         " utc INTEGER NOT NULL,"
                         " temperature_minutes INTEGER NOT NULL,"
                         " temperature_min REAL,"
                         " temperature_mean REAL,"
                         " temperature_max REAL,"
                         " current_minutes INTEGER NOT NULL,"
                         " current_min REAL,"
                         " current_mean REAL,"
                         " current_max REAL,"
                         " PRIMARY KEY (device, hour)) WITHOUT ROWID")}},
        // Devices judged together: a cabinet's phases and the air around them; NULL is none.
        {4,
         {QStringLiteral("CREATE TABLE cabinet_groups ("
                         " position INTEGER PRIMARY KEY,"
                         " name TEXT NOT NULL UNIQUE,"
                         " phase_a INTEGER,"
                         " phase_b INTEGER,"
                         " phase_c INTEGER,"
                         " ambient INTEGER)")}},
        // The joint rules: each alarm's level (the rows before it were all 报警), the group a
        // rule judged, and the rules' limits by name; the warning limits per device.
        {5,
         {QStringLiteral("ALTER TABLE alarm_journal ADD COLUMN level INTEGER"),
          QStringLiteral("ALTER TABLE alarm_journal ADD COLUMN cabinet_group TEXT"),
          QStringLiteral("ALTER TABLE alarm_journal ADD COLUMN group_devices TEXT"),
          QStringLiteral("UPDATE alarm_journal SET level = 1"
                         " WHERE event IN ('alarm', 'recovery', 'acknowledge')"),
          QStringLiteral("CREATE TABLE rule_settings (name TEXT PRIMARY KEY, value REAL NOT NULL)"),
          QStringLiteral("CREATE TABLE temperature_warnings ("
                         " device INTEGER PRIMARY KEY,"
                         " warning_limit REAL NOT NULL)")}},
        // Notifications not yet accepted by their channel: 0 e-mail, 1 webhook. held_hour is
        // the hour whose cap held a row back for the summary at its end.
        {6,
         {QStringLiteral("CREATE TABLE notify_outbox ("
                         " id INTEGER PRIMARY KEY,"
                         " journal_id INTEGER NOT NULL,"
                         " channel INTEGER NOT NULL,"
                         " purpose TEXT NOT NULL,"
                         " created_ms INTEGER NOT NULL,"
                         " due_ms INTEGER NOT NULL,"
                         " attempts INTEGER NOT NULL DEFAULT 0,"
                         " last_error TEXT,"
                         " held_hour INTEGER)"),
          QStringLiteral("CREATE INDEX notify_outbox_due ON notify_outbox(channel, due_ms)")}},
    };
    Q_ASSERT(steps.last().version == StationDatabase::kSchemaVersion);
    return steps;
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("kestro-station-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

StationDatabase::StationDatabase(const QString &dataDirectory)
    : path(QDir(dataDirectory).filePath(QStringLiteral("kestro.db"))),
      connectionName(nextConnectionName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    // Only another process could hold the lock; the GUI thread does not wait long for it.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=50"));
}

StationDatabase::~StationDatabase()
{
    close();
    QSqlDatabase::removeDatabase(connectionName);
}

QString StationDatabase::filePath() const
{
    return path;
}

QSqlDatabase StationDatabase::database() const
{
    return QSqlDatabase::database(connectionName, false);
}

bool StationDatabase::isOpen() const
{
    return ready;
}

void StationDatabase::close()
{
    ready = false;
    QSqlDatabase db = database();
    db.close();
}

int StationDatabase::resultCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    // Extended codes carry the primary one in their low byte.
    return ok ? code & 0xff : 0;
}

QString StationDatabase::reasonOf(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

bool StationDatabase::finishTransaction(const QSqlDatabase &connection, bool done,
                                        QSqlError *failure)
{
    if (done) {
        QSqlQuery commit(connection);
        done = commit.exec(QStringLiteral("COMMIT"));
        if (!done)
            *failure = commit.lastError();
    }
    // SQLite rolls some failures back itself; for the rest nothing half-written may stay.
    if (!done)
        QSqlQuery(connection).exec(QStringLiteral("ROLLBACK"));
    return done;
}

bool StationDatabase::runForEach(const QSqlDatabase &connection, const QString &statement,
                                 const QVector<qint64> &keys)
{
    if (keys.isEmpty())
        return true;
    QSqlQuery query(connection);
    bool done = query.exec(QStringLiteral("BEGIN IMMEDIATE")) && query.prepare(statement);
    for (int k = 0; done && k < keys.size(); ++k) {
        query.bindValue(0, keys.at(k));
        done = query.exec();
    }
    QSqlError failure = query.lastError();
    query.finish();
    return finishTransaction(connection, done, &failure);
}

bool StationDatabase::isCorruption(int resultCode)
{
    return resultCode == kSqliteCorrupt || resultCode == kSqliteNotADatabase;
}

bool StationDatabase::open(QString *error)
{
    if (ready)
        return true;
    QString reason;
    bool corrupted = false;
    ready = openOnce(&corrupted, &reason);
    if (!ready && corrupted && setAside(&reason))
        ready = openOnce(&corrupted, &reason);
    if (!ready && error)
        *error = reason;
    return ready;
}

bool StationDatabase::fail(const QSqlError &sqlError, QString *reason)
{
    lastCode = resultCode(sqlError);
    *reason = reasonOf(sqlError);
    close();
    return false;
}

bool StationDatabase::openOnce(bool *corrupted, QString *error)
{
    *corrupted = false;
    lastCode = 0;
    QSqlDatabase db = database();
    if (!db.open()) {
        *corrupted = isCorruption(resultCode(db.lastError()));
        return fail(db.lastError(), error);
    }
    QSqlQuery query(db);
    // Checked before anything is written, so a corrupted file is set aside as it was found.
    // The check reads every page (about 3.5 ms a megabyte): a larger journal is only read
    // at its header here, and damage further in shows as SQLITE_CORRUPT on the next write,
    // which sets the file aside then.
    constexpr qint64 kCheckedBytes = 8 * 1024 * 1024;
    const QString check = QFileInfo(filePath()).size() <= kCheckedBytes
                              ? QStringLiteral("PRAGMA quick_check")
                              : QStringLiteral("PRAGMA schema_version");
    if (!query.exec(check) || !query.next()) {
        *corrupted = isCorruption(resultCode(query.lastError()));
        return fail(query.lastError(), error);
    }
    const QString verdict = query.value(0).toString();
    if (check.endsWith(QLatin1String("quick_check")) && verdict != QLatin1String("ok")) {
        *corrupted = true;
        lastCode = kSqliteCorrupt;
        *error = QStringLiteral("quick_check: ") + verdict;
        close();
        return false;
    }
    query.finish();
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next())
        return fail(query.lastError(), error);
    if (query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        *error = QStringLiteral("journal_mode stays ") + query.value(0).toString();
        close();
        return false;
    }
    query.finish();
    // Per connection: in WAL mode only FULL syncs the log at every commit.
    if (!query.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return fail(query.lastError(), error);
    return migrate(error);
}

bool StationDatabase::migrate(QString *error)
{
    QSqlDatabase db = database();
    int version = 0;
    {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            return fail(query.lastError(), error);
        version = query.value(0).toInt();
    }
    for (const Migration &step : migrations()) {
        if (step.version <= version)
            continue;
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return fail(query.lastError(), error);
        // Another connection (the archive's worker) may have taken the step meanwhile.
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
            const QSqlError failure = query.lastError();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return fail(failure, error);
        }
        if (query.value(0).toInt() >= step.version) {
            version = query.value(0).toInt();
            query.finish();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            continue;
        }
        query.finish();
        bool done = true;
        for (const QString &statement : step.statements)
            done = done && query.exec(statement);
        done = done && query.exec(QStringLiteral("PRAGMA user_version = %1").arg(step.version));
        done = done && query.exec(QStringLiteral("COMMIT"));
        if (!done) {
            const QSqlError failure = query.lastError();
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return fail(failure, error);
        }
        version = step.version;
    }
    return true;
}

bool StationDatabase::setAside(QString *error)
{
    close();
    const QFileInfo info(path);
    QDir dir = info.dir();
    const QStringList companions = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")};
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = QStringLiteral("kestro-corrupt-%1.db").arg(stamp);
    // Two in the same second keep their own names; nothing is overwritten.
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const QString &suffix : companions)
            taken = taken || QFileInfo::exists(dir.filePath(name + suffix));
        if (!taken)
            break;
        name = QStringLiteral("kestro-corrupt-%1-%2.db").arg(stamp).arg(n);
    }
    // The log first: left beside a fresh file it would be replayed into it.
    for (const QString &suffix : {companions.at(1), companions.at(2), companions.at(0)}) {
        QFile file(path + suffix);
        if (file.exists() && !file.rename(dir.filePath(name + suffix))) {
            if (error)
                *error = QStringLiteral("cannot set aside %1: %2")
                             .arg(info.fileName() + suffix, file.errorString());
            return false;
        }
    }
    lastSetAside = dir.filePath(name);
    return true;
}

QVariant StationDatabase::realOrNull(double value)
{
    return qIsNaN(value) ? QVariant(QVariant::Double) : QVariant(value);
}

double StationDatabase::realOrNaN(const QVariant &value)
{
    return value.isNull() ? qQNaN() : value.toDouble();
}

QString StationDatabase::checkOpens(const QString &folder)
{
    // What the folder takes SQLite may not (a path past its own length limit, a file system
    // without the locking its log needs): refused now, not run with a journal that never opens.
    StationDatabase database(folder);
    const bool existed = QFile::exists(database.filePath());
    QString reason;
    if (database.open(&reason))
        return QString();
    database.close();
    if (!existed) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(database.filePath() + QLatin1String(suffix));
    }
    return QStringLiteral("cannot open the database in data folder %1: %2")
        .arg(QDir::toNativeSeparators(folder), reason);
}
