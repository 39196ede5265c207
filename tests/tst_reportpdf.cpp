// The report's PDF read back by poppler's tools: its text, pages, fonts and a rendered page.

#include "testsupport.h"

#include "report/reportpdf.h"

#include <QImage>
#include <QRegularExpression>
#include <QTest>

namespace {

QString pdfTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
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
    for (int n : {17, 3, 5}) {
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
    data.link.known = true, data.link.coveredMs = 12 * 3600000, data.link.availableShare = 0.95;
    return data;
}

} // namespace

class tst_reportpdf : public QObject
{
    Q_OBJECT

private slots:
    void readsBackAsPrinted();
    void failureLeavesNoFile();

private:
    IsolatedSettings settings;
};

void tst_reportpdf::readsBackAsPrinted()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("report.pdf");
    QString error;
    QVERIFY2(ReportPdf::write(sampleDay(), pdf, &error), qPrintable(error));

    const QString text = pdfTool("pdftotext", {"-layout", pdf, "-"});
    for (const char *expected : {"温度电流监测报表", "日报 2026-05-12", "分钟记录", "设备统计", "最热设备", "报警统计",
                                 "报警明细", "17温度异常", "未恢复", "95.00%", "审核：________"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
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
}

void tst_reportpdf::failureLeavesNoFile()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!ReportPdf::write(sampleDay(), dir.filePath("missing/report.pdf"), &error));
    QVERIFY(!error.isEmpty());
    ReportData cancelled = sampleDay();
    cancelled.cancelled = true;
    QVERIFY(!ReportPdf::write(cancelled, dir.filePath("report.pdf"), &error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_MAIN(tst_reportpdf)
#include "tst_reportpdf.moc"
