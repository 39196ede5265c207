// The alarm journal on real files: what goes in comes out, a corrupted file is set aside,
// a full disk or a missing folder stops nothing and loses nothing that can be kept.

#include "storage/alarmjournal.h"
#include "storage/alarmsettingsstore.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QTest>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

// Rows as a second connection sees them: only what was committed.
QList<QVariantList> rows(const QString &directory, const QString &sql)
{
    QList<QVariantList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "probe");
        db.setDatabaseName(QDir(directory).filePath("kestro.db"));
        QSqlQuery query(db.open() ? db : QSqlDatabase());
        for (query.exec(sql); query.next();) {
            result << QVariantList();
            for (int k = 0; k < query.record().count(); ++k)
                result.last() << query.value(k);
        }
    }
    QSqlDatabase::removeDatabase("probe");
    return result;
}

QVector<JournalEvent> tick(int count, const QString &text, qint64 epochMs)
{
    return QVector<JournalEvent>(count, {7, 1, "alarm", "2026-03-02 08:00:00", epochMs, 91.5, 80.0, text,
                                         epochMs - 5000});
}


} // namespace

class tst_alarmjournal : public QObject
{
    Q_OBJECT

private slots:
    void eventsGoInAsOneCommittedTick();
    void corruptedFileIsSetAside_data();
    void corruptedFileIsSetAside();
    void fullDiskKeepsEventsUntilSpaceReturns();
    void missingFolderKeepsTheNewestTicks();
    void settingsKeepTheirRange();
};

void tst_alarmjournal::eventsGoInAsOneCommittedTick()
{
    QTemporaryDir dir;
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    const QVector<JournalEvent> events = {
        {5, 1, "alarm", "2026-03-02 08:00:01", 1772409601000, 85.25, 80.0, "5温度异常", 1772409596000},
        {5, 1, "acknowledge", "2026-03-02 08:00:02", 1772409602000, qQNaN(), qQNaN(), "5温度异常", 0},
        {0, 0, "clear", "2026-03-02 08:00:03", 1772409603000, qQNaN(), qQNaN(), "清除", 0},
    };
    QVERIFY(journal.append(events));
    QVERIFY(journal.append({}));
    const QList<QVariantList> stored = rows(dir.path(),
        "SELECT device, kind, event, time_text, epoch_ms, value, limit_value, text, began_ms"
        " FROM alarm_journal ORDER BY id");
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored.at(0), (QVariantList{5, 1, "alarm", "2026-03-02 08:00:01", 1772409601000LL, 85.25,
                                         80.0, "5温度异常", 1772409596000LL}));
    QCOMPARE(stored.at(2).mid(0, 5), (QVariantList{0, 0, "clear", "2026-03-02 08:00:03", 1772409603000LL}));
    for (int column : {5, 6, 8})
        QVERIFY(stored.at(1).at(column).isNull());
    QCOMPARE(rows(dir.path(), "SELECT * FROM pragma_user_version, pragma_journal_mode"),
             (QList<QVariantList>{{6, "wal"}}));
    QSqlQuery synchronous(journal.database()->database());
    QVERIFY(synchronous.exec("PRAGMA synchronous") && synchronous.next());
    QCOMPARE(synchronous.value(0).toInt(), 2);

    // A second instance beside the first finds the same file, migrated once.
    StationDatabase again(dir.path());
    QSqlQuery count(again.open() ? again.database() : QSqlDatabase());
    QVERIFY(count.exec("SELECT count(*) FROM alarm_journal") && count.next());
    QCOMPARE(count.value(0).toInt(), 3);
}

void tst_alarmjournal::corruptedFileIsSetAside_data()
{
    QTest::addColumn<bool>("wasDatabase");
    QTest::newRow("not a database") << false;
    QTest::newRow("scribbled page") << true;
}

void tst_alarmjournal::corruptedFileIsSetAside()
{
    QFETCH(bool, wasDatabase);
    QTemporaryDir dir;
    const QString file = dir.filePath("kestro.db");
    QByteArray bytes(20000, 'x');
    if (wasDatabase) {
        {
            // Closed before it is read: its log is in the file then.
            StationDatabase database(dir.path());
            QVERIFY(AlarmJournal(database).append(tick(600, "old", 1000)));
        }
        bytes = fileBytes(file);
        bytes.replace(4096, 4096, QByteArray(4096, '\xa5'));
    }
    QVERIFY(writeFileBytes(file, bytes));
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    QVERIFY(journal.append(tick(1, "new", 2000)));
    QCOMPARE(rows(dir.path(), "SELECT text FROM alarm_journal"), QList<QVariantList>{{"new"}});
    const QStringList aside = QDir(dir.path()).entryList({"kestro-corrupt-*"});
    QCOMPARE(aside.size(), 1);
    QVERIFY(QRegularExpression("^kestro-corrupt-\\d{8}-\\d{6}\\.db$").match(aside.first()).hasMatch());
    QCOMPARE(fileBytes(dir.filePath(aside.first())), bytes);
}

void tst_alarmjournal::fullDiskKeepsEventsUntilSpaceReturns()
{
#ifndef Q_OS_LINUX
    QSKIP("the full disk is a tmpfs of its own");
#else
    SmallDisk disk(4);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    OutputCapture errors(stderr);
    StationDatabase database(disk.path());
    AlarmJournal journal(database, nullptr, 50);
    QSignalSpy faults(&journal, &AlarmJournal::faultChanged);
    QVERIFY(journal.append(tick(2, "A", 1000)));
    // Room for a few rows of the next tick, not for all of them.
    QVERIFY(disk.fill(8192));
    // A flood of ticks: more than goes out in one slice once space returns.
    for (int k = 0; k < 5; ++k)
        QVERIFY(!journal.append(tick(600, "B", 2000 + k)));
    QVERIFY(!journal.append(tick(1, "C", 3000)));
    QCOMPARE(journal.fault(), QStringLiteral("报警日志无法写入：磁盘空间不足"));
    QCOMPARE(journal.pendingCount(), 3001);
    // The ticks that failed part-way left nothing behind.
    QCOMPARE(rows(disk.path(), "SELECT count(*) FROM alarm_journal"), QList<QVariantList>{{2}});

    disk.release();
    QVERIFY(faults.wait(5000));
    QCOMPARE(journal.fault(), QString());
    QTRY_COMPARE(journal.pendingCount(), 0);
    QCOMPARE(faults.size(), 2);
    QCOMPARE(faults.at(1).at(0).toString(), QString());
    QCOMPARE(rows(disk.path(), "SELECT text, count(*), max(id) - min(id) FROM alarm_journal"
                               " GROUP BY text ORDER BY min(id)"),
             (QList<QVariantList>{{"A", 2, 1}, {"B", 3000, 2999}, {"C", 1, 0}}));
    // One line when it starts, one when it ends.
    const QString stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d journal: ";
    QVERIFY2(QRegularExpression(QString("^%1报警日志无法写入：磁盘空间不足[^\\n]*\\n%1报警日志恢复写入\\n$").arg(stamp))
                 .match(QString::fromLocal8Bit(errors.text())).hasMatch(), qPrintable(QString::fromLocal8Bit(errors.text())));
#endif
}

void tst_alarmjournal::missingFolderKeepsTheNewestTicks()
{
    QTemporaryDir parent;
    const QString folder = parent.filePath("data");
    QVERIFY(writeFileBytes(folder, "a file where the folder should be"));
    StationDatabase database(folder);
    AlarmJournal journal(database, nullptr, 50);
    QVERIFY(journal.fault().startsWith("报警日志无法写入："));
    journal.setPendingLimit(3);
    for (const char *text : {"1", "2", "3"})
        QVERIFY(!journal.append(tick(2, text, 1000)));
    QCOMPARE(journal.pendingCount(), 2);
    QCOMPARE(journal.droppedCount(), 4);

    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    QTRY_COMPARE(journal.fault(), QString());
    QCOMPARE(rows(folder, "SELECT text FROM alarm_journal"), (QList<QVariantList>{{"3"}, {"3"}}));
}

void tst_alarmjournal::settingsKeepTheirRange()
{
    QTemporaryDir dir;
    {
        StationDatabase db(dir.path());
        AlarmSettingsStore store(&db);
        QVERIFY(store.save(0, 5, 1.5f, 0.25f, 10) && store.save(190, 300, 2.0f, 0.75f, 3));
        QVERIFY(store.save(10, 3, 9.0f, 9.0f, 9));
    }
    StationDatabase db(dir.path());
    AlarmFilterSettings settings;
    settings.delaySeconds[99] = 42;
    QVERIFY(AlarmSettingsStore(&db).load(&settings));
    for (int device : {1, 5, 6, 100, 189, 190, 200}) {
        const int range = device <= 5 ? 1 : device >= 190 ? 2 : 0;
        QCOMPARE(settings.temperatureDeadband[device - 1], (std::array<float, 3>{0, 1.5f, 2.0f}[range]));
        QCOMPARE(settings.currentDeadband[device - 1], (std::array<float, 3>{0, 0.25f, 0.75f}[range]));
        QCOMPARE(settings.delaySeconds[device - 1], (std::array<int, 3>{0, 10, 3}[range]));
    }
    QCOMPARE(rows(dir.path(), "SELECT min(device), max(device), count(*) FROM alarm_settings"),
             (QList<QVariantList>{{1, 200, 16}}));
}

KESTRO_TEST_MAIN(tst_alarmjournal)
#include "tst_alarmjournal.moc"
