// The report's workbook as openpyxl reads it back, against figures written out here.

#include "testsupport.h"

#include "core/walltime.h"
#include "core/wholefile.h"
#include "report/reportxlsx.h"

#include <QProcess>
#include <QTest>

namespace {

qint64 wall(const char *time)
{
    qint64 ms = 0;
    return WallTime::parseStamp(QString("2026-05-12 ") + time, &ms) ? ms : -1;
}

} // namespace

class tst_reportxlsx : public QObject
{
    Q_OBJECT

private slots:
    void workbookReadBack();
};

void tst_reportxlsx::workbookReadBack()
{
    ReportData data;
    data.stationName = "站A", data.version = "0.1", data.notes = QStringList({"历史文件缺一天"});
    data.period = ReportPeriod::day(QDate(2026, 5, 12)), data.source = ReportSource::MinuteFiles;
    data.made = QDateTime(QDate(2026, 5, 12), QTime(12, 0));
    data.fromMs = wall("00:00:00"), data.toMs = wall("12:00:00");
    data.link = {true, 0, 0, 0.95, 2, 1800000, wall("09:00:00")};
    ReportDevice d3, d12;
    d3.device = 3, d3.name = "进线A相", d3.location = "配电室", d3.cabinetGroups = QStringList({"1号柜", "2号柜"});
    d3.temperature = {6, 28, 32.25, 35.5, wall("08:02:00")};
    d3.current = {6, 1, 2.125, 3, wall("08:02:00")};
    d3.temperatureAlarmMinutes = 483.5, d12.device = 12, d12.temperatureAlarmMinutes = 120;
    data.devices = {d3, d12};
    data.hottest = {ReportSeries{3, false, {}, {}, {}, {}}};
    data.alarmCounts = {{3, 1, 1}, {8, 0, 1}};
    ReportAlarm a7, link;
    a7.device = 7, a7.kind = 3, a7.text = "7电流异常", a7.startMs = wall("08:00:30");
    a7.endMs = wall("08:04:30"), a7.durationMs = 240000, a7.peak = 6.5;
    a7.acknowledged = true, a7.acknowledgedMs = wall("08:01:00");
    link.kind = 4, link.text = "通讯中断", link.startMs = wall("11:00:00"), link.open = true, link.durationMs = 3600000;
    data.alarms = {a7, link};

    QTemporaryDir dir;
    const QString path = dir.filePath("日报.xlsx");
    QVERIFY(WholeFile::write(path, "old"));
    QString error;
    QVERIFY2(ReportXlsx::write(data, path, &error), qPrintable(error));
    QProcess reader;
    reader.start("/usr/bin/python3", {KESTRO_READXLSX_PATH, path});
    QVERIFY2(reader.waitForFinished(30000) && reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.filter(QRegularExpression("^\\[")),
             QStringList({"[概况] A2", "[设备] A2", "[最热设备] A2", "[报警统计] A2", "[报警明细] A2"}));
    for (const char *expected :
         {"数据来源|分钟记录", "通讯可用率|#0.95@0.00%", "最长中断（分钟）|#30@0.0", "备注|历史文件缺一天",
          "#3@0|进线A相|配电室|1号柜、2号柜|#28@0.0|#32.25@0.0|#35.5@0.0|2026-05-12 08:02:00|#1@0.00|#2.125@0.00|#3@0.00|#6@0|#483.5@0.0",
          "#12@0|||||||||||#0@0|#120@0.0", "#3@0|进线A相|#35.5@0.0|2026-05-12 08:02:00", "温度预警|预警|#1@0",
          "#7@0|7电流异常|报警|2026-05-12 08:00:30|2026-05-12 08:04:30|#4@0.0|#6.5@0.00|2026-05-12 08:01:00",
          "|通讯中断|报警|2026-05-12 11:00:00|未恢复|#60@0.0||"})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"日报.xlsx"}));

    // A folder that cannot be written, even by root: a plain file stands where it should be.
    QVERIFY(WholeFile::write(dir.filePath("plain"), "x"));
    QVERIFY(!ReportXlsx::write(data, dir.filePath("plain/日报.xlsx"), &error));
    QVERIFY2(error.startsWith("cannot write in ") && error.contains("plain"), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"plain", "日报.xlsx"}));
}

KESTRO_TEST_MAIN(tst_reportxlsx)
#include "tst_reportxlsx.moc"
