// Reports: their figures over a small day and month written by the station's own writers,
// against figures worked out by hand from the values written here; the workbook read back by
// openpyxl, and the PDF read back by pdftotext, pdfinfo, pdffonts and pdftoppm.
#include "testsupport.h"

#include "config/devicesettingsfile.h"
#include "core/datadirectory.h"
#include "core/walltime.h"
#include "core/wholefile.h"
#include "history/historystore.h"
#include "report/reportbuilder.h"
#include "report/reportdialog.h"
#include "report/reportpdf.h"
#include "report/reportschedule.h"
#include "report/reportscheduler.h"
#include "report/reportsettings.h"
#include "report/reportxlsx.h"
#include "site/sitesettings.h"
#include "storage/alarmjournal.h"
#include "storage/cabinetgroupstore.h"
#include "storage/hourlyarchive.h"

#include <QDateEdit>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

namespace {

const QDateTime kNow = QDateTime::fromString("2026-05-12 12:00:00", "yyyy-MM-dd hh:mm:ss");

QString at(qint64 wallMs)
{
    return WallTime::stamp(wallMs);
}

// Device 3 and 7 over 08:00..08:05 of 2026-05-12 (device 7 reads 0, unrecorded, at 08:02),
// device 9 reading a constant 0.05 A, one minute of device 3 the day before, and 08:03 again
// after a clock set back.
void writeHistory(const QString &dir)
{
    HistoryStore store(dir);
    const auto minute = [&store](const char *stamp, float t3, float c3, float t7, float c7) {
        DeviceReadings r;
        r.deviceTemperature[2] = t3, r.deviceCurrent[2] = c3;
        r.deviceTemperature[6] = t7, r.deviceCurrent[6] = c7;
        r.deviceTemperature[8] = 20.04f + float(t7 > 22) * 0.02f, r.deviceCurrent[8] = 0.05f;
        QVERIFY(!store.recordHistoryMinute(r, QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm:ss")).failed);
    };
    minute("2026-05-11 23:59:00", 99, 9, 0, 0);
    const float t3[] = {30, 31, 35, 35, 33, 28}, c3[] = {1, 2, 3, 3, 2, 1};
    const float t7[] = {20, 21, 0, 22, 23, 24}, c7[] = {5, float(qQNaN()), 0, 5, 6, 4};
    for (int k = 0; k < 6; ++k)
        minute(qPrintable(QString("2026-05-12 08:0%1:00").arg(k)), t3[k], c3[k], t7[k], c7[k]);
    minute("2026-05-12 08:03:00", 90, 9, 90, 9);
}

JournalEvent row(int device, int kind, const char *what, const char *stamp, double value = qQNaN(),
                   double limit = qQNaN(), int level = 1, const char *began = nullptr)
{
    JournalEvent e;
    e.device = device, e.kind = kind, e.event = what, e.timeText = stamp, e.level = level;
    e.epochMs = QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm:ss").toMSecsSinceEpoch();
    e.value = value, e.limit = limit, e.text = QString::number(device) + what;
    if (began)
        e.beganMs = QDateTime::fromString(began, "yyyy-MM-dd hh:mm:ss").toMSecsSinceEpoch();
    return e;
}

// "device kind level start end duration_s peak source acknowledged" of each alarm; "<" marks
// one raised before the period, ">" one recovered after it.
QStringList alarms(const ReportData &data)
{
    QStringList all;
    for (const ReportAlarm &a : data.alarms)
        all << QString("%1 %2 %3 %4%5 %6 %7 %8 %9 %10")
                   .arg(a.device).arg(a.kind).arg(a.level).arg(a.beganBefore ? "<" : "").arg(at(a.startMs))
                   .arg(a.open ? "open" : at(a.endMs) + (a.endedAfter ? ">" : "")).arg(a.durationMs / 1000).arg(a.peak)
                   .arg(int(a.peakSource)).arg(a.acknowledged ? at(a.acknowledgedMs) : "-");
    return all;
}

// The workbook as tests/report/readxlsx.py lists it; empty when it cannot be read.
QStringList readWorkbook(const QString &path)
{
    QProcess reader;
    reader.start("/usr/bin/python3", {KESTRO_READXLSX_PATH, path});
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0)
        return {};
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n');
}

// "device minutes min mean max max-time" of a quantity.
QString figures(const ReportDevice &d, const ReportQuantity &q)
{
    return QString("%1 %2 %3 %4 %5 %6").arg(d.device).arg(q.minutes).arg(q.min).arg(q.mean).arg(q.max)
        .arg(q.minutes ? at(q.maxMs) : "-");
}

} // namespace

namespace {

qint64 wall(const char *time)
{
    qint64 ms = 0;
    return WallTime::parseStamp(QString("2026-05-12 ") + time, &ms) ? ms : -1;
}

} // namespace

namespace {

QString pdfTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The two days before today every half hour, so that the day the schedule asks for is
// recorded at any time of day, 00:00 to 00:05 too.
void writeTwoDays(const QString &dir)
{
    HistoryStore store(dir);
    for (int day = 2; day >= 1; --day) {
        for (int minute = 0; minute < 1440; minute += 30) {
            DeviceReadings r;
            r.deviceTemperature[4] = 40 + minute / 100.0f, r.deviceCurrent[4] = 2;
            QVERIFY(!store.recordHistoryMinute(r, QDateTime(QDate::currentDate().addDays(-day), QTime(0, 0).addSecs(minute * 60))).failed);
        }
    }
}

// The built station run for a report with no display and settings of its own.
QProcessEnvironment commandEnvironment(const QString &config)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.remove("DISPLAY");
    environment.insert("XDG_CONFIG_HOME", config);
    if (environment.contains("ASAN_OPTIONS"))
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    return environment;
}

int scratchEntries(const QString &folder)
{
    return QDir(folder).entryList({".kestro-report-*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size();
}

// 64 devices, so the device table goes on over a page; device 17 the hottest at 87.4 ℃.
ReportData sampleDay()
{
    ReportData data;
    data.stationName = "一号配电房";
    data.period = ReportPeriod::day(QDate(2026, 5, 12));
    data.made = QDateTime(QDate(2026, 5, 12), QTime(12, 0));
    data.version = "0.1";
    data.source = ReportSource::MinuteFiles;
    data.fromMs = data.period.wallFromMs();
    data.toMs = data.fromMs + 12 * 3600 * 1000;
    for (int n = 1; n <= 64; ++n) {
        ReportDevice d;
        d.device = n, d.name = QString("回路%1").arg(n), d.location = "低压柜", d.cabinetGroups = QStringList{"1号柜"};
        d.temperature = {720, 25, 30, 40 + n * 0.1, data.fromMs + 8 * 3600 * 1000};
        d.current = {720, 1, 2.5, 4, data.fromMs};
        data.devices << d;
    }
    data.devices[16].temperature.max = 87.4;
    for (int n : {17, 3, 5, 6, 7, 8, 9, 10, 11, 12}) {
        ReportSeries s;
        s.device = n;
        for (int minute = 0; minute < 720; minute += minute == 300 ? 20 : 1)
            s.x << data.fromMs + minute * 60000, s.value << 30 + (minute % 90) * 0.3;
        data.hottest << s;
    }
    ReportAlarm a;
    a.device = 17, a.kind = 1, a.text = "17温度异常", a.startMs = data.fromMs + 3600000, a.open = true;
    a.endMs = data.toMs, a.durationMs = 11 * 3600000, a.peak = 87.4;
    data.alarms << a;
    data.alarmCounts << ReportAlarmCount{1, 1, 1};
    data.link.known = true, data.link.runningMs = 12 * 3600000, data.link.availableShare = 0.95;
    return data;
}

} // namespace

class tst_report : public QObject
{
    Q_OBJECT

private slots:
    void dayFromMinuteFilesAndJournal();
    void monthFromArchive();
    void historyFilesAloneAreReadNotWritten();
    void workbookReadBack();
    void pdfReadsBackAsPrinted();
    void commandLineReportsADayOfAGeneratedWeek();
    void scheduleMakesUpAndDialogMakesOnDemand();
    void aKilledReportLeavesAWholePair();
};

void tst_report::dayFromMinuteFilesAndJournal()
{
    QTemporaryDir dir;
    writeHistory(dir.path());
    QVector<QString> lines(600);
    lines[2] = "进线A相", lines[6] = "进线B相", lines[202] = "配电室";
    QString error;
    QVERIFY2(DeviceSettingsFile::save(dir.filePath("save_data.txt"), lines, &error), qPrintable(error));
    {
        StationDatabase db(dir.path());
        QVERIFY(CabinetGroupStore(&db).replace({{"1号柜", {3, 7, 0}, 12}, {"2号柜", {0, 0, 0}, 12}}));
        AlarmJournal journal(db);
        // The station first started at 06:00, was killed after 09:30 (its last row; its last
        // minute line is 08:05), started again at 10:00 and stopped at 11:30. The first link
        // outage began with the last valid answer at 08:59:17.
        QVERIFY(journal.append({row(5, 1, "alarm", "2026-05-10 10:00:00", 41, 40), row(5, 1, "recovery", "2026-05-10 11:00:00", 38, 38),
                                row(3, 1, "alarm", "2026-05-11 23:50:00", 41, 40), row(3, 1, "acknowledge", "2026-05-11 23:55:00"),
                                row(0, 0, "started", "2026-05-12 06:00:00"),
                                row(3, 1, "recovery", "2026-05-12 08:03:30", 38, 38), row(7, 3, "alarm", "2026-05-12 08:00:30", 5.5, 5),
                                row(7, 3, "acknowledge", "2026-05-12 08:01:00"), row(7, 8, "alarm", "2026-05-12 08:04:00", 23, 22.5, 0),
                                row(7, 3, "recovery", "2026-05-12 08:04:30", 4, 5), row(7, 8, "recovery", "2026-05-12 08:05:30", 22, 22.5, 0),
                                row(0, 4, "alarm", "2026-05-12 09:00:00", qQNaN(), qQNaN(), 1, "2026-05-12 08:59:17"),
                                row(0, 4, "recovery", "2026-05-12 09:30:00"), row(0, 0, "started", "2026-05-12 10:00:00"),
                                row(12, 1, "alarm", "2026-05-12 10:00:00", 45, 40), row(12, 1, "alarm", "2026-05-12 10:30:00", 46, 40),
                                row(0, 4, "alarm", "2026-05-12 11:00:00"), row(0, 4, "recovery", "2026-05-12 11:06:00"),
                                row(0, 0, "stopped", "2026-05-12 11:30:00"), row(0, 0, "started", "2026-05-12 12:30:00")}));
    }
    QVector<int> progress;
    const ReportData data = ReportBuilder::build(dir.path(), ReportPeriod::day(QDate(2026, 5, 12)), "站A", kNow,
                                                 [&progress](int percent) { progress << percent; });
    QCOMPARE(int(data.source), int(ReportSource::MinuteFiles));
    QCOMPARE(data.stationName, QString("站A"));
    QVERIFY2(!data.cancelled && data.notes.isEmpty() && data.databaseFound, qPrintable(data.notes.join('\n')));
    QVERIFY(progress.size() >= 3 && progress.first() == 0 && progress.last() == 100);
    QVERIFY(std::is_sorted(progress.cbegin(), progress.cend()));

    QCOMPARE(data.devices.size(), 4);
    const ReportDevice &d3 = data.devices.at(0), &d7 = data.devices.at(1), &d9 = data.devices.at(2), &d12 = data.devices.at(3);
    QCOMPARE(QStringList({d3.name, d3.location, d7.name, d12.name}), QStringList({"进线A相", "配电室", "进线B相", ""}));
    QCOMPARE(d3.cabinetGroups, QStringList({"1号柜"}));
    QCOMPARE(d12.cabinetGroups, QStringList({"1号柜", "2号柜"}));
    // 08:03 written again after the clock was set back counts once, as first written.
    QCOMPARE(figures(d3, d3.temperature), QString("3 6 28 32 35 2026-05-12 08:02:00"));
    QCOMPARE(figures(d3, d3.current), QString("3 6 1 2 3 2026-05-12 08:02:00"));
    QCOMPARE(figures(d7, d7.temperature), QString("7 5 20 22 24 2026-05-12 08:05:00"));
    QCOMPARE(figures(d7, d7.current), QString("7 4 4 5 6 2026-05-12 08:04:00"));
    // At the resolution measured: 20.04 four times and 20.06 twice; 0.05 A throughout.
    QCOMPARE(figures(d9, d9.temperature), QString("9 6 20 20 20.1 2026-05-12 08:04:00"));
    QCOMPARE(figures(d9, d9.current), QString("9 6 0.05 0.05 0.05 2026-05-12 08:00:00"));
    QCOMPARE(figures(d12, d12.temperature), QString("12 0 nan nan nan -"));
    // 00:00 to 08:03:30, and 10:00 to the report's 12:00.
    QCOMPARE(QVector<double>({d3.temperatureAlarmMinutes, d7.temperatureAlarmMinutes, d12.temperatureAlarmMinutes}),
             QVector<double>({483.5, 0, 120}));

    QCOMPARE(data.hottest.size(), 3);
    QCOMPARE(data.hottest.at(0).device, 3);
    QCOMPARE(data.hottest.at(0).value, QVector<double>({30, 31, 35, 35, 33, 28}));
    QCOMPARE(at(data.hottest.at(0).x.last()), QString("2026-05-12 08:05:00"));
    QVERIFY(!data.hottest.at(0).hourly && data.hottest.at(1).device == 7);

    // Peaks over the whole alarm: device 3's 99 of the day before, inside its alarm; device
    // 12's second raise at 46; else the journal's.
    QCOMPARE(alarms(data), QStringList({
        "3 1 1 <2026-05-11 23:50:00 2026-05-12 08:03:30 29610 99 0 2026-05-11 23:55:00",
        "7 3 1 2026-05-12 08:00:30 2026-05-12 08:04:30 240 6 0 2026-05-12 08:01:00",
        "7 8 0 2026-05-12 08:04:00 2026-05-12 08:05:30 90 24 0 -",
        "0 4 1 2026-05-12 09:00:00 2026-05-12 09:30:00 1800 nan 2 -",
        "12 1 1 2026-05-12 10:00:00 open 7200 46 2 -",
        "0 4 1 2026-05-12 11:00:00 2026-05-12 11:06:00 360 nan 2 -"}));
    QStringList counts;
    for (const ReportAlarmCount &c : data.alarmCounts)
        counts << QString("%1/%2:%3").arg(c.kind).arg(c.level).arg(c.count);
    QCOMPARE(counts, QStringList({"1/1:2", "3/1:1", "4/1:2", "8/0:1"}));
    // Ran 06:00-09:30 and 10:00-11:30 (300 min), not known before 06:00 (360 min); outages
    // 08:59:17-09:30 and 11:00-11:06: 2203 s of 18000.
    const ReportLink &link = data.link;
    QVERIFY(link.known);
    QCOMPARE(QVector<qint64>({link.runningMs / 1000, link.unknownMs / 1000, link.outageMs / 1000, link.outages,
                              link.longestOutageMs / 1000}),
             QVector<qint64>({18000, 21600, 2203, 2, 1843}));
    QCOMPARE(QString::number(link.availableShare, 'f', 6), QString("0.877611"));
    QCOMPARE(at(link.longestOutageStartMs), QString("2026-05-12 08:59:17"));

    // Read as it lies, with no station running: nothing left beside the database. A copy on a
    // read-only medium reads the same.
    QCOMPARE(QDir(dir.path()).entryList({"kestro.db*"}), QStringList({"kestro.db"}));
    SmallDisk copy(8);
    QVERIFY2(copy.isMounted(), "mounting a tmpfs needs root");
    for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
        QVERIFY(QFile::copy(dir.filePath(name), copy.path() + "/" + name));
    QVERIFY(copy.makeReadOnly());
    const ReportData readOnly = ReportBuilder::build(copy.path(), data.period, "站A", kNow);
    QVERIFY2(readOnly.notes.isEmpty(), qPrintable(readOnly.notes.join('\n')));
    QCOMPARE(alarms(readOnly), alarms(data));

    std::atomic<bool> cancel{true};
    QVERIFY(ReportBuilder::build(dir.path(), ReportPeriod::day(QDate(2026, 5, 12)), "站A", kNow, {}, &cancel).cancelled);
}

void tst_report::monthFromArchive()
{
    QTemporaryDir dir;
    const auto hour = [](int device, const char *stamp, int tn, double tmin, double tmean, double tmax, int cn = 0,
                         double cmin = qQNaN(), double cmean = qQNaN(), double cmax = qQNaN()) {
        QDateTime wall = QDateTime::fromString(stamp, "yyyy-MM-dd hh:mm");
        wall.setTimeSpec(Qt::UTC);
        const qint64 h = wall.toSecsSinceEpoch();
        return ArchiveHour{device, h, h, tn, tmin, tmean, tmax, cn, cmin, cmean, cmax};
    };
    {
        StationDatabase db(dir.path());
        QVERIFY(db.open() && HourlyArchive(&db).write({hour(5, "2026-03-31 23:00", 60, 90, 95, 99),
                                                        hour(5, "2026-04-03 10:00", 60, 20, 25, 30, 60, 1, 2, 3),
                                                        hour(5, "2026-04-20 14:00", 30, 22, 28, 35),
                                                        hour(5, "2026-05-01 00:00", 60, 90, 95, 98),
                                                        hour(9, "2026-04-10 00:00", 60, 10, 15, 20)}));
        AlarmJournal journal(db);
        // Across the month's start, wholly over 10:00, inside 14:00 only in part, across its end.
        QVERIFY(journal.append({row(5, 1, "alarm", "2026-03-31 22:30:00", 91, 80), row(5, 1, "recovery", "2026-04-01 01:30:00", 70, 80),
                                row(5, 1, "alarm", "2026-04-03 09:30:00", 26, 25), row(5, 1, "recovery", "2026-04-03 11:30:00", 24, 25),
                                row(5, 1, "alarm", "2026-04-20 14:10:00", 36, 35), row(5, 1, "recovery", "2026-04-20 14:20:00", 34, 35),
                                row(5, 1, "alarm", "2026-04-30 23:50:00", 81, 80), row(5, 1, "recovery", "2026-05-01 00:30:00", 70, 80)}));
    }
    const ReportData data = ReportBuilder::build(dir.path(), ReportPeriod::month(2026, 4), "站A", kNow);
    QCOMPARE(int(data.source), int(ReportSource::HourlyArchive));
    QCOMPARE(data.devices.size(), 2);
    const ReportDevice &d5 = data.devices.at(0), &d9 = data.devices.at(1);
    // Mean weighted by minutes: (25 * 60 + 28 * 30) / 90.
    QCOMPARE(figures(d5, d5.temperature), QString("5 90 20 26 35 2026-04-20 14:00:00"));
    QCOMPARE(figures(d5, d5.current), QString("5 60 1 2 3 2026-04-03 10:00:00"));
    QCOMPARE(figures(d9, d9.temperature), QString("9 60 10 15 20 2026-04-10 00:00:00"));
    QCOMPARE(d5.temperatureAlarmMinutes, 90.0 + 120 + 10 + 10);
    // Peaks from the hours wholly inside an alarm (March's 23:00 too), else the journal's.
    QCOMPARE(alarms(data), QStringList({"5 1 1 <2026-03-31 22:30:00 2026-04-01 01:30:00 10800 99 1 -",
                                        "5 1 1 2026-04-03 09:30:00 2026-04-03 11:30:00 7200 30 1 -",
                                        "5 1 1 2026-04-20 14:10:00 2026-04-20 14:20:00 600 36 2 -",
                                        "5 1 1 2026-04-30 23:50:00 2026-05-01 00:30:00> 2400 81 2 -"}));
    // No start in the journal: how long the station ran is not known.
    QCOMPARE(data.link.unknownMs, qint64(30) * 24 * 3600 * 1000);
    QVERIFY(qIsNaN(data.link.availableShare));
    QCOMPARE(data.hottest.size(), 2);
    const ReportSeries &s5 = data.hottest.at(0);
    QVERIFY(s5.hourly && s5.device == 5);
    QCOMPARE(s5.value, QVector<double>({25, 28}));
    QCOMPARE(s5.min, QVector<double>({20, 22}));
    QCOMPARE(s5.max, QVector<double>({30, 35}));
}

void tst_report::historyFilesAloneAreReadNotWritten()
{
    QTemporaryDir dir;
    writeHistory(dir.path());
    const ReportData old = ReportBuilder::build(dir.path(), ReportPeriod::day(QDate(2026, 5, 1)), "站A", kNow);
    QVERIFY(old.devices.isEmpty());
    // A copy of the files read a fortnight later: past the week, the files alone still hold it.
    const ReportData later = ReportBuilder::build(dir.path(), ReportPeriod::day(QDate(2026, 5, 12)), "站A",
                                                  kNow.addDays(14));
    QCOMPARE(int(later.source), int(ReportSource::MinuteFiles));
    QCOMPARE(figures(later.devices.at(0), later.devices.at(0).temperature), QString("3 6 28 32 35 2026-05-12 08:02:00"));
    QVERIFY(!QFile::exists(dir.filePath("kestro.db")));

    // An older station's database is read as it is, never brought to the present schema.
    {
        QSqlDatabase v2 = QSqlDatabase::addDatabase("QSQLITE", "v2");
        v2.setDatabaseName(dir.filePath("kestro.db"));
        QVERIFY(v2.open() && QSqlQuery(v2).exec("PRAGMA user_version = 2"));
    }
    QSqlDatabase::removeDatabase("v2");
    const ReportData older = ReportBuilder::build(dir.path(), ReportPeriod::month(2026, 4), "站A", kNow);
    QVERIFY(older.databaseFound && older.source == ReportSource::None && older.notes.size() == 3);
    QCOMPARE(databaseRows(dir.path(), "PRAGMA user_version"), QStringList({"2"}));
}

void tst_report::workbookReadBack()
{
    ReportData data;
    data.stationName = "站A", data.version = "0.1", data.notes = QStringList({"历史文件缺一天"});
    data.period = ReportPeriod::day(QDate(2026, 5, 12)), data.source = ReportSource::MinuteFiles;
    data.made = QDateTime(QDate(2026, 5, 12), QTime(12, 0));
    data.fromMs = wall("00:00:00"), data.toMs = wall("12:00:00");
    data.link = {true, 600 * 60000, 120 * 60000, 30 * 60000, 0.95, 2, 1800000, wall("09:00:00")};
    ReportDevice d3, d12;
    d3.device = 3, d3.name = "进线A相", d3.location = "配电室", d3.cabinetGroups = QStringList({"1号柜", "2号柜"});
    d3.temperature = {6, 28, 32.25, 35.5, wall("08:02:00")};
    d3.current = {6, 1, 2.125, 3, wall("08:02:00")};
    d3.temperatureAlarmMinutes = 483.5, d12.device = 12, d12.temperatureAlarmMinutes = 120;
    data.devices = {d3, d12};
    data.hottest = {ReportSeries{3, false, {}, {}, {}, {}}};
    data.alarmCounts = {{3, 1, 1}, {8, 0, 1}};
    ReportAlarm a7, link, group, a2;
    a7.device = 7, a7.kind = 3, a7.text = "7电流异常", a7.startMs = wall("08:00:30");
    a7.endMs = wall("08:04:30"), a7.durationMs = 240000, a7.peak = 6.5, a7.peakSource = ReportAlarm::PeakSource::Minutes;
    a7.acknowledged = true, a7.acknowledgedMs = wall("08:01:00");
    link.kind = 4, link.text = "通讯中断", link.startMs = wall("11:00:00"), link.open = true, link.durationMs = 3600000;
    group.kind = 5, group.group = "1号柜", group.text = "1号柜相间温差报警", group.startMs = wall("10:00:00"), group.peak = 12.3;
    group.beganBefore = group.endedAfter = true, group.endMs = wall("10:30:00"), group.durationMs = 1800000;
    a2.device = 2, a2.kind = 2, a2.text = "2电压异常", a2.startMs = wall("09:00:00"), a2.endMs = a2.startMs, a2.peak = 1987;
    data.alarms = {a7, link, group, a2};

    QTemporaryDir dir;
    const QString path = dir.filePath("日报.xlsx");
    QString error;
    QVERIFY2(ReportXlsx::write(data, path, &error), qPrintable(error));
    const QStringList lines = readWorkbook(path);
    QCOMPARE(lines.filter(QRegularExpression("^\\[")),
             QStringList({"[概况] A2", "[设备] A2", "[最热设备] A2", "[报警统计] A2", "[报警明细] A2"}));
    for (const char *expected :
         {"数据来源|分钟记录", "通讯可用率|#0.95@0.00%", "监测站运行（分钟）|#600@0.0", "运行情况未知（分钟）|#120@0.0",
          "通讯中断（分钟）|#30@0.0", "最长中断（分钟）|#30@0.0", "备注|历史文件缺一天",
          "#3@0|进线A相|配电室|1号柜、2号柜|#28@0.0|#32.25@0.0|#35.5@0.0|2026-05-12 08:02:00|#1@0.00|#2.125@0.00|#3@0.00|#6@0|#483.5@0.0",
          "#12@0|||||||||||#0@0|#120@0.0", "#3@0|进线A相|#35.5@0.0|2026-05-12 08:02:00", "温度预警|预警|#1@0",
          "#7@0||7电流异常|报警|2026-05-12 08:00:30|2026-05-12 08:04:30|#4@0.0|#6.5@0.00|A|分钟记录||2026-05-12 08:01:00",
          "||通讯中断|报警|2026-05-12 11:00:00|未恢复|#60@0.0|||||",
          "|1号柜|1号柜相间温差报警|报警|2026-05-12 10:00:00|2026-05-12 10:30:00|#30@0.0|#12.3@0.0|°C|报警记录|期前开始、期后恢复|",
          "#2@0||2电压异常|报警|2026-05-12 09:00:00|2026-05-12 09:00:00|#0@0.0|#1987@0|mV|报警记录||"})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"日报.xlsx"}));

    // A folder that cannot be written, even by root: a plain file stands where it should be.
    QVERIFY(WholeFile::write(dir.filePath("plain"), "x"));
    QVERIFY(!ReportXlsx::write(data, dir.filePath("plain/日报.xlsx"), &error));
    QVERIFY2(error.startsWith("cannot write in ") && error.contains("plain"), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"plain", "日报.xlsx"}));
}

void tst_report::pdfReadsBackAsPrinted()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("report.pdf");
    QString error;
    // Past the 500 alarms a page to sign lists: the longest (device 17's) stays, one short goes.
    ReportData data = sampleDay();
    for (int k = 0; k < 500; ++k) {
        ReportAlarm a = data.alarms.first();
        a.device = 5, a.text = "5电流异常", a.open = false, a.startMs += k * 60000, a.durationMs = 60000 + (k ? 1000 : 0);
        data.alarms << a;
    }
    QByteArray bytes;
    QVERIFY2(ReportPdf::render(data, &bytes, &error) && writeFileBytes(pdf, bytes), qPrintable(error));

    const QString text = pdfTool("pdftotext", {"-layout", pdf, "-"});
    for (const char *expected : {"温度电流监测报表", "日报 2026-05-12", "分钟记录", "设备统计", "最热设备", "报警统计",
                                 "报警明细", "17温度异常", "未恢复", "95.00%", "审核：________", "共 501 条报警"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(text.count("5电流异常"), 499);
    // The hottest device's row in the device table and first in the hottest.
    QVERIFY(text.contains(QRegularExpression("\\n\\s*17\\s+回路17\\s.*87\\.4")));
    QVERIFY(text.contains(QRegularExpression("\\n\\s*1\\s+17\\s+回路17\\s+87\\.4")));

    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(pdfTool("pdfinfo", {pdf}));
    QVERIFY(pages.hasMatch() && pages.captured(1).toInt() >= 2);
    QVERIFY(text.contains(QRegularExpression(QString("第\\s*2\\s*页\\s*/\\s*共\\s*%1\\s*页").arg(pages.captured(1)))));
    // The device table's header opens page 2 again.
    const QString page2 = text.split('\f').value(1).trimmed();
    const QString header2 = page2.left(page2.indexOf(QRegularExpression("\\n\\s*\\d+\\s+回路")));
    QVERIFY2(header2.contains("安装部位") && header2.contains("最高时间"), qPrintable(page2.left(300)));
    // The hottest table's rows (a chart each) go on over a page whole: on its next page the
    // repeated header comes first, no row's text printed over it. Lines of notes move the
    // table down by steps smaller than a row, so that some row meets the page's end.
    ReportData moved = data;
    moved.alarms.resize(1);
    int crossings = 0;
    for (int notes = 0; notes < 5; ++notes, moved.notes << "说明") {
        QVERIFY(ReportPdf::render(moved, &bytes) && writeFileBytes(pdf, bytes));
        const QStringList printed = pdfTool("pdftotext", {"-layout", pdf, "-"}).split('\f');
        const int begun = printed.indexOf(QRegularExpression("(.|\\n)*温度趋势(.|\\n)*"));
        if (begun < 0 || !printed.value(begun + 1).contains("温度趋势"))
            continue;
        ++crossings;
        const QString headerLine = printed.at(begun + 1).trimmed().section('\n', 0, 0);
        QVERIFY2(headerLine.contains("温度趋势") && !headerLine.contains(QRegularExpression("\\d")), qPrintable(headerLine));
    }
    QVERIFY(crossings > 0);

    // Every font embedded, or a PC without them shows no Chinese.
    const QStringList fonts = pdfTool("pdffonts", {pdf}).trimmed().split('\n').mid(2);
    QVERIFY(!fonts.isEmpty());
    for (const QString &font : fonts)
        QVERIFY2(font.contains(QRegularExpression("\\byes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$")), qPrintable(font));

    const QString png = dir.filePath("page");
    pdfTool("pdftoppm", {"-r", "60", "-png", "-f", "1", "-l", "1", "-singlefile", pdf, png});
    const QImage image(png + ".png");
    QVERIFY(image.width() > 400 && image.height() > 600);
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    QVERIFY(dark > image.width() * image.height() / 100);

    // A cancelled report: no document, and the reason said.
    data.cancelled = true;
    QVERIFY(!ReportPdf::render(data, &bytes, &error) && !error.isEmpty());
}

// The done-when run: yesterday's report from a week of minute files and a journal, by the built
// station's command line with no display, beside a station that holds the folder. Each device's
// maximum is checked against the files' own lines, read here as text.
void tst_report::commandLineReportsADayOfAGeneratedWeek()
{
    QTemporaryDir dir, out, config;
    const QDate yesterday = QDate::currentDate().addDays(-1);
    {
        HistoryStore store(dir.path());
        for (int day = 6; day >= 0; --day) {
            for (int minute = 0; minute < 1440; minute += day ? 15 : 1) {
                DeviceReadings r;
                for (int n = 1; n <= 12; ++n) {
                    r.deviceTemperature[n - 1] = float(30 + n + 8 * std::sin(minute / 97.0 + n * 1.3 + day));
                    r.deviceCurrent[n - 1] = float(n * 0.5 + (minute + n * 7) % 60 / 10.0);
                }
                if (day == 0 && minute == 13 * 60 + 37)
                    r.deviceTemperature[6] = 93.5f;
                if (day == 1 && minute == 600)
                    r.deviceTemperature[2] = 99.5f; // the day before: not yesterday's maximum
                const QDateTime stamp(yesterday.addDays(-day), QTime(0, 0).addSecs(minute * 60));
                QVERIFY(!store.recordHistoryMinute(r, stamp).failed);
            }
        }
    }
    const auto on = [](const QDate &date, const char *time) { return (date.toString("yyyy-MM-dd ") + time).toLatin1(); };
    {
        StationDatabase db(dir.path());
        AlarmJournal journal(db);
        QVector<JournalEvent> events{
            row(3, 1, "alarm", on(yesterday.addDays(-1), "10:00:00").constData(), 99.5, 80),
            row(3, 1, "recovery", on(yesterday.addDays(-1), "10:01:00").constData(), 40, 80),
            row(7, 1, "alarm", on(yesterday, "13:36:00").constData(), 85, 80),
            row(7, 1, "acknowledge", on(yesterday, "13:40:00").constData()),
            row(7, 1, "recovery", on(yesterday, "13:38:30").constData(), 45, 80),
            row(0, 4, "alarm", on(yesterday, "20:00:00").constData()),
            row(0, 4, "recovery", on(yesterday, "20:12:00").constData()),
            // Between two minute lines: its peak is the journal's.
            row(5, 1, "alarm", on(yesterday, "15:00:10").constData(), 85, 80),
            row(5, 1, "recovery", on(yesterday, "15:00:50").constData(), 40, 80)};
        events[2].text = "7温度异常", events[0].text = "3温度异常", events[5].text = "集中器通讯中断";
        events[7].text = "5温度异常";
        QVERIFY(journal.append(events));
    }
    // The files' maxima of yesterday, as written to six figures.
    QMap<int, double> maxima;
    QDir data(dir.path());
    const QRegularExpression record("ID:(\\d{3})#温度:([^#]*)#电流:[^#]*#状态:[^#]*#时间:(\\d{4}-\\d\\d-\\d\\d)");
    for (const QString &name : data.entryList({"History_*_value.txt"})) {
        auto matches = record.globalMatch(QString::fromUtf8(fileBytes(data.filePath(name))));
        while (matches.hasNext()) {
            const QRegularExpressionMatch m = matches.next();
            const int device = m.captured(1).toInt();
            if (m.captured(3) == yesterday.toString("yyyy-MM-dd"))
                maxima[device] = qMax(maxima.value(device, -1e9), m.captured(2).toDouble());
        }
    }
    QCOMPARE(maxima.size(), 12);
    QCOMPARE(maxima.value(7), 93.5);

    const std::unique_ptr<QLockFile> running = DataDirectory::takeLock(dir.path());
    QVERIFY(running->isLocked());
    QProcess station;
    station.setProcessEnvironment(commandEnvironment(config.path()));
    const QString day = yesterday.toString("yyyy-MM-dd");
    station.start(KESTRO_BINARY_PATH, {"--data-dir", dir.path(), "--report", "day", day, "--out", out.path()});
    QVERIFY(station.waitForFinished(60000));
    QVERIFY2(station.exitCode() == 0, station.readAllStandardError().constData());
    const QString base = out.filePath("kestro-report-" + QSysInfo::machineHostName() + "-" + day);
    QCOMPARE(QString::fromLocal8Bit(station.readAllStandardOutput()), base + ".pdf\n" + base + ".xlsx\n");

    const QStringList lines = readWorkbook(base + ".xlsx");
    const int devicesAt = lines.indexOf(QRegularExpression("\\[设备\\].*"));
    QVERIFY(devicesAt >= 0);
    for (auto it = maxima.cbegin(); it != maxima.cend(); ++it) {
        const QString prefix = QString("#%1@0|").arg(it.key());
        const int at = lines.indexOf(QRegularExpression(QRegularExpression::escape(prefix) + ".*"), devicesAt);
        QVERIFY2(at > devicesAt, qPrintable(prefix));
        const QString maximum = lines.at(at).section('|', 6, 6).section('@', 0, 0).mid(1);
        QCOMPARE(QString::number(maximum.toDouble(), 'g', 6), QString::number(it.value(), 'g', 6));
    }
    const QStringList listed = lines.mid(lines.indexOf(QRegularExpression("\\[报警明细\\].*")));
    QCOMPARE(listed.filter(QRegularExpression("温度异常|通讯中断")).size(), 3);
    QVERIFY2(listed.contains("#5@0||5温度异常|报警|" + on(yesterday, "15:00:10") + "|" + on(yesterday, "15:00:50") +
                            "|#0.6666666666666666@0.0|#85@0.0|°C|报警记录||"), qPrintable(listed.filter("5温度异常").join('\n')));
    QVERIFY(listed.filter(QRegularExpression("^#7@0\\|\\|7温度异常\\|.*\\|" + on(yesterday, "13:36:00") + "\\|")).size() == 1);
    QVERIFY(listed.filter("集中器通讯中断|报警|" + on(yesterday, "20:00:00")).size() == 1);

    const QString text = pdfTool("pdftotext", {"-layout", base + ".pdf", "-"});
    QVERIFY(text.contains("7温度异常") && text.contains("93.5") && !text.contains("3温度异常"));
    QVERIFY(text.contains(QRegularExpression("5温度异常\\s.*\\s85\\.0\\s+°C")));
    // Every device row as printed: lowest <= mean <= highest, for temperature and current.
    const QRegularExpression deviceRow("\\n\\s*(\\d+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+\\d\\d:\\d\\d"
                                       "\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+([-\\d.]+)\\s+\\d+\\s");
    int rows = 0;
    for (auto m = deviceRow.globalMatch(text); m.hasNext(); ++rows) {
        const QRegularExpressionMatch row = m.next();
        for (int first : {2, 5})
            QVERIFY2(row.captured(first).toDouble() <= row.captured(first + 1).toDouble() &&
                         row.captured(first + 1).toDouble() <= row.captured(first + 2).toDouble(),
                     qPrintable(row.captured(0)));
    }
    QCOMPARE(rows, 12);

    // A folder of history files alone: made all the same, and no database made; a day with
    // nothing recorded: one line, exit 2.
    for (const char *name : {"kestro.db", "kestro.db-wal", "kestro.db-shm"})
        QFile::remove(dir.filePath(name));
    const QStringList refused{"day", yesterday.addYears(-3).toString("yyyy-MM-dd")};
    const QStringList tomorrow{"day", QDate::currentDate().addDays(1).toString("yyyy-MM-dd")};
    for (const QStringList &period : {QStringList{"day", day}, refused, tomorrow}) {
        station.start(KESTRO_BINARY_PATH, QStringList{"--data-dir", dir.path(), "--out", out.filePath("alone"), "--report"} + period);
        QVERIFY(station.waitForFinished(60000));
        QCOMPARE(station.exitCode(), period.at(1) == day ? 0 : 2);
        const QByteArray said = station.readAllStandardError();
        QCOMPARE(said.count('\n'), 1); // the missing database, or why not
        QCOMPARE(said.contains("has not begun"), period == tomorrow);
    }
    QCOMPARE(QDir(out.filePath("alone")).entryList(QDir::Files).size(), 2);
    QVERIFY(!QFile::exists(dir.filePath("kestro.db")));
}

// The schedule's days; the scheduler making up what it missed at its start, saying what fails,
// and the dialog making a report on demand with its progress.
void tst_report::scheduleMakesUpAndDialogMakesOnDemand()
{
    const auto due = [](const char *now, bool daily, bool monthly) {
        QStringList texts;
        for (const ReportPeriod &p : ReportSchedule::due(QDateTime::fromString(now, "yyyy-MM-dd hh:mm"), daily, monthly))
            texts << p.text();
        return texts.join(' ');
    };
    QCOMPARE(due("2026-12-09 00:04", true, true), QString("2026-12-07 2026-11"));
    QCOMPARE(due("2026-12-09 00:05", true, true), QString("2026-12-08 2026-11"));
    QCOMPARE(due("2026-12-01 00:04", true, true), QString("2026-11-29 2026-10"));
    QCOMPARE(due("2026-12-01 00:05", true, true), QString("2026-11-30 2026-11"));
    QCOMPARE(due("2027-01-01 00:04", true, false), QString("2026-12-30"));
    QCOMPARE(due("2027-01-01 09:00", false, true), QString("2026-12"));
    QCOMPARE(ReportSchedule::fileBase(" 站/1:A* ", ReportPeriod::month(2026, 4)), QString("kestro-report-站_1_A_-2026-04"));

    QTemporaryDir dir, out;
    SiteSettings site = SiteSettings::load();
    site.station = "一号站";
    QVERIFY(site.save());
    writeTwoDays(dir.path());
    const ReportPeriod dayDue = ReportSchedule::due(QDateTime::currentDateTime(), true, false).first();

    // A folder that cannot be made: a plain file stands where it should be.
    QVERIFY(writeFileBytes(out.filePath("plain"), "x"));
    ReportSettings settings;
    settings.monthly = false, settings.folder = out.filePath("plain/reports");
    QVERIFY(settings.save());
    {
        ReportScheduler failing(dir.path());
        QSignalSpy problems(&failing, &ReportScheduler::problemChanged);
        failing.start();
        QTRY_COMPARE_WITH_TIMEOUT(problems.size(), 1, 30000);
        QVERIFY2(problems.at(0).at(0).toString().startsWith("定时报表未能生成，稍后重试："),
                 qPrintable(problems.at(0).at(0).toString()));
    }

    settings.monthly = true, settings.folder = out.filePath("reports");
    QVERIFY(settings.save());
    ReportScheduler reports(dir.path());
    QSignalSpy finished(&reports, &ReportScheduler::finished);
    reports.start();
    // The day is made; the month before has nothing recorded unless the day is in it.
    const QDate monthDue = QDateTime::currentDateTime().addSecs(-300).date().addMonths(-1);
    const auto inMonthDue = [&monthDue](const QDate &d) { return d.year() == monthDue.year() && d.month() == monthDue.month(); };
    const bool monthRecorded = inMonthDue(QDate::currentDate().addDays(-1)) || inMonthDue(QDate::currentDate().addDays(-2));
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 2, 60000);
    const QString folder = settings.folderPath(dir.path());
    QCOMPARE(int(ReportFiles::state(folder, "一号站", dayDue)), int(ReportFiles::State::Complete));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), monthRecorded ? 4 : 2);

    // A pair that is not whole is made again at the next start: without either file, left
    // mixed by a kill, or made while its day still ran. What a killed report left goes.
    const QStringList pair = ReportFiles::paths(folder, "一号站", dayDue);
    const auto setMade = [](const QString &path, const QDateTime &made) {
        QFile file(path);
        return file.open(QIODevice::ReadWrite) && file.setFileTime(made, QFileDevice::FileModificationTime);
    };
    const QDateTime dayEnd(dayDue.endDay(), QTime(0, 0));
    for (int spoilt = 0; spoilt < 4; ++spoilt) {
        if (spoilt < 2)
            QVERIFY(QFile::remove(pair.at(spoilt)));
        else if (spoilt == 2)
            QVERIFY(setMade(pair.at(1), QFileInfo(pair.at(1)).lastModified().addSecs(-2)));
        else
            QVERIFY(setMade(pair.at(0), dayEnd.addSecs(-60)) && setMade(pair.at(1), dayEnd.addSecs(-60)));
        QVERIFY(QDir(folder).mkpath(".kestro-report-Ab12Cd") && writeFileBytes(folder + "/.kestro-report-Ab12Cd/x.pdf", "x"));
        ReportScheduler next(dir.path());
        QSignalSpy made(&next, &ReportScheduler::finished);
        next.start();
        QTRY_VERIFY_WITH_TIMEOUT(!made.isEmpty(), 60000);
        const ReportOutcome outcome = made.first().at(0).value<ReportOutcome>();
        QVERIFY2(outcome.written() && outcome.period.text() == dayDue.text(), qPrintable(QString::number(spoilt)));
        QCOMPARE(int(ReportFiles::state(folder, "一号站", dayDue)), int(ReportFiles::State::Complete));
        QCOMPARE(scratchEntries(folder), 0);
    }

    // On demand: the dialog's own choice of the day before, into a folder typed there.
    ReportDialog dialog(&reports, dir.path());
    dialog.findChild<QLineEdit *>("report_folder")->setText(out.filePath("asked"));
    dialog.findChild<QDateEdit *>("report_period")->setDate(QDate::currentDate().addDays(-2));
    dialog.findChild<QPushButton *>("report_make")->click();
    QVERIFY(!dialog.findChild<QPushButton *>("report_make")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.findChild<QPushButton *>("report_make")->isEnabled(), 60000);
    const QString shown = dialog.findChild<QLabel *>("report_result")->text();
    QVERIFY2(shown.contains("已生成") && shown.contains("kestro-report-一号站-" + QDate::currentDate().addDays(-2).toString("yyyy-MM-dd") + ".xlsx"),
             qPrintable(shown));
    QCOMPARE(dialog.findChild<QProgressBar *>("report_progress")->value(), 100);
    QCOMPARE(QDir(out.filePath("asked")).entryList(QDir::Files).size(), 2);
}

// The built station's report command killed at moments spread over its run, over an older
// pair: each time the older pair, the new pair, or a mixed pair that the next scheduled run
// makes again; never a pair with a file missing, and what a kill left is gone after the next.
void tst_report::aKilledReportLeavesAWholePair()
{
    const KillCampaign campaign("report kills", 10);
    QRandomGenerator random(campaign.seed);
    QTemporaryDir dir, config;
    writeTwoDays(dir.path());
    const QString station = QSysInfo::machineHostName();
    SiteSettings site = SiteSettings::load();
    site.station = station;
    QVERIFY(site.save());
    ReportSettings settings;
    settings.monthly = false, settings.folder = dir.filePath("reports");
    QVERIFY(settings.save());
    const QString folder = settings.folderPath(dir.path());
    const ReportPeriod period = ReportSchedule::due(QDateTime::currentDateTime(), true, false).first();
    const QStringList pair = ReportFiles::paths(folder, station, period);

    QProcess report;
    report.setProcessEnvironment(commandEnvironment(config.path()));
    const QStringList arguments{"--data-dir", dir.path(), "--report", "day", period.text(), "--out", folder};
    QElapsedTimer timer;
    timer.start();
    report.start(KESTRO_BINARY_PATH, arguments);
    QVERIFY(report.waitForFinished(60000) && report.exitCode() == 0);
    const int lasting = int(timer.elapsed());
    QMap<int, int> seen;
    for (int kill = 0; kill < campaign.kills; ++kill) {
        report.start(KESTRO_BINARY_PATH, arguments);
        QVERIFY(report.waitForStarted(5000));
        QThread::usleep(1000 * random.bounded(1, lasting + 1));
        report.kill();
        QVERIFY(report.waitForFinished(5000));
        const ReportFiles::State state = ReportFiles::state(folder, station, period);
        ++seen[int(state)];
        QVERIFY2(state == ReportFiles::State::Complete || state == ReportFiles::State::Mixed,
                 qPrintable(QString("state %1 after a kill at %2").arg(int(state)).arg(kill)));
        // Each run removes what the one before left: one scratch folder at the most.
        QVERIFY(scratchEntries(folder) <= 1);
        if (state == ReportFiles::State::Mixed) {
            ReportScheduler next(dir.path());
            QSignalSpy made(&next, &ReportScheduler::finished);
            next.start();
            QTRY_VERIFY_WITH_TIMEOUT(!made.isEmpty(), 60000);
            QCOMPARE(int(ReportFiles::state(folder, station, period)), int(ReportFiles::State::Complete));
            QCOMPARE(scratchEntries(folder), 0);
        }
    }
    qInfo("report kills: %d complete, %d mixed (one report %d ms)", seen.value(int(ReportFiles::State::Complete)),
          seen.value(int(ReportFiles::State::Mixed)), lasting);
    report.start(KESTRO_BINARY_PATH, arguments);
    QVERIFY(report.waitForFinished(60000) && report.exitCode() == 0);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             QStringList({QFileInfo(pair.at(0)).fileName(), QFileInfo(pair.at(1)).fileName()}));
}

KESTRO_TEST_MAIN(tst_report)
#include "tst_report.moc"
