#include "history/historyrecord.h"
#include "history/historystore.h"

#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextCodec>

#include <cstdio>
#include <limits>


namespace {

const QStringList kDayFiles = {
    "History_Monday_value.txt",   "History_Tuesday_value.txt", "History_Wednesday_value.txt",
    "History_Thursday_value.txt", "History_Friday_value.txt",  "History_Saturday_value.txt",
    "History_Sunday_value.txt",
};

QDateTime at(int hour, int minute)
{
    return QDateTime(QDate(2024, 5, 1), QTime(hour, minute));
}

} // namespace

class HistoryStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileNames();
    void oneLinePerMinuteInDeviceOrder();
    void slotScheme_data();
    void slotScheme();
    void unwritableDirectoryIsReportedAndCounted();
    void chineseAndSeparatorsSurviveAPlainCLocale();
    void lineLeftUnendedByAKillIsEndedBeforeTheNext_data();
    void lineLeftUnendedByAKillIsEndedBeforeTheNext();
    void emptyCounterGoesOnFromTheDayFiles();

private:
    QString path(const QString &name) const { return QDir(dir->path()).filePath(name); }
    QScopedPointer<QTemporaryDir> dir;
};

void HistoryStoreTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void HistoryStoreTest::fileNames()
{
    for (int day = 0; day < 7; ++day)
        QCOMPARE(HistoryStore::dayFileName(day), kDayFiles.at(day));
    QCOMPARE(HistoryStore::dayFileName(7), QString());
    QCOMPARE(HistoryStore::counterFileName(), QStringLiteral("profile.txt"));
}

void HistoryStoreTest::oneLinePerMinuteInDeviceOrder()
{
    DeviceReadings readings;
    readings.deviceTemperature[149] = 30.25f;
    readings.deviceCurrent[149] = 2.0f;
    readings.deviceStatusText[149] = QStringLiteral("在线");
    readings.deviceTemperature[2] = -5.0f;
    readings.deviceCurrent[2] = 1.5e6f;
    readings.deviceStatusText[2] = QStringLiteral("离线");
    readings.deviceCurrent[40] = 7.0f; // temperature 0: no record
    readings.deviceTemperature[199] = std::numeric_limits<float>::quiet_NaN(); // not 0

    HistoryStore store(dir->path());
    OutputCapture capture(stdout);
    store.recordHistoryMinute(readings, at(8, 0));
    store.recordHistoryMinute(readings, at(8, 1));
    // No counter file before the first write.
    QCOMPARE(capture.text(), QByteArray("Open failed2.\n"));

    QCOMPARE(fileBytes(path(kDayFiles.at(0))),
             QStringLiteral("ID:003#温度:-5#电流:1.5e+06#状态:离线#时间:2024-05-01 08:00:00#;"
                            "ID:150#温度:30.25#电流:2#状态:在线#时间:2024-05-01 08:00:00#;"
                            "ID:200#温度:nan#电流:0#状态:#时间:2024-05-01 08:00:00#;\r\n"
                            "ID:003#温度:-5#电流:1.5e+06#状态:离线#时间:2024-05-01 08:01:00#;"
                            "ID:150#温度:30.25#电流:2#状态:在线#时间:2024-05-01 08:01:00#;"
                            "ID:200#温度:nan#电流:0#状态:#时间:2024-05-01 08:01:00#;\r\n")
                 .toUtf8());
    QCOMPARE(fileBytes(path("profile.txt")), QByteArray("2\r\n"));
    QCOMPARE(store.historyLineCount(), 2);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files),
             QStringList({"History_Monday_value.txt", "profile.txt"}));
}

void HistoryStoreTest::slotScheme_data()
{
    QTest::addColumn<QByteArray>("counter");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<int>("readBack");
    // Per day file, Monday first, each starting as "old\r\n": '.' untouched, '+' the line
    // appended, 'L' the line alone, '0' emptied.
    QTest::addColumn<QString>("days");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("1439") << QByteArray("1439\r\n") << true << 1439 << "+L....." << QByteArray("1441\r\n");
    QTest::newRow("1439, no reading") << QByteArray("1439\r\n") << false << 1439 << "......."
                                      << QByteArray("1439\r\n");
    QTest::newRow("10079") << QByteArray("10079\r\n") << true << 10079 << "......+"
                           << QByteArray("10080\r\n");
    QTest::newRow("10079, no reading") << QByteArray("10079\r\n") << false << 10079 << "......."
                                       << QByteArray("10079\r\n");
    QTest::newRow("10080") << QByteArray("10080\r\n") << true << 10080 << "L......"
                           << QByteArray("1\r\n");
    QTest::newRow("10080, no reading") << QByteArray("10080\r\n") << false << 10080 << "0......"
                                       << QByteArray("0\r\n");
    QTest::newRow("not a number") << QByteArray("abc\r\n") << true << 0 << "+......"
                                  << QByteArray("1\r\n");
    QTest::newRow("last line wins") << QByteArray("1439\r\n10080\r\n2880\r\n") << true << 2880
                                    << "..L...." << QByteArray("2881\r\n");
    QTest::newRow("last line not a number") << QByteArray("500\r\nx\r\n") << true << 0
                                            << "+......" << QByteArray("1\r\n");
    QTest::newRow("LF, no final line end") << QByteArray("7\n8639") << true << 8639 << ".....+L"
                                           << QByteArray("8641\r\n");
    QTest::newRow("above a cycle") << QByteArray("20000\r\n") << true << 10080 << "L......"
                                   << QByteArray("1\r\n");
    QTest::newRow("beyond int") << QByteArray("99999999999\r\n") << true << 10080 << "L......"
                                << QByteArray("1\r\n");
    QTest::newRow("negative") << QByteArray("-5\r\n") << true << 0 << "+......"
                              << QByteArray("1\r\n");
    QTest::newRow("empty") << QByteArray() << true << 0 << "+......" << QByteArray("1\r\n");
}

void HistoryStoreTest::slotScheme()
{
    QFETCH(QByteArray, counter);
    QFETCH(bool, reading);
    QFETCH(int, readBack);
    QFETCH(QString, days);
    QFETCH(QByteArray, stored);

    QVERIFY(writeFileBytes(path("profile.txt"), counter));
    for (const QString &day : kDayFiles)
        QVERIFY(writeFileBytes(path(day), "old\r\n"));
    QCOMPARE(HistoryStore::readStoredCount(dir->path()), readBack);

    // Device 7 as in the example record.
    DeviceReadings readings;
    if (reading) {
        readings.deviceTemperature[6] = 23.5f;
        readings.deviceCurrent[6] = 1.25f;
        readings.deviceStatusText[6] = QStringLiteral("在线");
    }
    HistoryStore store(dir->path());
    store.recordHistoryMinute(readings, at(9, 30));

    const QByteArray line =
        QStringLiteral("ID:007#温度:23.5#电流:1.25#状态:在线#时间:2024-05-01 09:30:00#;\r\n").toUtf8();
    const QHash<QChar, QByteArray> content = {
        {'.', "old\r\n"}, {'+', "old\r\n" + line}, {'L', line}, {'0', QByteArray()}};
    for (int day = 0; day < 7; ++day)
        QCOMPARE(fileBytes(path(kDayFiles.at(day))), content.value(days.at(day)));
    QCOMPARE(fileBytes(path("profile.txt")), stored);
}

void HistoryStoreTest::unwritableDirectoryIsReportedAndCounted()
{
    // Root may write anywhere, but nobody can make a folder under a plain file.
    QVERIFY(writeFileBytes(path("plain"), "x"));
    const QString blocked = path("plain/kestro");
    bool readable = true;
    QCOMPARE(HistoryStore::readStoredCount(blocked, &readable), 0);
    QVERIFY(!readable);

    DeviceReadings readings;
    readings.deviceTemperature[0] = 20.0f;
    HistoryStore store(blocked);
    OutputCapture capture(stdout);
    store.recordHistoryMinute(readings, at(12, 0));
    store.recordHistoryMinute(readings, at(12, 1));
    QCOMPARE(capture.text(), QByteArray("Open failed2.\nOpen failed1.\nOpen failed1.\n"
                                        "Open failed2.\nOpen failed1.\nOpen failed1.\n"));
    // The count goes on in memory as if the lines had been written.
    QCOMPARE(store.historyLineCount(), 2);
    QCOMPARE(fileBytes(path("plain")), QByteArray("x"));
}

void HistoryStoreTest::chineseAndSeparatorsSurviveAPlainCLocale()
{
    QTextCodec *previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    DeviceReadings readings;
    readings.deviceTemperature[6] = 23.5f;
    readings.deviceCurrent[6] = 1.25f;
    readings.deviceStatusText[6] = QStringLiteral("在线#;");
    QVERIFY(writeFileBytes(path("profile.txt"), "0\r\n"));
    HistoryStore store(dir->path());
    store.recordHistoryMinute(readings, at(8, 0));
    QTextCodec::setCodecForLocale(previous);

#ifndef Q_OS_WIN
    const QByteArray bytes = fileBytes(path(kDayFiles.at(0)));
    QCOMPARE(bytes, QByteArray("ID:007#\xE6\xB8\xA9\xE5\xBA\xA6:23.5#\xE7\x94\xB5\xE6\xB5\x81:1.25#"
                               "\xE7\x8A\xB6\xE6\x80\x81:\xE5\x9C\xA8\xE7\xBA\xBF\xEF\xBC\x83\xEF\xBC\x9B#"
                               "\xE6\x97\xB6\xE9\x97\xB4:2024-05-01 08:00:00#;\r\n"));
    const QVector<QStringList> records = HistoryRecord::parse(QString::fromUtf8(bytes));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().at(3), QStringLiteral("状态:在线＃；"));
    QCOMPARE(HistoryRecord::timeText(records.first()), QStringLiteral("2024-05-01 08:00:00"));
#endif
}

// A SIGKILL may stop a write between two pages: the next minute must not run on in
// the torn line, and the torn line's whole records must stay.
void HistoryStoreTest::lineLeftUnendedByAKillIsEndedBeforeTheNext_data()
{
    QTest::addColumn<QByteArray>("torn");
    QTest::addColumn<QByteArray>("ended");
    const QByteArray whole = "ID:001#温度:20#电流:1#状态:在线#时间:2024-05-01 07:58:00#;\r\n";
    const QByteArray record = "ID:001#温度:21#电流:1#状态:在线#时间:2024-05-01 07:59:00#;";
    QTest::newRow("inside a record") << whole + record + "ID:00" << whole + record + "ID:00\r\n";
    QTest::newRow("after the last record") << whole + record << whole + record + "\r\n";
    QTest::newRow("between CR and LF") << whole + record + "\r" << whole + record + "\r\n";
    QTest::newRow("one byte") << QByteArray("I") << QByteArray("I\r\n");
    QTest::newRow("whole") << whole << whole;
}

void HistoryStoreTest::lineLeftUnendedByAKillIsEndedBeforeTheNext()
{
    QFETCH(QByteArray, torn);
    QFETCH(QByteArray, ended);
    QVERIFY(writeFileBytes(path(kDayFiles.at(0)), torn));
    QVERIFY(writeFileBytes(path("profile.txt"), "2\r\n"));
    DeviceReadings readings;
    readings.deviceTemperature[0] = 22.0f;
    readings.deviceCurrent[0] = 1.0f;
    readings.deviceStatusText[0] = QStringLiteral("在线");
    HistoryStore(dir->path()).recordHistoryMinute(readings, at(8, 0));
    QCOMPARE(fileBytes(path(kDayFiles.at(0))),
             ended + "ID:001#温度:22#电流:1#状态:在线#时间:2024-05-01 08:00:00#;\r\n");
}

// Older stations left profile.txt empty on a full disk; taken as 0 it would start the
// cycle again and later truncate days of this week.
void HistoryStoreTest::emptyCounterGoesOnFromTheDayFiles()
{
    // This week's Monday and part of Tuesday; the other days still hold last week's lines.
    const QByteArray thisWeek = "ID:001#温度:20#电流:1#状态:在线#时间:2024-05-01 07:00:00#;\r\n";
    const QByteArray lastWeek = "ID:001#温度:20#电流:1#状态:在线#时间:2024-04-26 07:00:00#;\r\n";
    for (int day = 0; day < 7; ++day) {
        const QByteArray line = day < 2 ? thisWeek : lastWeek;
        QVERIFY(writeFileBytes(path(kDayFiles.at(day)), line.repeated(day == 1 ? 300 : 1440)));
    }
    QVERIFY(writeFileBytes(path("profile.txt"), QByteArray()));
    DeviceReadings readings;
    readings.deviceTemperature[0] = 22.0f;
    HistoryStore(dir->path()).recordHistoryMinute(readings, at(8, 0));
    QCOMPARE(fileBytes(path("profile.txt")), QByteArray("1741\r\n"));
    QCOMPARE(fileBytes(path(kDayFiles.at(1))).count('\n'), 301);
    for (int day : {0, 2, 6})
        QCOMPARE(fileBytes(path(kDayFiles.at(day))).count('\n'), 1440);
}

QTEST_APPLESS_MAIN(HistoryStoreTest)
#include "tst_historystore.moc"
