// The station on a real full disk: what it replaces stays as it was, no history line is
// left half written, the operator is told, and everything goes on once space returns.

#include "app/mainwindow.h"
#include "config/stationsettings.h"
#include "forms/alarmform.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "history/historycsv.h"
#include "history/historystore.h"
#include "history/historyrecord.h"
#include "history/historywritestatus.h"
#include "monitor/alarm.h"
#include "monitor/alarmhandling.h"
#include "monitor/alarmsound.h"
#include "report/reportfiles.h"
#include "site/sitedialog.h"
#include "site/sitesettings.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

class tst_fulldisk : public QObject
{
    Q_OBJECT

private slots:
    void stationCarriesOnWhileFull();
    void aRunOfFailuresIsLoggedOnce();
    void settingsStayWhenTheyCannotBeWritten();
    void reportPairStaysWhenTheDiskIsFull();
};

void tst_fulldisk::stationCarriesOnWhileFull()
{
    SmallDisk disk(4);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    const QDir dir(disk.path());
    auto window = std::make_unique<MainWindow>(nullptr, disk.path());
    auto field = [&](const char *prefix, int device) { return panelField(window.get(), prefix, device); };
    // Every device reporting: a line of some 14 KB, longer than the space left below.
    auto minute = [&](int k) {
        for (int device = 1; device <= 200; ++device)
            typeIntoPanel(window.get(), PanelPrefix::Temperature, device, device == 1 ? "90" : "25.5");
        window->evaluateNow();
        window->recordHistoryAt(QDateTime(QDate(2026, 3, 2), QTime(8, k)));
    };
    auto wholeLines = [&]() {
        const QList<QByteArray> lines = fileBytes(dir.filePath("History_Monday_value.txt")).split('\n');
        for (const QByteArray &line : lines.mid(0, lines.size() - 1)) {
            if (!line.endsWith('\r') || HistoryRecord::parse(QString::fromUtf8(line)).size() != 200)
                return -1;
        }
        return lines.last().isEmpty() ? lines.size() - 1 : -1;
    };
    auto bytes = [&](const char *name) { return fileBytes(dir.filePath(name)); };
    auto label = [&]() { return window->findChild<QLabel *>("history_write_state"); };
    field(PanelPrefix::Name, 1)->setText("一号柜");
    window->form()->save_button->click();
    minute(0);
    minute(1);
    const QByteArray settings = bytes("save_data.txt");
    QVERIFY(settings.startsWith("一号柜\n"));
    const QVector<QStringList> rows(1000, {"001", "25.5", "0", "在线", "2026-03-02 08:00:00"});
    QString error;
    QVERIFY(HistoryCsv::write(dir.filePath("export.csv"), rows.mid(0, 1), &error));
    const QByteArray exported = bytes("export.csv");

    // Room for the counter but not for the line: the line is taken back, the count goes on.
    // The export, longer than the room, is cut where Qt's commit() said it was whole.
    QVERIFY(disk.fill(8192));
    QVERIFY(!HistoryCsv::write(dir.filePath("export.csv"), rows, &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    minute(2);
    QCOMPARE(wholeLines(), 2);
    QCOMPARE(bytes("profile.txt"), QByteArray("3\r\n"));
    QVERIFY(!label()->isHidden());
    QCOMPARE(label()->text(), QStringLiteral("磁盘空间不足，历史记录未写入"));
    QVERIFY(window->alarms().isOpen(AlarmDetector::Temperature, 1));

    QVERIFY(disk.fill(0));
    field(PanelPrefix::Name, 1)->setText("二号柜");
    window->form()->save_button->click();
    QCOMPARE(window->form()->statusbar->currentMessage(),
             QStringLiteral("保存失败，设备设置未改变：No space left on device"));
    minute(3);
    QCOMPARE(bytes("save_data.txt"), settings);
    QCOMPARE(bytes("profile.txt"), QByteArray("3\r\n"));
    QCOMPARE(bytes("export.csv"), exported);
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("\\.txt\\.|\\.csv\\.")),
             QStringList());

    // A restart while full reads back what was there and truncates nothing.
    window = std::make_unique<MainWindow>(nullptr, disk.path());
    QVERIFY(disk.fill(0));
    QCOMPARE(field(PanelPrefix::Name, 1)->text(), QStringLiteral("一号柜"));
    minute(4);
    QCOMPARE(wholeLines(), 2);
    QCOMPARE(bytes("profile.txt"), QByteArray("3\r\n"));

    disk.release();
    minute(5);
    QCOMPARE(wholeLines(), 3);
    QCOMPARE(bytes("profile.txt"), QByteArray("4\r\n"));
    QVERIFY(label()->isHidden());
}

void tst_fulldisk::aRunOfFailuresIsLoggedOnce()
{
    HistoryWriteStatus status;
    const QDateTime at(QDate(2026, 3, 2), QTime(8, 0));
    const HistoryStore::MinuteResult full{false, true, true, "No space left on device"};
    QCOMPARE(status.take(full, at),
             "2026-03-02 08:00:00 history: 磁盘空间不足，历史记录未写入 (No space left on device)");
    QCOMPARE(status.take(full, at.addSecs(60)), QString());
    QCOMPARE(status.take(HistoryStore::MinuteResult(), at.addSecs(120)), QString());
    QCOMPARE(status.take({true, false, false, QString()}, at.addSecs(180)),
             "2026-03-02 08:03:00 history: 历史记录恢复写入");
}

void tst_fulldisk::settingsStayWhenTheyCannotBeWritten()
{
    SmallDisk disk(1);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    // The settings on the small disk from here on: no case after this one reads them.
    QSettings::setPath(StationSettings::format(), QSettings::UserScope, disk.path());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestro-test-bus");
    SiteSettings site;
    site.host = QStringLiteral("broker.plant.example");
    site.station = QStringLiteral("一号站");
    QVERIFY(site.save());
    const QString path = disk.path() + QStringLiteral("/Kestro/station.conf");
    const QByteArray before = fileBytes(path);
    QTemporaryDir data;
    MainWindow window(nullptr, data.path());
    auto faults = [&] {
        const auto *label = window.findChild<QLabel *>("station_faults");
        // whole, as its tooltip holds it when cut
        return label->isHidden() ? QString() : label->toolTip().isEmpty() ? label->text() : label->toolTip();
    };
    SiteDialog dialog;
    QSignalSpy applied(&dialog, &SiteDialog::settingsApplied);
    OutputCapture errors(stderr);

    QVERIFY(disk.fill(4096));
    window.alarmRecords()->form()->checkBox_sound->click();
    dialog.findChild<QLineEdit *>("site_host")->setText("other.example");
    dialog.findChild<QPushButton *>("site_apply")->click();
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(disk.path() + "/Kestro").entryList(QDir::Files | QDir::Hidden),
             QStringList{"station.conf"});
    QCOMPARE(faults(), QStringLiteral("设置无法保存：磁盘空间不足"));
    QCOMPARE(dialog.findChild<QLabel *>("site_message")->text(),
             QStringLiteral("设置无法保存：磁盘空间不足，远程发布仍按原设置运行"));
    QCOMPARE(applied.count(), 0);
    QVERIFY(!window.alarmSound()->isEnabled());

    disk.release();
    dialog.findChild<QPushButton *>("site_apply")->click();
    QCOMPARE(applied.count(), 1);
    QCOMPARE(faults(), QString());
    QCOMPARE(errors.text().count(QStringLiteral("settings: 设置无法保存：磁盘空间不足").toLocal8Bit()), 1);
    // Read by Qt's own format, from a copy it has not seen: the sound switched off while full
    // went out with this write.
    QVERIFY(QFile::copy(path, disk.path() + "/copy.ini"));
    const QSettings written(disk.path() + "/copy.ini", QSettings::IniFormat);
    QCOMPARE(written.value("alarm/sound").toString(), QStringLiteral("false"));
    QCOMPARE(written.value("site/host").toString(), QStringLiteral("other.example"));
    QCOMPARE(written.value("site/station").toString(), QStringLiteral("一号站"));
}

// A report's older pair stays as it was when the disk fills before the PDF or between the
// PDF and the workbook; the reason said is the disk's, and nothing is left behind.
void tst_fulldisk::reportPairStaysWhenTheDiskIsFull()
{
    QTemporaryDir data;
    {
        HistoryStore store(data.path());
        for (int minute = 0; minute < 1440; minute += 10) {
            DeviceReadings r;
            for (int device = 0; device < 24; ++device)
                r.deviceTemperature[device] = 30 + device + minute % 7, r.deviceCurrent[device] = 1.5f;
            QVERIFY(!store.recordHistoryMinute(r, QDateTime(QDate(2026, 3, 2), QTime(0, 0).addSecs(minute * 60))).failed);
        }
    }
    SmallDisk disk(8);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    const QString folder = disk.path() + "/reports";
    const ReportPeriod day = ReportPeriod::day(QDate(2026, 3, 2));
    const QDateTime made(QDate(2026, 3, 3), QTime(0, 5));
    QVERIFY(ReportFiles::make(data.path(), day, "站A", folder, made).written());
    const QStringList pair = ReportFiles::paths(folder, "站A", day);
    const QByteArray pdf = fileBytes(pair.at(0)), xlsx = fileBytes(pair.at(1));

    // No room for the PDF; then room for the PDF but not for the workbook.
    for (const qint64 leave : {qint64(0), qint64(pdf.size() / 4096 + 2) * 4096}) {
        disk.release();
        QVERIFY(disk.fill(leave));
        const ReportOutcome full = ReportFiles::make(data.path(), day, "站A", folder, made.addSecs(60));
        QVERIFY(!full.written());
        QVERIFY2(full.error == qt_error_string(ENOSPC), qPrintable(full.error));
        QCOMPARE(fileBytes(pair.at(0)), pdf);
        QCOMPARE(fileBytes(pair.at(1)), xlsx);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
    }
    disk.release();
    QVERIFY(ReportFiles::make(data.path(), day, "站A", folder, made.addSecs(120)).written());
    QCOMPARE(int(ReportFiles::state(folder, "站A", day)), int(ReportFiles::State::Complete));
}

KESTRO_TEST_MAIN(tst_fulldisk)
#include "tst_fulldisk.moc"
