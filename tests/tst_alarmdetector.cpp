#include "monitor/alarmdetector.h"
#include "monitor/readingfreshness.h"

#include <QTest>
#include <cmath>

namespace {

struct Rig
{
    DeviceReadings readings;
    AlarmDetector::Limits upperTemperature, lowerTemperature, upperCurrent;
    AlarmDetector detector;

    Rig()
    {
        upperTemperature.fill(80.0f);
        lowerTemperature.fill(-40.0f);
        upperCurrent.fill(50.0f);
        readings.deviceTemperature.fill(25.0f);
        readings.deviceVoltage.fill(3300);
        readings.deviceCurrent.fill(1.0f);
    }

    // "row:text" for every event of one pass, in order, the link judged first.
    QStringList pass(AlarmDetector::LinkCondition link = AlarmDetector::LinkCondition::Unknown)
    {
        QStringList said;
        QVector<AlarmDetector::Event> events = detector.detectLink(link, 0, 0);
        events += detector.detect(readings, upperTemperature, lowerTemperature, upperCurrent);
        for (const AlarmDetector::Event &event : events)
            said << QString::number(event.row) + QLatin1Char(':') + AlarmDetector::eventText(event);
        return said;
    }

    AlarmFilterSettings filters;
    qint64 now = 0;

    // One pass a second after the last: "12s 0:4温度异常 since 2s", "17s 0:4温度恢复正常 at 80".
    QStringList second()
    {
        QStringList said;
        for (const AlarmDetector::Event &e : detector.detect(
                 readings, upperTemperature, lowerTemperature, upperCurrent, filters, now))
            said << QStringLiteral("%1s %2:%3 %4")
                        .arg(now / 1000)
                        .arg(e.row)
                        .arg(AlarmDetector::eventText(e),
                             e.recovery ? QStringLiteral("at %1").arg(double(e.limit))
                                        : QStringLiteral("since %1s").arg(e.beganMs / 1000));
        now += 1000;
        return said;
    }
};

} // namespace

class AlarmDetectorTest : public QObject
{
    Q_OBJECT

private slots:
    void limitsAreStrict_data();
    void limitsAreStrict();
    void aLastingConditionGivesOneAlarmAndOneRecovery();
    void rowsFollowDeviceThenKindOrder();
    void theNinehundredNinetyEighthAlarmWrapsToRowZero();
    void anAlarmOpenAtTheWrapIsEnteredAfresh();
    void clearingEntersPresentConditionsAgainFromRowZero();
    void unheardReadingsStandAndALostLinkIsAnAlarm();
    void aReadingLivesThroughOneMissedAnswer();
    void deadbandAndDelay_data();
    void deadbandAndDelay();
};

void AlarmDetectorTest::limitsAreStrict_data()
{
    QTest::addColumn<float>("temperature");
    QTest::addColumn<int>("voltage");
    QTest::addColumn<float>("current");
    QTest::addColumn<QStringList>("expected");
    const QStringList none;
    QTest::newRow("at upper temperature") << 80.0f << 3300 << 1.0f << none;
    QTest::newRow("at lower temperature") << -40.0f << 3300 << 1.0f << none;
    QTest::newRow("above upper temperature") << 80.1f << 3300 << 1.0f
                                             << QStringList{"0:3温度异常"};
    QTest::newRow("below lower temperature") << -40.1f << 3300 << 1.0f
                                             << QStringList{"0:3温度异常"};
    QTest::newRow("not a number") << float(NAN) << 3300 << float(NAN) << none;
    QTest::newRow("2199 mV") << 25.0f << 2199 << 1.0f << QStringList{"0:3电压欠压"};
    QTest::newRow("negative mV") << 25.0f << -5 << 1.0f << QStringList{"0:3电压欠压"};
    QTest::newRow("2200 mV") << 25.0f << 2200 << 1.0f << none;
    QTest::newRow("no voltage reading") << 25.0f << 0 << 1.0f << none;
    QTest::newRow("at current limit") << 25.0f << 3300 << 50.0f << none;
    QTest::newRow("above current limit") << 25.0f << 3300 << 50.01f << QStringList{"0:3电流超限"};
}

void AlarmDetectorTest::limitsAreStrict()
{
    QFETCH(float, temperature);
    QFETCH(int, voltage);
    QFETCH(float, current);
    QFETCH(QStringList, expected);
    Rig rig;
    rig.readings.deviceTemperature[2] = temperature;
    rig.readings.deviceVoltage[2] = voltage;
    rig.readings.deviceCurrent[2] = current;
    QCOMPARE(rig.pass(), expected);
}

void AlarmDetectorTest::aLastingConditionGivesOneAlarmAndOneRecovery()
{
    Rig rig;
    rig.readings.deviceTemperature[4] = 95.0f;
    QCOMPARE(rig.pass(), QStringList{"0:5温度异常"});
    QVERIFY(rig.detector.isOpen(AlarmDetector::Temperature, 5));
    QVERIFY(rig.detector.anyOpen());
    QCOMPARE(rig.pass(), QStringList());
    rig.readings.deviceTemperature[4] = 30.0f;
    QCOMPARE(rig.pass(), QStringList{"0:5温度恢复正常"});
    QVERIFY(!rig.detector.anyOpen());
    // A voltage that falls from normal to no reading raises nothing.
    rig.readings.deviceVoltage[4] = 2300;
    rig.pass();
    rig.readings.deviceVoltage[4] = 0;
    QCOMPARE(rig.pass(), QStringList());
}

void AlarmDetectorTest::rowsFollowDeviceThenKindOrder()
{
    Rig rig;
    rig.readings.deviceCurrent[199] = 60.0f;
    rig.readings.deviceTemperature[6] = 90.0f;
    rig.readings.deviceVoltage[6] = 2000;
    rig.readings.deviceCurrent[6] = 51.0f;
    QCOMPARE(rig.pass(), (QStringList{"0:7温度异常", "1:7电压欠压", "2:7电流超限", "3:200电流超限"}));
    rig.readings.deviceVoltage[6] = 3000;
    rig.readings.deviceCurrent[199] = 10.0f;
    QCOMPARE(rig.pass(), (QStringList{"1:7电压恢复正常", "3:200电流恢复正常"}));
}

void AlarmDetectorTest::theNinehundredNinetyEighthAlarmWrapsToRowZero()
{
    Rig rig;
    // Device 1 toggles: one alarm per two passes.
    QString last;
    for (int alarm = 1; alarm <= 998; ++alarm) {
        rig.readings.deviceTemperature[0] = 99.0f;
        const QStringList raised = rig.pass();
        QCOMPARE(raised.size(), 1);
        last = raised.first();
        if (alarm == 997)
            QCOMPARE(last, QStringLiteral("996:1温度异常"));
        rig.readings.deviceTemperature[0] = 20.0f;
        QCOMPARE(rig.pass().size(), 1);
    }
    QCOMPARE(last, QStringLiteral("0:1温度异常"));
}

void AlarmDetectorTest::anAlarmOpenAtTheWrapIsEnteredAfresh()
{
    Rig rig;
    rig.readings.deviceVoltage[1] = 1000; // device 2 stays under-voltage throughout
    QCOMPARE(rig.pass(), QStringList{"0:2电压欠压"});
    // A joint rule's alarm takes the next row; the wrap names it as forgotten.
    AlarmDetector::Event rule{false, 1000, AlarmDetector::PhaseDifference, 0, 20, 15, 0};
    rule.level = AlarmDetector::Warning;
    rule.group.name = QStringLiteral("1号柜");
    QVector<AlarmDetector::Event> entered;
    rig.detector.enterRule(rule, entered);
    QCOMPARE(entered.size(), 1);
    QCOMPARE(QString::number(entered[0].row) + ':' + AlarmDetector::eventText(entered[0]),
             QStringLiteral("1:1号柜相间温差预警"));
    for (int alarm = 3; alarm <= 997; ++alarm) {
        rig.readings.deviceTemperature[0] = 99.0f;
        rig.pass();
        rig.readings.deviceTemperature[0] = 20.0f;
        rig.pass();
    }
    // The wrap reuses row 0, where device 2's alarm stood.
    QVERIFY(rig.detector.takeForgottenRuleCodes().isEmpty());
    rig.readings.deviceTemperature[0] = 99.0f;
    QCOMPARE(rig.pass(), (QStringList{"0:1温度异常", "1:2电压欠压"}));
    QCOMPARE(rig.detector.takeForgottenRuleCodes(), QSet<int>{1000});
    // Its recovery, the alarm forgotten, is no event.
    rule.recovery = true;
    rig.detector.enterRule(rule, entered);
    QCOMPARE(entered.size(), 1);
    // And it recovers into its new row.
    rig.readings.deviceVoltage[1] = 3300;
    QCOMPARE(rig.pass(), QStringList{"1:2电压恢复正常"});
}

void AlarmDetectorTest::clearingEntersPresentConditionsAgainFromRowZero()
{
    Rig rig;
    rig.readings.deviceTemperature[9] = 99.0f;
    rig.readings.deviceCurrent[19] = 70.0f;
    QCOMPARE(rig.pass(), (QStringList{"0:10温度异常", "1:20电流超限"}));
    rig.readings.deviceCurrent[19] = 7.0f;
    rig.detector.clear();
    rig.detector.clear();
    QVERIFY(!rig.detector.anyOpen());
    // Device 20 recovered meanwhile: no recovery entry, nothing open.
    QCOMPARE(rig.pass(), QStringList{"0:10温度异常"});
    // The recovery goes to the row the alarm was entered again in, not to one from before.
    rig.readings.deviceTemperature[9] = 20.0f;
    QCOMPARE(rig.pass(), QStringList{"0:10温度恢复正常"});
}

void AlarmDetectorTest::unheardReadingsStandAndALostLinkIsAnAlarm()
{
    using Link = AlarmDetector::LinkCondition;
    const quint8 allStale = 0x0F;
    Rig rig;
    rig.readings.deviceTemperature[4] = 95.0f;
    QCOMPARE(rig.pass(Link::Up), QStringList{"0:5温度异常"});
    // Gone quiet: whatever the panels read now, nothing is judged.
    rig.readings.staleQuantities.fill(allStale);
    rig.readings.deviceTemperature[4] = 0.0f;
    QCOMPARE(rig.pass(Link::Down), QStringList{"1:集中器通讯中断"});
    QCOMPARE(rig.pass(Link::Down), QStringList());
    // The operator's own close neither raises nor ends it.
    QCOMPARE(rig.pass(Link::Unknown), QStringList());
    QVERIFY(rig.detector.isOpen(AlarmDetector::Link, 0));
    rig.readings.staleQuantities.fill(0);
    rig.readings.deviceTemperature[4] = 95.0f;
    QCOMPARE(rig.pass(Link::Up), QStringList{"1:集中器通讯恢复"});
    // One block unheard: the rest of the device is still judged.
    rig.readings.staleQuantities[4] = 1u << int(PanelQuantity::Temperature);
    rig.readings.deviceTemperature[4] = 0.0f;
    rig.readings.deviceCurrent[4] = 60.0f;
    QCOMPARE(rig.pass(Link::Up), QStringList{"2:5电流超限"});
    // Cleared while down: entered again, and its recovery finds that row.
    QCOMPARE(rig.pass(Link::Down), QStringList{"3:集中器通讯中断"});
    rig.detector.clear();
    QCOMPARE(rig.pass(Link::Down), (QStringList{"0:集中器通讯中断", "1:5电流超限"}));
    QCOMPARE(rig.pass(Link::Up), QStringList{"0:集中器通讯恢复"});
}

void AlarmDetectorTest::aReadingLivesThroughOneMissedAnswer()
{
    ReadingFreshness fresh;
    QVERIFY(!fresh.isFresh(PanelQuantity::Voltage, 1));
    fresh.answered(PanelQuantity::Voltage, 101);
    QVERIFY(fresh.isFresh(PanelQuantity::Voltage, 101) && fresh.isFresh(PanelQuantity::Voltage, 200));
    QVERIFY(!fresh.isFresh(PanelQuantity::Voltage, 100));
    QVERIFY(!fresh.isFresh(PanelQuantity::Temperature, 150));
    fresh.missed(PanelQuantity::Voltage, 101);
    QVERIFY(fresh.isFresh(PanelQuantity::Voltage, 150));
    fresh.missed(PanelQuantity::Voltage, 101);
    QVERIFY(!fresh.isFresh(PanelQuantity::Voltage, 150));
    // Typed by the operator: fresh until it too has missed two answers.
    fresh.typed(PanelQuantity::Voltage, 150);
    fresh.missed(PanelQuantity::Voltage, 101);
    QVERIFY(fresh.isFresh(PanelQuantity::Voltage, 150) && !fresh.isFresh(PanelQuantity::Voltage, 151));
    fresh.missed(PanelQuantity::Voltage, 101);
    QVERIFY(!fresh.isFresh(PanelQuantity::Voltage, 150));
    // Per device, a bit for each quantity not fresh: status is bit 3.
    for (PanelQuantity quantity : {PanelQuantity::Voltage, PanelQuantity::Temperature,
                                   PanelQuantity::Current})
        fresh.answered(quantity, 1);
    DeviceReadings readings;
    fresh.mark(readings);
    QCOMPARE(readings.staleQuantities[0], quint8(0x08));
    fresh.answered(PanelQuantity::Status, 1);
    fresh.mark(readings);
    QCOMPARE(readings.staleQuantities[0], quint8(0));
    QCOMPARE(readings.staleQuantities[100], quint8(0x0F));
}

void AlarmDetectorTest::deadbandAndDelay_data()
{
    // Device 4, a second each: its temperature, or its current after an i; v*n for n seconds of
    // v; c clears the table. 25 °C, 3300 mV and 1 A unless said.
    QTest::addColumn<float>("deadband");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("chattering") << 0.0f << 0 << "80.1 79.9 80.1 79.9"
                                << QStringList{
                                       "0s 0:4温度异常 since 0s", "1s 0:4温度恢复正常 at 80",
                                       "2s 1:4温度异常 since 2s", "3s 1:4温度恢复正常 at 80"};
    QTest::newRow("deadband over")
        << 0.5f << 0 << "80.1 79.9 80.1 79.9 79.6 79.5"
        << QStringList{"0s 0:4温度异常 since 0s", "5s 0:4温度恢复正常 at 79.5"};
    QTest::newRow("deadband under")
        << 0.5f << 0 << "-40.1 -39.9 -40.1 -39.6 -39.5"
        << QStringList{"0s 0:4温度异常 since 0s", "4s 0:4温度恢复正常 at -39.5"};
    QTest::newRow("deadband current")
        << 2.0f << 0 << "i49 i50.5 i49 i50.5 i48.1 i48"
        << QStringList{"1s 0:4电流超限 since 1s", "5s 0:4电流恢复正常 at 48"};
    QTest::newRow("negative deadband")
        << -1.0f << 0 << "i50.5 i50.8 i50"
        << QStringList{"0s 0:4电流超限 since 0s", "2s 0:4电流恢复正常 at 50"};
    QTest::newRow("5 s spike") << 0.0f << 10 << "25*2 90*5 25" << QStringList();
    QTest::newRow("broken") << 0.0f << 10 << "90*8 25 90*8" << QStringList();
    QTest::newRow("15 s spike") << 0.0f << 10 << "25*2 90*15 25"
                                << QStringList{"12s 0:4温度异常 since 2s",
                                               "17s 0:4温度恢复正常 at 80"};
    QTest::newRow("current 12 s") << 0.0f << 10 << "i60*12"
                                  << QStringList{"10s 0:4电流超限 since 0s"};
    QTest::newRow("cleared waiting") << 0.0f << 10 << "90*8 c c 90*5" << QStringList();
    // It has held longer than the delay already: entered again at once.
    QTest::newRow("cleared open") << 0.0f << 10 << "90*11 c c 90"
                                  << QStringList{"10s 0:4温度异常 since 0s",
                                                 "11s 0:4温度异常 since 0s"};
}

void AlarmDetectorTest::deadbandAndDelay()
{
    QFETCH(float, deadband);
    QFETCH(QString, seconds);
    Rig rig;
    rig.filters.temperatureDeadband[3] = rig.filters.currentDeadband[3] = deadband;
    QFETCH(int, delay);
    rig.filters.delaySeconds[3] = delay;
    QStringList said;
    for (const QString &step : seconds.split(QLatin1Char(' '))) {
        if (step == QLatin1String("c")) {
            rig.detector.clear();
            continue;
        }
        const bool current = step.startsWith(QLatin1Char('i'));
        const QStringList valueTimes = step.mid(current ? 1 : 0).split(QLatin1Char('*'));
        for (int n = valueTimes.value(1, QStringLiteral("1")).toInt(); n > 0; --n) {
            rig.readings.deviceTemperature[3] = current ? 25.0f : valueTimes[0].toFloat();
            rig.readings.deviceCurrent[3] = current ? valueTimes[0].toFloat() : 1.0f;
            said += rig.second();
        }
    }
    QTEST(said, "expected");
}

QTEST_APPLESS_MAIN(AlarmDetectorTest)
#include "tst_alarmdetector.moc"
