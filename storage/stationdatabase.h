#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <QVariant>

class QSqlError;

// The station's one database file, kestro.db in the data folder, on a connection of its own:
// write-ahead log, every commit synced, the schema brought to kSchemaVersion step by step.
// Later tables join it as further migration steps.
class StationDatabase
{
public:
    static constexpr int kSchemaVersion = 6;

    explicit StationDatabase(const QString &dataDirectory); // dataDirectory/kestro.db, own connection name
    ~StationDatabase();                                     // closes, removes its connection

    // Opens (creating) the file, WAL + synchronous=FULL, migrates to kSchemaVersion. A file that
    // is not a database or fails PRAGMA quick_check is renamed (with its -wal and -shm) to
    // "kestro-corrupt-yyyyMMdd-hhmmss.db" and a fresh one made; nothing is deleted. False, with
    // the reason, when it cannot be opened or migrated; calling open() again retries.
    bool open(QString *error = nullptr);
    bool isOpen() const;
    void close();
    QSqlDatabase database() const;   // the connection (valid while open)
    QString filePath() const;

    // Closes and renames the file and its companions as open() does with a corrupted one,
    // for corruption found later, while writing; the next open() starts a fresh file.
    bool setAside(QString *error = nullptr);
    // The name the last corrupted file was given; empty when none was set aside.
    QString setAsidePath() const { return lastSetAside; }
    // SQLite's primary result code of the last failure of open(): 13 for a full disk.
    int lastResultCode() const { return lastCode; }

    // SQLite's primary result code behind a Qt error, 0 when it carries none.
    static int resultCode(const QSqlError &error);
    // What SQLite said, else what Qt says of it: for the operator's messages.
    static QString reasonOf(const QSqlError &error);
    // Ends a transaction begun with BEGIN IMMEDIATE: commits when done (Qt's own commit()
    // drops SQLite's result code), else rolls back, so nothing half-written stays. False,
    // with *failure updated, when it did not commit.
    static bool finishTransaction(const QSqlDatabase &connection, bool done, QSqlError *failure);
    // Runs `statement` (one "?" for the key) once per key, all in one transaction.
    static bool runForEach(const QSqlDatabase &connection, const QString &statement,
                           const QVector<qint64> &keys);
    static bool isCorruption(int resultCode);
    // For a data folder named on the command line: opens its database, as the alarm journal
    // will. Needs the application object (Qt's SQLite driver is a plugin). Empty when it
    // opens, else why not, for one line of stderr; a database file this check made is not
    // left in a refused folder.
    static QString checkOpens(const QString &folder);
    // A number as the tables keep it: NaN, "none", is NULL, and NULL reads back as NaN.
    static QVariant realOrNull(double value);
    static double realOrNaN(const QVariant &value);

private:
    bool openOnce(bool *corrupted, QString *error);
    bool migrate(QString *error);
    bool fail(const QSqlError &error, QString *reason);

    QString path;
    QString connectionName;
    QString lastSetAside;
    int lastCode = 0;
    bool ready = false;
};
