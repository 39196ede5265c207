#include "history/historyrecord.h"

#include <QTest>

#include <limits>

namespace {

const QString kExampleRecord =
    QStringLiteral("ID:007#温度:23.5#电流:1.25#状态:在线#时间:2024-05-01 08:00:00#;");

QStringList exampleFields()
{
    return {QStringLiteral("ID:007"), QStringLiteral("温度:23.5"), QStringLiteral("电流:1.25"),
            QStringLiteral("状态:在线"), QStringLiteral("时间:2024-05-01 08:00:00")};
}

} // namespace

class HistoryRecordTest : public QObject
{
    Q_OBJECT

private slots:
    void numberFormat_data();
    void numberFormat();
    void exampleRecordWrittenAndReadBack();
    void separatorsInAStatusAreStoredReplaced();
    void malformedLines_data();
    void malformedLines();
    void shortIdFieldNeverGivesADeviceNumber();
};

void HistoryRecordTest::numberFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("23.5") << 23.5 << "23.5";
    QTest::newRow("1.25") << 1.25 << "1.25";
    QTest::newRow("one and a half million") << 1.5e6 << "1.5e+06";
    QTest::newRow("minus five") << -5.0 << "-5";
    QTest::newRow("23.4 held as a float") << double(23.4f) << "23.4";
    QTest::newRow("six significant digits") << 1234567.0 << "1.23457e+06";
    QTest::newRow("below 1e-4") << 0.00001 << "1e-05";
    QTest::newRow("1e-4 stays plain") << 0.0001 << "0.0001";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-inf";
}

void HistoryRecordTest::numberFormat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(HistoryRecord::number(value), text);
}

void HistoryRecordTest::exampleRecordWrittenAndReadBack()
{
    QCOMPARE(HistoryRecord::record(7, 23.5f, 1.25f, QStringLiteral("在线"),
                                   QStringLiteral("2024-05-01 08:00:00")),
             kExampleRecord);

    const QVector<QStringList> records = HistoryRecord::parse(kExampleRecord);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first(), exampleFields());
    QCOMPARE(HistoryRecord::deviceText(records.first()), QStringLiteral("007"));
    QCOMPARE(HistoryRecord::timeText(records.first()), QStringLiteral("2024-05-01 08:00:00"));
    QCOMPARE(HistoryRecord::displayText(records.first()),
             QStringLiteral("ID:007 温度:23.5 电流:1.25 状态:在线 时间:2024-05-01 08:00:00;"));
    QCOMPARE(HistoryRecord::fieldValue(records.first().at(4)), QStringLiteral("2024-05-01 08:00:00"));
    QCOMPARE(HistoryRecord::fieldValue(QStringLiteral("状态:a:b")), QStringLiteral("a:b"));
    QCOMPARE(HistoryRecord::fieldValue(QStringLiteral("untagged")), QStringLiteral("untagged"));
}

void HistoryRecordTest::separatorsInAStatusAreStoredReplaced()
{
    const QString status = QStringLiteral("A#1;b\r\nc") + QChar(0) + QStringLiteral("d");
    QCOMPARE(HistoryRecord::storedStatus(status), QStringLiteral("A＃1；b  c d"));

    const QString record = HistoryRecord::record(12, 30.0f, 2.0f, status,
                                                 QStringLiteral("2024-05-01 08:01:00"));
    const QVector<QStringList> records = HistoryRecord::parse(record);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first(),
             QStringList({QStringLiteral("ID:012"), QStringLiteral("温度:30"),
                          QStringLiteral("电流:2"), QStringLiteral("状态:A＃1；b  c d"),
                          QStringLiteral("时间:2024-05-01 08:01:00")}));
    QCOMPARE(HistoryRecord::fieldValue(records.first().at(3)), QStringLiteral("A＃1；b  c d"));
}

void HistoryRecordTest::malformedLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QVector<QStringList>>("records");

    QTest::newRow("empty") << QString() << QVector<QStringList>();
    QTest::newRow("no ;") << QStringLiteral("ID:007#温度:23.5#电流:1.25#状态:在线#")
                          << QVector<QStringList>();
    QTest::newRow("text after the last ;")
        << kExampleRecord + QStringLiteral("ID:008#温度:1#电流:")
        << QVector<QStringList>{exampleFields()};
    QTest::newRow("text between the last # and ;")
        << QStringLiteral("ID:007#温度:23.5#电流:1.25#状态:在线#时间:2024-05-01 08:00:00#junk;")
        << QVector<QStringList>{exampleFields()};
    // An older station stored a status with "#" in it as it was.
    QTest::newRow("old status with #")
        << QStringLiteral("ID:007#温度:23.5#电流:1.25#状态:A#B#C#时间:2024-05-01 08:00:00#;")
        << QVector<QStringList>{{QStringLiteral("ID:007"), QStringLiteral("温度:23.5"),
                                 QStringLiteral("电流:1.25"), QStringLiteral("状态:A#B#C"),
                                 QStringLiteral("时间:2024-05-01 08:00:00")}};
    QTest::newRow("only separators")
        << QStringLiteral("#######;;")
        << QVector<QStringList>{{QString(), QString(), QString(), QStringLiteral("##"), QString()},
                                QStringList()};
    QTest::newRow("too few fields") << QStringLiteral("ID:007#温度:23.5#;")
                                    << QVector<QStringList>{{QStringLiteral("ID:007"),
                                                             QStringLiteral("温度:23.5")}};
    QTest::newRow("NUL ends the line")
        << kExampleRecord + QChar(0) + kExampleRecord << QVector<QStringList>{exampleFields()};
    QTest::newRow("NUL inside a record")
        << QStringLiteral("ID:007#温度:2") + QChar(0) + QStringLiteral("3.5#;")
        << QVector<QStringList>();
}

void HistoryRecordTest::malformedLines()
{
    QFETCH(QString, line);
    QFETCH(QVector<QStringList>, records);
    QCOMPARE(HistoryRecord::parse(line), records);
}

void HistoryRecordTest::shortIdFieldNeverGivesADeviceNumber()
{
    const QVector<QStringList> records =
        HistoryRecord::parse(QStringLiteral("ID:7#温度:1#电流:2#状态:x#时间:2024-05-01 08:00:00#;"
                                            "#;"));
    QCOMPARE(records.size(), 2);
    const QChar nul(0);
    QCOMPARE(HistoryRecord::deviceText(records.at(0)), QString(QLatin1Char('7')) + nul + nul);
    QCOMPARE(HistoryRecord::deviceText(records.at(1)), QString(3, nul));
    QCOMPARE(HistoryRecord::deviceText(QStringList()), QString(3, nul));
    QCOMPARE(HistoryRecord::timeText(records.at(0)), QStringLiteral("2024-05-01 08:00:00"));
    QCOMPARE(HistoryRecord::timeText(records.at(1)), QString());
}

QTEST_APPLESS_MAIN(HistoryRecordTest)
#include "tst_historyrecord.moc"
