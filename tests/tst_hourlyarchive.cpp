// The hourly archive filled from history files written minute by minute on a simulated
// clock, against sums the test makes from the minutes it wrote.

#include "testsupport.h"

#include "history/historystore.h"
#include "storage/archiveupdater.h"
#include "storage/stationdatabase.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <ctime>

namespace {

const QVector<int> kSimulated = {1, 2, 7, 200};

// Minute k, in values the files hold exactly. Device 2 reads 0 (so is not recorded) every
// fourth minute, device 7 has nan and inf, device 200 no current.
DeviceReadings minuteReadings(int k)
{
    DeviceReadings r;
    for (int d : kSimulated) {
        r.deviceTemperature[d - 1] = d == 7 && k % 5 == 0 ? qQNaN() : d == 2 && k % 4 == 0 ? 0 : 20 + d * 0.5f + k % 13 * 0.25f;
        r.deviceCurrent[d - 1] = d == 200 ? qQNaN() : d == 7 && k % 3 == 0 ? qInf() : k % 7 * 0.125f + d;
    }
    return r;
}

// "minutes min mean max" of the finite values.
QString sums(const QVector<double> &values)
{
    double low = qInf(), high = -qInf(), sum = 0;
    int n = 0;
    for (double v : values) {
        if (qIsFinite(v))
            low = qMin(low, v), high = qMax(high, v), sum += v, ++n;
    }
    return n == 0 ? "0 NULL NULL NULL" : QString::asprintf("%d %.9g %.9g %.9g", n, low, sum / n, high);
}

// The rows of a query as text, sorted; the table's as "device hour utc temperature... current...".
QStringList rows(const QString &dir, const char *sql = "SELECT device, datetime(hour, 'unixepoch'), * FROM hourly_archive")
{
    StationDatabase db(dir);
    QSqlQuery q(db.open() ? db.database() : QSqlDatabase());
    QStringList all;
    for (q.exec(sql); q.next();) {
        all << q.value(0).toString() + ' ' + q.value(1).toString();
        for (int c = 4; c < q.record().count(); ++c)
            all.last() += q.value(c).isNull() ? " NULL" : c == 4 ? ' ' + q.value(c).toString() : QString::asprintf(" %.9g", q.value(c).toDouble());
    }
    all.sort();
    return all;
}

} // namespace

class tst_hourlyarchive : public QObject
{
    Q_OBJECT

private slots:
    void hoursHoldEveryMinute_data();
    void hoursHoldEveryMinute();
};

void tst_hourlyarchive::hoursHoldEveryMinute_data()
{
    // A zone with summer time, so the clock itself goes back and forward.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    // Runs of the clock, "[stored count@]first minute (UTC)*minutes"; a day file fills at
    // the 40th minute (the 30th in the ring), whose line then goes into two files.
    QTest::addColumn<QString>("runs");
    QTest::addColumn<QString>("device1"); // hour and minutes of device 1's rows
    QTest::newRow("steady, hostile lines") << "1400@2026-03-02T07:00:00Z*185" << "08 60, 09 60, 10 60";
    QTest::newRow("set back an hour") << "1400@2026-03-02T07:00:00Z*90,2026-03-02T07:30:00Z*100" << "08 90, 09 90";
    QTest::newRow("set forward an hour") << "1400@2026-03-02T07:00:00Z*30,2026-03-02T08:30:00Z*60" << "08 30, 09 30";
    QTest::newRow("summer time ends") << "1400@2026-10-24T23:30:00Z*240" << "01 30, 02 120, 03 60";
    QTest::newRow("summer time begins") << "1400@2026-03-29T00:30:00Z*120" << "01 30, 03 60";
    // A week later the day file holding 08:00-08:29 starts over; the archive keeps all 60.
    QTest::newRow("ring, version 2 database") << "1410@2026-03-02T07:00:00Z*70,10080@2026-03-09T07:00:00Z*1" << "08 60, 09 10";
}

void tst_hourlyarchive::hoursHoldEveryMinute()
{
    QFETCH(QString, runs);
    QFETCH(QString, device1);
    const bool hostile = QByteArray(QTest::currentDataTag()).contains("hostile");
    const bool ring = QByteArray(QTest::currentDataTag()).contains("ring");
    QTemporaryDir dir;
    if (ring) {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "v2");
        old.setDatabaseName(dir.filePath("kestro.db"));
        for (const char *sql : {"CREATE TABLE alarm_journal (id INTEGER PRIMARY KEY, event TEXT, text TEXT NOT NULL)",
                                "INSERT INTO alarm_journal VALUES (1, 'alarm', '5温度异常')", "PRAGMA user_version = 2"})
            QVERIFY(old.open() && QSqlQuery(old).exec(sql));
    }
    QSqlDatabase::removeDatabase("v2");
    // With hostile lines, the first pass cannot open the database and the next takes its hour.
    QVERIFY(!hostile || QDir(dir.path()).mkdir("kestro.db"));
    OutputCapture log(stderr);
    HistoryStore store(dir.path());
    ArchiveUpdater updater(dir.path());
    QSignalSpy finished(&updater, &ArchiveUpdater::passFinished), written(&updater, &ArchiveUpdater::hoursWritten);
    QMap<QString, QVector<double>> temperatures, currents; // by "device yyyy-MM-dd hh:00:00"
    QMap<QString, qint64> firstUtc;
    QDateTime now;
    for (int k = 0, s = 0; s < runs.count(',') + 1; ++s) {
        const QString run = runs.section(',', s, s);
        QVERIFY(!run.contains('@') || writeFileBytes(dir.filePath("profile.txt"), run.section('@', 0, 0).toLatin1()));
        for (int m = 0; m < run.section('*', 1).toInt(); ++m, ++k) {
            now = QDateTime::fromString(run.section('@', -1).section('*', 0, 0), Qt::ISODate).addSecs(60 * m);
            const DeviceReadings r = minuteReadings(k);
            QVERIFY(!store.recordHistoryMinute(r, now).failed);
            QFile day(dir.filePath("History_Tuesday_value.txt"));
            if (hostile && k == 50 && day.open(QIODevice::Append))
                day.write(QByteArray("\x01\xff garbage\r\n\0\0ID:001#\r\n", 22) + QByteArray(70000, 'x') + "\r\n"
                          "ID:005#温度:abc#电流:1.5#状态:在线#时间:2026-03-02 08:50:30#;\r\n"
                          "ID:001#温度:99#电流:9#状态:在线#时间:2026-13-02 08:50:30#;\r\n"
                          "ID:999#温度:99#电流:9#状态:在线#时间:2026-03-02 08:50:30#;\r\n"
                          "ID:001#温度:99#电流:9#状态:在线#时间:2026-03-02 08:5");
            updater.minuteRecorded(now);
            if (updater.isBusy()) {
                QVERIFY(finished.wait(5000));
                QDir(dir.path()).rmdir("kestro.db");
            }
            for (int d : kSimulated) {
                const QString key = QString::number(d) + now.toLocalTime().toString(" yyyy-MM-dd hh:00:00");
                firstUtc[key] = qMin(firstUtc.value(key, LLONG_MAX), now.toSecsSinceEpoch() - now.toLocalTime().time().minute() * 60);
                if (r.deviceTemperature[d - 1] != 0)
                    temperatures[key] << r.deviceTemperature[d - 1], currents[key] << r.deviceCurrent[d - 1];
            }
        }
    }
    // The clock's own hour is not complete.
    const QString current = now.toLocalTime().toString("yyyy-MM-dd hh:00:00");
    QStringList expected, rowsOf1;
    for (const QString &key : temperatures.keys()) {
        if (!key.endsWith(current))
            expected << QString("%1 %2 %3 %4").arg(key).arg(firstUtc[key]).arg(sums(temperatures[key]), sums(currents[key]));
        if (key.startsWith("1 ") && !key.endsWith(current))
            rowsOf1 << key.mid(13, 2) + ' ' + QString::number(temperatures[key].size());
    }
    QCOMPARE(rowsOf1.join(", "), device1);
    if (hostile) // its temperature is no number, its current is
        expected << "5 2026-03-02 08:00:00 1772434800 0 NULL NULL NULL 1 1.5 1.5 1.5";
    expected.sort();
    QCOMPARE(rows(dir.path()), expected);
    const QString printed = QString::fromLocal8Bit(log.text());
    QVERIFY2(!hostile || QRegularExpression("^[-0-9: ]{20}archive: 小时归档无法写入：[^\n]+\n[-0-9: ]{20}archive: 小时归档恢复写入\n$")
                            .match(printed).hasMatch(), qPrintable(printed));
    QVERIFY(!written.isEmpty());

    // A backfill makes the same rows from nothing (with the ring: over them), a second one none.
    QVERIFY(ring || rows(dir.path(), "DELETE FROM hourly_archive").isEmpty());
    QVERIFY(!ring || fileBytes(dir.filePath("History_Monday_value.txt")).count("ID:001#") == 1);
    for (int run = 0; run < 2; ++run) {
        written.clear();
        updater.start(now);
        QVERIFY(finished.wait(5000));
        QCOMPARE(rows(dir.path()), expected);
        QCOMPARE(written.size(), run || ring ? 0 : 1);
    }
    if (ring)
        QCOMPARE(rows(dir.path(), "SELECT user_version, text || ' ' || level FROM pragma_user_version, alarm_journal"),
                 QStringList("6 5温度异常 1"));
}

KESTRO_TEST_MAIN(tst_hourlyarchive)
#include "tst_hourlyarchive.moc"
