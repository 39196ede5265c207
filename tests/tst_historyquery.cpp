#include "history/historycsv.h"
#include "history/historyquery.h"
#include "history/historyrecord.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char *const kFiles[7] = {"History_Monday_value.txt",    "History_Tuesday_value.txt",
                               "History_Wednesday_value.txt", "History_Thursday_value.txt",
                               "History_Friday_value.txt",    "History_Saturday_value.txt",
                               "History_Sunday_value.txt"};

QByteArray rec(const char *device, const char *stamp, const char *status = "在线")
{
    return QByteArray("ID:") + device + "#温度:23.5#电流:1.25#状态:" + status + "#时间:" + stamp +
           "#;";
}

void put(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

HistoryQuery::Result query(const QTemporaryDir &dir, const QString &id, const char *head,
                           const char *tail, QVector<int> *progress = nullptr)
{
    return HistoryQuery::run(dir.path(), id, QString::fromLatin1(head), QString::fromLatin1(tail),
                             [progress](int value) {
                                 if (progress)
                                     progress->append(value);
                             });
}

void compareBothPaths(const QByteArray &bytes, const char *head, const char *tail)
{
    const QString h = QString::fromLatin1(head), t = QString::fromLatin1(tail);
    for (const char *device : {"007", "-07", "0071"}) {
        HistoryQuery::Result fast, plain;
        HistoryQuery::matchBytes(bytes, QString::fromLatin1(device), h, t, &fast);
        HistoryQuery::matchLines(bytes, QString::fromLatin1(device), h, t, &plain);
        QCOMPARE(fast.displayTexts, plain.displayTexts);
        QCOMPARE(fast.fieldValues, plain.fieldValues);
        QCOMPARE(fast.dropped, plain.dropped);
    }
}

// scanBytes against the plain line parse of each wanted device, record for record.
void compareScan(const QByteArray &bytes, const QVector<int> &devices, const QString &head,
                 const QString &tail)
{
    QMap<int, QStringList> scanned;
    HistoryQuery::scanBytes(bytes, devices, head, tail, [&](int device, const QStringList &fields) {
        scanned[device].append(HistoryRecord::displayText(fields));
    });
    for (int device = 1; device <= 200; ++device) {
        if (!devices.isEmpty() && !devices.contains(device))
            continue;
        HistoryQuery::Result plain;
        HistoryQuery::matchLines(bytes, QString::asprintf("%03d", device), head, tail, &plain);
        QCOMPARE(scanned.take(device), plain.displayTexts);
    }
    QCOMPARE(scanned.keys(), QList<int>());
}

} // namespace

class HistoryQueryTest : public QObject
{
    Q_OBJECT

private slots:
    void aCounterALineBehindStillReadsInTimeOrder_data();
    void aCounterALineBehindStillReadsInTimeOrder();
    void deviceNumberAndRange();
    void filesOldestFirst_data();
    void filesOldestFirst();
    void listHoldsAtMost10080();
    void missingFilesAndProgress();
    void hostileLines_data();
    void hostileLines();
    void fastPathAgreesOnRandomFiles();
    void scanAgreesOnRandomFiles();
    void scanOfSeveralDevices();
    void csvExport();
};

void HistoryQueryTest::deviceNumberAndRange()
{
    QTemporaryDir dir;
    put(dir, kFiles[1],
        rec("007", "2024-05-01 07:59:59") + rec("070", "2024-05-01 08:00:00") + "\r\n" +
            rec("700", "2024-05-01 08:00:00") + rec("007", "2024-05-01 08:00:00") + "\r\n" +
            rec("007", "2024-05-01 08:01:00") + rec("017", "2024-05-01 08:01:00") + "\r\n" +
            rec("007", "2024-05-01 08:01:01") + "\r\n");
    const char *head = "2024-05-01 08:00:00", *tail = "2024-05-01 08:01:00";
    const QStringList expected = {
        QStringLiteral("ID:007 温度:23.5 电流:1.25 状态:在线 时间:2024-05-01 08:00:00;"),
        QStringLiteral("ID:007 温度:23.5 电流:1.25 状态:在线 时间:2024-05-01 08:01:00;")};
    for (const char *id : {"7", "07", "007"}) {
        const HistoryQuery::Result result = query(dir, QString::fromLatin1(id), head, tail);
        QCOMPARE(result.displayTexts, expected);
        QCOMPARE(
            result.fieldValues.value(0),
            QStringList({"007", "23.5", "1.25", QStringLiteral("在线"), "2024-05-01 08:00:00"}));
        QVERIFY(!result.dropped);
    }
    QCOMPARE(HistoryQuery::deviceText(QStringLiteral("abc")), QStringLiteral("000"));
    QVERIFY(query(dir, QStringLiteral("abc"), head, tail).displayTexts.isEmpty());
    QCOMPARE(query(dir, QStringLiteral("7"), head, head).displayTexts, expected.mid(0, 1));
    QVERIFY(query(dir, QStringLiteral("7"), tail, head).displayTexts.isEmpty());
}

void HistoryQueryTest::filesOldestFirst_data()
{
    // Each day file holds one record of device 7 whose status names the day.
    QTest::addColumn<QByteArray>("counter");
    QTest::addColumn<QString>("days");
    QTest::newRow("Monday being filled")
        << QByteArray("100\r\n") << QStringLiteral("二三四五六日一");
    QTest::newRow("Thursday being filled")
        << QByteArray("5000\n") << QStringLiteral("五六日一二三四");
    QTest::newRow("first Tuesday slot") << QByteArray("1440\n") << QStringLiteral("三四五六日一二");
    QTest::newRow("cycle complete") << QByteArray("10080\n") << QStringLiteral("一二三四五六日");
    QTest::newRow("last line wins")
        << QByteArray("7200\n3000\n") << QStringLiteral("四五六日一二三");
    QTest::newRow("no counter file") << QByteArray() << QStringLiteral("二三四五六日一");
}

void HistoryQueryTest::filesOldestFirst()
{
    QFETCH(QByteArray, counter);
    QFETCH(QString, days);
    QTemporaryDir dir;
    const char *names[7] = {"一", "二", "三", "四", "五", "六", "日"};
    for (int day = 0; day < 7; ++day)
        put(dir, kFiles[day], rec("007", "2024-05-01 08:00:00", names[day]) + "\r\n");
    if (!counter.isEmpty())
        put(dir, QStringLiteral("profile.txt"), counter);
    QString listed;
    for (const QStringList &values :
         query(dir, "7", "2024-05-01 08:00:00", "2024-05-01 08:00:00").fieldValues)
        listed += values.value(3);
    QCOMPARE(listed, days);
}

void HistoryQueryTest::aCounterALineBehindStillReadsInTimeOrder_data()
{
    // Killed after the tick that filled a day's last slot (and began the next day, or the
    // cycle again on Monday) wrote its lines, before it stored the count.
    QTest::addColumn<QByteArray>("counter");
    QTest::addColumn<QStringList>("files"); // day number, the stamp's day of May
    QTest::addColumn<QString>("days");
    QTest::newRow("Monday full, Tuesday begun")
        << QByteArray("1439\r\n") << QStringList{"2:01", "0:08", "1:08"} << QStringLiteral("三一二");
    QTest::newRow("cycle full, Monday begun again")
        << QByteArray("10080\r\n") << QStringList{"5:01", "6:07", "0:08"} << QStringLiteral("六日一");
    QTest::newRow("Monday full, Tuesday a week old")
        << QByteArray("1439\r\n") << QStringList{"1:01", "0:08"} << QStringLiteral("二一");
}

void HistoryQueryTest::aCounterALineBehindStillReadsInTimeOrder()
{
    QFETCH(QByteArray, counter);
    QFETCH(QStringList, files);
    QFETCH(QString, days);
    QTemporaryDir dir;
    const char *names[7] = {"一", "二", "三", "四", "五", "六", "日"};
    for (const QString &file : files) {
        const int day = file.left(1).toInt();
        const QByteArray stamp = "2024-05-" + file.mid(2).toLatin1() + " 08:00:00";
        put(dir, kFiles[day], rec("007", stamp.constData(), names[day]) + "\r\n");
    }
    put(dir, QStringLiteral("profile.txt"), counter);
    QString listed;
    for (const QStringList &values : query(dir, "7", "2024-05-01 00:00:00", "2024-05-31 00:00:00").fieldValues)
        listed += values.value(3);
    QCOMPARE(listed, days);
}

void HistoryQueryTest::listHoldsAtMost10080()
{
    QTemporaryDir dir;
    QByteArray monday, tuesday;
    for (int k = 0; k < 6000; ++k) {
        monday += rec("007", "2024-05-01 08:00:00", "一") + "\r\n";
        tuesday += rec("007", "2024-05-01 08:00:00", "二") + "\r\n";
    }
    put(dir, kFiles[1], tuesday);
    put(dir, QStringLiteral("profile.txt"), "9000\n"); // Monday, then Tuesday
    HistoryQuery::Result result = query(dir, "7", "2024-05-01 08:00:00", "2024-05-01 08:00:00");
    QCOMPARE(result.displayTexts.size(), 6000);
    QVERIFY(!result.dropped);

    put(dir, kFiles[0], monday.left(monday.size() / 6000 * 4080));
    result = query(dir, "7", "2024-05-01 08:00:00", "2024-05-01 08:00:00");
    QCOMPARE(result.displayTexts.size(), 10080);
    QVERIFY(!result.dropped);

    QVector<int> progress;
    put(dir, kFiles[0], monday);
    result = query(dir, "7", "2024-05-01 08:00:00", "2024-05-01 08:00:00", &progress);
    QCOMPARE(result.displayTexts.size(), 10080);
    QCOMPARE(result.fieldValues.size(), 10080);
    QVERIFY(result.dropped);
    QCOMPARE(result.fieldValues.at(5999).value(3), QStringLiteral("一"));
    QCOMPARE(result.fieldValues.at(6000).value(3), QStringLiteral("二"));
    QCOMPARE(progress.last(), 10079);

    // A full list takes nothing more, by either path.
    HistoryQuery::matchBytes(tuesday, "007", "", "9", &result);
    HistoryQuery::matchLines(tuesday, "007", "", "9", &result);
    QCOMPARE(result.displayTexts.size(), 10080);
}

void HistoryQueryTest::missingFilesAndProgress()
{
    QTemporaryDir dir;
    put(dir, kFiles[2], rec("007", "2024-05-01 08:00:00", "三") + "\n");
    put(dir, kFiles[4], rec("007", "2024-05-01 08:00:00", "五") + "\n");
    MessageCapture log;
    QVector<int> progress;
    const HistoryQuery::Result result =
        query(dir, "7", "2024-05-01 00:00:00", "2024-05-01 23:59:59", &progress);
    QCOMPARE(result.fieldValues.size(), 2);
    QCOMPARE(result.fieldValues.at(0).value(3), QStringLiteral("三"));
    for (const char *day : {"一", "二", "四", "六", "天"})
        QVERIFY2(log.contains(QStringLiteral("读取星期%1文件失败").arg(QString::fromUtf8(day))),
                 day);
    QVERIFY(!log.contains(QStringLiteral("读取星期三文件失败")));

    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), 10079);
    for (int k = 1; k < progress.size(); ++k)
        QVERIFY(progress.at(k - 1) < progress.at(k));
}

void HistoryQueryTest::hostileLines_data()
{
    const QByteArray ok = rec("007", "2024-05-01 08:00:00");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("listed");
    QTest::newRow("CR LF") << ok + ok + "\r\n" + ok + "\r\n" << 3;
    QTest::newRow("LF, last line unended") << ok + "\n" + ok + ok << 3;
    QTest::newRow("short ID fields")
        << QByteArray("ID:07#温度:1#电流:2#状态:x#时间:2024-05-01 "
                      "08:00:00#;ID:7#a#b#c#时间:2024-05-01 08:00:00#;ID:#;;")
        << 0;
    QTest::newRow("ID:007 inside a record")
        << QByteArray("ID:001#温度:1#电流:1#状态:ID:007#时间:2024-05-01 08:00:00#;") + "x;ID:007#"
        << 0;
    QTest::newRow("more than five fields")
        << QByteArray("ID:007#温度:1#电流:2#状态:a#b#c#时间:2024-05-01 08:00:00#;") << 1;
    QTest::newRow("text after the last ;") << ok + ok.left(ok.size() - 2) + "\r\n" << 1;
    QTest::newRow("NUL ends its line only") << ok + QByteArray("\0", 1) + ok + "\r\n" + ok << 2;
    QTest::newRow("Chinese status") << rec("007", "2024-05-01 08:00:00", "离线") + "\n" << 1;
    QTest::newRow("other tags") << QByteArray("XY:007#a#b#c#时间:2024-05-01 08:00:00#;") << 1;
    QTest::newRow("lone CR before a record") << ok + "\r" + ok << 1;
    QTest::newRow("broken UTF-8 before ;")
        << QByteArray("ID:007#\xE6\xB8#b#\xE5#时间:2024-05-01 08:00:00#\xE6;\xE6\x97") + ok << 1;
    QTest::newRow("multi-byte first characters")
        << QByteArray(
               "状态007#a#b#c#时间:2024-05-01 08:00:00#;状态:007#a#b#c#时间:2024-05-01 08:00:00#;")
        << 1;
}

void HistoryQueryTest::hostileLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, listed);
    HistoryQuery::Result result;
    HistoryQuery::matchBytes(bytes, "007", "2024-05-01 08:00:00", "2024-05-01 08:00:00", &result);
    QCOMPARE(result.displayTexts.size(), listed);
    compareBothPaths(bytes, "2024-05-01 08:00:00", "2024-05-01 08:00:00");
}

void HistoryQueryTest::fastPathAgreesOnRandomFiles()
{
    const QList<QByteArray> pieces = {"ID:007#",
                                      "ID:007#",
                                      "ID:07#",
                                      "ID:0071#",
                                      "ID:-07#",
                                      "XY:007#",
                                      "ID:001#",
                                      "状态007#",
                                      "状态:007#",
                                      "温度:23.5#",
                                      "电流:1.25#",
                                      "状态:在线#",
                                      "状态:离线#",
                                      "时间:2024-05-01 08:00:00#",
                                      "时间:2024-05-01 08:00:01#",
                                      "时间:2024-05-01#",
                                      "#",
                                      ";",
                                      "#;",
                                      "#;",
                                      "\r\n",
                                      "\n",
                                      "\r",
                                      QByteArray("\0", 1),
                                      "\xE6",
                                      "\xE5\x9C",
                                      "ID:",
                                      "007",
                                      "x"};
    QRandomGenerator random(20240501);
    for (int file = 0; file < 400; ++file) {
        QByteArray bytes;
        const int count = random.bounded(1, 120);
        for (int k = 0; k < count; ++k)
            bytes += pieces.at(random.bounded(pieces.size()));
        compareBothPaths(bytes, "2024-05-01 00:00:00", "2024-05-01 08:00:00");
        compareBothPaths(bytes, "", "9");
    }
}

void HistoryQueryTest::scanAgreesOnRandomFiles()
{
    // Records of 0..7 fields: devices at the ends of 1..200, stamps and near misses, strays.
    const QList<QByteArray> fields = {
        "ID:007#", "ID:001#", "ID:150#", "ID:200#", "ID:201#", "ID:000#", "ID:-07#", "ID:0071#",
        "状态:在线#", "温度:23.5#", "#", "时间:2024-05-01 08:00:00#", "时间:2024-05-01 07:59:59#",
        "时间:2024-05-01 08:00:01#", "时间:2024-04-30 23:00:00#", "时间:2024-05-01#",
        "时间:2024-05-01 08:00:00 #", "时间:2024-05-01\xE6" "08:00:00#", "间:2024-05-01 09:00:00#",
        "\xE5#时间:2024-05-01 06:00:00#", "时间:2024-05-01 09:00:00", "时间:9#xyz2024-05-01 08:#",
        "时间:2024-05-01 08:00:00时间:2024-05-01 23:00:00#", "时间:2024-05-01 0Z:00:00#",
        "时间:2024-05-01 23:00:00x"};
    const QList<QByteArray> strays = {"\r\n", "\n",  "\r", "\xE6", "\xE5\x9C",
                                      "ID:",  "007", "x",  "#;"};
    const QVector<QPair<QString, QString>> ranges = {
        {"2024-05-01 00:00:00", "2024-05-01 08:00:00"},
        {"", "2024-05-01 07:59:59"},
        {"2024-05-01 08:00:00", "2024-05-01 08:00:00"},
        {"2024-05-01 08", "2024-05-01 08:00:00 "},
        {"2024-05-01 07:00:00", QStringLiteral("2024-05-01 08:00:00时")},
        {"2024-05-01 00:00:00", QStringLiteral("2024-05-01 0时")}};
    QRandomGenerator random(20240502);
    for (int file = 0; file < 150; ++file) {
        QByteArray bytes;
        for (int record = random.bounded(1, 40); record > 0; --record) {
            for (int k = random.bounded(8); k > 0; --k) {
                bytes += fields.at(random.bounded(fields.size()));
                if (random.bounded(10) == 0)
                    bytes += strays.at(random.bounded(strays.size()));
            }
            bytes += random.bounded(4) == 0 ? "#;\r\n" : ";";
        }
        if (file % 10 == 0)
            bytes.insert(random.bounded(bytes.size()), '\0');
        for (const auto &range : ranges) {
            compareScan(bytes, {7}, range.first, range.second);
            compareScan(bytes, {200, 1, 150, 7, 0, 201}, range.first, range.second);
            if (file % 5 == 0)
                compareScan(bytes, {}, range.first, range.second);
        }
    }
}

void HistoryQueryTest::scanOfSeveralDevices()
{
    QTemporaryDir dir;
    put(dir, QStringLiteral("profile.txt"), "5000\n"); // Thursday being filled: Friday first
    put(dir, kFiles[0],
        rec("003", "2024-05-06 10:00:00") + rec("007", "2024-05-06 10:00:00") +
            rec("150", "2024-05-06 10:00:00") + "\r\n");
    put(dir, kFiles[3], rec("003", "2024-05-08 00:00:01") + "\r\n");
    put(dir, kFiles[4],
        rec("003", "2024-05-03 09:59:59") + rec("150", "2024-05-03 10:00:00") + "\r\n");
    QStringList seen;
    auto sink = [&seen](int device, const QStringList &fields) {
        seen << QString::number(device) + QLatin1Char(' ') + HistoryRecord::timeText(fields);
    };
    const QString head = QStringLiteral("2024-05-03 10:00:00"),
                  tail = QStringLiteral("2024-05-08 00:00:00");
    QVERIFY(HistoryQuery::scan(dir.path(), {3, 150}, head, tail, sink));
    QCOMPARE(seen, QStringList({"150 2024-05-03 10:00:00", "3 2024-05-06 10:00:00",
                                "150 2024-05-06 10:00:00"}));
    seen.clear();
    QVERIFY(HistoryQuery::scan(dir.path(), {}, head, tail, sink));
    QCOMPARE(seen, QStringList({"150 2024-05-03 10:00:00", "3 2024-05-06 10:00:00",
                                "7 2024-05-06 10:00:00", "150 2024-05-06 10:00:00"}));

    // Asked to stop after the first stretch (here the whole Friday file), the pass ends there.
    seen.clear();
    QVERIFY(!HistoryQuery::scan(dir.path(), {3, 150}, head, tail, sink, [] { return true; }));
    QCOMPARE(seen, QStringList({"150 2024-05-03 10:00:00"}));

    // Several stretches: every line once, one longer than a stretch, a stop within a file.
    QByteArray saturday;
    for (int k = 0; k < 40000; ++k)
        saturday += rec("009", "2024-05-04 00:00:00") + "\r\n";
    for (int k = 0; k < 20000; ++k)
        saturday += rec("009", "2024-05-04 00:00:01");
    saturday += "\r\n" + rec("009", "2024-05-04 00:00:02");
    put(dir, kFiles[5], saturday);
    seen.clear();
    QVERIFY(HistoryQuery::scan(dir.path(), {9}, head, tail, sink));
    QCOMPARE(seen.size(), 60001);
    QCOMPARE(seen.last(), QStringLiteral("9 2024-05-04 00:00:02"));
    seen.clear();
    int asked = 0;
    QVERIFY(!HistoryQuery::scan(dir.path(), {9}, head, tail, sink, [&] { return ++asked == 3; }));
    QVERIFY2(seen.size() > 0 && seen.size() < 40000, qPrintable(QString::number(seen.size())));
}

void HistoryQueryTest::csvExport()
{
    const QVector<QStringList> rows = {
        {"007", "23.5", "1.25", QStringLiteral("在线"), "2024-05-01 08:00:00"},
        {"007", "-5", "1.5e+06", "a,\"b\"", "2024-05-01 08:01:00"},
        {"007", "nan", "inf", "x\r\ny", "2024-05-01 08:02:00"}};
    const QByteArray expected = "\xEF\xBB\xBF"
                                "设备号,温度,电流,状态,时间\r\n"
                                "007,23.5,1.25,在线,2024-05-01 08:00:00\r\n"
                                "007,-5,1.5e+06,\"a,\"\"b\"\"\",2024-05-01 08:01:00\r\n"
                                "007,nan,inf,\"x\r\ny\",2024-05-01 08:02:00\r\n";
    QCOMPARE(HistoryCsv::document(rows), expected);
    QCOMPARE(HistoryCsv::fileName("007", QDateTime(QDate(2024, 5, 1), QTime(8, 0, 9))),
             QStringLiteral("history-007-20240501-080009.csv"));

    QTemporaryDir dir;
    QString error;
    QVERIFY2(HistoryCsv::write(dir.filePath("out.csv"), rows, &error), qPrintable(error));
    QFile written(dir.filePath("out.csv"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), expected);
    QVERIFY(!HistoryCsv::write(dir.filePath("missing/out.csv"), rows, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList({"out.csv"}));
}

QTEST_APPLESS_MAIN(HistoryQueryTest)
#include "tst_historyquery.moc"
