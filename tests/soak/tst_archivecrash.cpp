// Kills a process writing history minutes and archiving hours with SIGKILL at random moments,
// then runs one clean backfill: every whole hour in the files must have exactly one row per
// device, with the minutes, minimum, mean and maximum the test sums up from the files itself.

#include "testsupport.h"

#include "history/historyrecord.h"
#include "storage/archiveupdater.h"
#include "storage/stationdatabase.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <signal.h>

class tst_archivecrash : public QObject
{
    Q_OBJECT

private slots:
    void killsLoseNoHourAndCountNoneTwice();
};

void tst_archivecrash::killsLoseNoHourAndCountNoneTwice()
{
    const KillCampaign campaign("archive-crash", 200);
    QRandomGenerator random(campaign.seed);
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("profile.txt"), "1380\r\n")); // Monday fills at write 60
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "UTC");
    for (int kill = 0; kill < campaign.kills; ++kill) {
        QProcess writer;
        writer.setProcessEnvironment(environment);
        writer.start(KESTRO_ARCHIVEWRITER_PATH, {dir.path()});
        QVERIFY(writer.waitForStarted(5000));
        // Half the offsets: a child's hour takes some 20 ms, so kills still land in its start,
        // backfill, minutes and passes, and 200 of them take some 15 s.
        QThread::usleep(1000 * random.bounded(1, qMax(2, campaign.longestMs / 2) + 1));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000) && writer.exitStatus() == QProcess::CrashExit);
    }

    // Each record once, whichever files hold it; by "device yyyy-MM-dd hh", the minutes'
    // temperatures and currents. The oldest hour is left out: the ring may have cut it.
    QSet<QString> seen;
    QMap<QString, QVector<double>> values[2];
    for (const QString &name : QDir(dir.path()).entryList({"History_*_value.txt"})) {
        for (const QByteArray &line : fileBytes(dir.filePath(name)).split('\n')) {
            for (const QStringList &f : HistoryRecord::parse(QString::fromUtf8(line))) {
                const QString key = QString::number(f.at(0).mid(3).toInt()) + ' ' + HistoryRecord::timeText(f);
                for (int q = 0; q < 2 && !seen.contains(key); ++q)
                    values[q][key.left(key.size() - 6)] << HistoryRecord::fieldValue(f.at(1 + q)).toDouble();
                seen << key;
            }
        }
    }
    QString oldest = "9999", newest;
    for (const QString &key : values[0].keys())
        oldest = qMin(oldest, key.section(' ', 1)), newest = qMax(newest, key.section(' ', 1));
    QStringList expected, stored;
    for (const QString &key : values[0].keys()) {
        QString row = key + ":00:00";
        for (QVector<double> v : {values[0][key], values[1][key]}) {
            v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return !qIsFinite(x); }), v.end());
            std::sort(v.begin(), v.end());
            row += v.isEmpty() ? " 0 NULL NULL NULL" : QString::asprintf(" %d %.9g %.9g %.9g", int(v.size()), v.first(),
                                                                         std::accumulate(v.begin(), v.end(), 0.0) / v.size(), v.last());
        }
        if (key.section(' ', 1) > oldest)
            expected << row;
    }

    // The clean backfill, as by a station started after the last hour; then the rows.
    const auto last = ArchiveUpdater::runPass(dir.path(), ArchiveUpdater::earliestHour(), ArchiveUpdater::latestHour(),
                                              QDateTime::fromString(newest + ":00:00Z", Qt::ISODate).toSecsSinceEpoch() + 3600);
    QVERIFY2(last.ok, qPrintable(last.error));
    StationDatabase db(dir.path());
    QSqlQuery q(db.open() ? db.database() : QSqlDatabase());
    QVERIFY(q.exec("PRAGMA integrity_check") && q.next() && q.value(0).toString() == "ok");
    for (q.exec("SELECT device || ' ' || datetime(hour, 'unixepoch'), temperature_minutes, temperature_min, temperature_mean,"
                " temperature_max, current_minutes, current_min, current_mean, current_max FROM hourly_archive");
         q.next();) {
        QString row = q.value(0).toString();
        for (int c = 1; c < 9; ++c)
            row += q.value(c).isNull() ? " NULL" : QString::asprintf(" %.9g", q.value(c).toDouble());
        if (row.section(' ', 1).left(13) > oldest)
            stored << row;
    }
    expected.sort();
    stored.sort();
    qInfo("archive-crash: %d kills, %d records, %d whole hours of 10 devices, %d rows left to the clean backfill",
          campaign.kills, int(seen.size()), int(expected.size() / 10), last.rowsWritten);
    QCOMPARE(stored, expected);
}

KESTRO_TEST_MAIN(tst_archivecrash)
#include "tst_archivecrash.moc"
