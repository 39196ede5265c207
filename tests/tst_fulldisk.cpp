// The station on a full disk: what it replaces stays as it was, no history line is left
// half written, the operator is told, and everything goes on once space returns.

#include "app/mainwindow.h"
#include "config/wholefile.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "history/historyrecord.h"
#include "history/historywritestatus.h"
#include "testsupport.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

class tst_fulldisk : public QObject
{
    Q_OBJECT

private slots:
    void replacementKeepsTheOldFile_data();
    void replacementKeepsTheOldFile();
    void stationCarriesOnWhileFull();
    void aRunOfFailuresIsLoggedOnce();
};

// The free space and sizes under which Qt's own commit() reported success.
void tst_fulldisk::replacementKeepsTheOldFile_data()
{
    QTest::addColumn<int>("freeBytes");
    QTest::addColumn<int>("size");
    QTest::newRow("nothing free") << 0 << 600;
    QTest::newRow("one page free") << 4096 << 6000;
    QTest::newRow("two pages free") << 8192 << 20000;
}

void tst_fulldisk::replacementKeepsTheOldFile()
{
    QFETCH(int, freeBytes);
    QFETCH(int, size);
    SmallDisk disk(1);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    const QString path = QDir(disk.path()).filePath(QStringLiteral("save_data.txt"));
    const QByteArray old(609, 'o');
    QVERIFY(writeFileBytes(path, old) && disk.fill(freeBytes));
    QString error;
    QVERIFY(!WholeFile::write(path, QByteArray(size, 'n'), &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(fileBytes(path), old);
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({".filler", "save_data.txt"}));
    disk.release();
    QVERIFY(WholeFile::write(path, QByteArray(size, 'n'), &error));
    QCOMPARE(fileBytes(path), QByteArray(size, 'n'));
}

void tst_fulldisk::stationCarriesOnWhileFull()
{
    SmallDisk disk(4);
    QVERIFY2(disk.isMounted(), "mounting a tmpfs needs root");
    const QDir dir(disk.path());
    auto window = std::make_unique<MainWindow>(nullptr, disk.path());
    // Every device reporting: a line of some 14 KB, longer than the space left below.
    auto minute = [&](int k) {
        for (int device = 1; device <= 200; ++device)
            panelField(window.get(), PanelPrefix::Temperature, device)->setText(QStringLiteral("25.5"));
        panelField(window.get(), PanelPrefix::Temperature, 1)->setText(QStringLiteral("90"));
        window->evaluateNow();
        window->recordHistoryAt(QDateTime(QDate(2026, 3, 2), QTime(8, k)));
    };
    auto mondayLines = [&]() {
        const QList<QByteArray> lines =
            fileBytes(dir.filePath("History_Monday_value.txt")).split('\n');
        for (const QByteArray &line : lines.mid(0, lines.size() - 1)) {
            if (!line.endsWith('\r') || HistoryRecord::parse(QString::fromUtf8(line)).size() != 200)
                return -1;
        }
        return lines.last().isEmpty() ? lines.size() - 1 : -1;
    };
    auto label = [&]() { return window->findChild<QLabel *>(QStringLiteral("history_write_state")); };
    panelField(window.get(), PanelPrefix::Name, 1)->setText(QStringLiteral("一号柜"));
    window->form()->save_button->click();
    minute(0);
    minute(1);
    const QByteArray settings = fileBytes(dir.filePath("save_data.txt"));
    QVERIFY(settings.startsWith("一号柜\n"));

    // Room for the counter but not for the line: the line is taken back, the count goes on.
    QVERIFY(disk.fill(8192));
    minute(2);
    QCOMPARE(mondayLines(), 2);
    QCOMPARE(fileBytes(dir.filePath("profile.txt")), QByteArray("3\r\n"));
    QVERIFY(!label()->isHidden());
    QCOMPARE(label()->text(), QStringLiteral("磁盘空间不足，历史记录未写入"));
    QVERIFY(window->alarms().isOpen(AlarmDetector::Temperature, 1));

    QVERIFY(disk.fill(0));
    panelField(window.get(), PanelPrefix::Name, 1)->setText(QStringLiteral("二号柜"));
    window->form()->save_button->click();
    QCOMPARE(window->form()->statusbar->currentMessage(),
             QStringLiteral("保存失败，设备设置未改变：No space left on device"));
    minute(3);
    QCOMPARE(fileBytes(dir.filePath("save_data.txt")), settings);
    QCOMPARE(fileBytes(dir.filePath("profile.txt")), QByteArray("3\r\n"));

    // A restart while full reads back what was there and truncates nothing.
    window.reset();
    window = std::make_unique<MainWindow>(nullptr, disk.path());
    QCOMPARE(panelField(window.get(), PanelPrefix::Name, 1)->text(), QStringLiteral("一号柜"));
    minute(4);
    QCOMPARE(mondayLines(), 2);
    QCOMPARE(fileBytes(dir.filePath("profile.txt")), QByteArray("3\r\n"));

    disk.release();
    minute(5);
    QCOMPARE(mondayLines(), 3);
    QCOMPARE(fileBytes(dir.filePath("profile.txt")), QByteArray("4\r\n"));
    QVERIFY(label()->isHidden());
}

void tst_fulldisk::aRunOfFailuresIsLoggedOnce()
{
    HistoryWriteStatus status;
    const QDateTime at(QDate(2026, 3, 2), QTime(8, 0));
    HistoryStore::MinuteResult full{false, true, true, QStringLiteral("No space left on device")};
    QCOMPARE(status.take(full, at), QStringLiteral("2026-03-02 08:00:00 history: "
                                                   "磁盘空间不足，历史记录未写入 (No space left on device)"));
    QCOMPARE(status.take(full, at.addSecs(60)), QString());
    QCOMPARE(status.take(HistoryStore::MinuteResult(), at.addSecs(120)), QString());
    QVERIFY(status.failing());
    QCOMPARE(status.take({true, false, false, QString()}, at.addSecs(180)),
             QStringLiteral("2026-03-02 08:03:00 history: 历史记录恢复写入"));
    QVERIFY(!status.failing());
}

KESTRO_TEST_MAIN(tst_fulldisk)
#include "tst_fulldisk.moc"
