#include "monitor/pollingcycle.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class PollingCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void stepTableCoversEveryBlockOnce();
    void eightRequestsInOrderWithTheirWindows();
    void aRunningCycleIsNotRestarted();
    void stepsAreSpacedByTheInterval();
    void addressIsTakenAtTheStartOfEachCycle();
};

void PollingCycleTest::stepTableCoversEveryBlockOnce()
{
    const auto &steps = PollingCycle::steps();
    QList<int> starts;
    for (const auto &step : steps) {
        QVERIFY(step.firstDevice == 1 || step.firstDevice == 101);
        starts << step.startRegister;
    }
    // Status, voltage, temperature, current blocks of 100 devices each, from 30001.
    std::sort(starts.begin(), starts.end());
    for (int i = 0; i < starts.size(); ++i)
        QCOMPARE(starts[i], 30001 + 100 * i);
    QCOMPARE(steps[0].quantity, PanelQuantity::Voltage);
    QCOMPARE(steps[1].quantity, PanelQuantity::Temperature);
    QCOMPARE(steps[2].quantity, PanelQuantity::Current);
    QCOMPARE(steps[3].quantity, PanelQuantity::Status);
    QCOMPARE(steps[7].quantity, PanelQuantity::Status);
    QCOMPARE(steps[7].firstDevice, 101);
}

void PollingCycleTest::eightRequestsInOrderWithTheirWindows()
{
    PollingCycle cycle;
    cycle.setStepInterval(20);
    QStringList events;
    connect(&cycle, &PollingCycle::requestDue, [&](int step, const QByteArray &frame) {
        events << QStringLiteral("request %1 %2").arg(step).arg(QString::fromLatin1(frame.toHex()));
    });
    connect(&cycle, &PollingCycle::stepElapsed,
            [&](int step) { events << QStringLiteral("elapsed %1").arg(step); });

    QVERIFY(cycle.start(1));
    QVERIFY(cycle.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 2000);
    // Function 04, 100 registers from each block's start as the register table orders them,
    // unit 1; the CRCs worked out apart from the station's own.
    const char *const frames[] = {"010475f900643bdc", "010476c10064ba55", "0104778900643bbf",
                                  "010475310064ba22", "0104765d00647a7b", "010477250064fb9e",
                                  "010477ed00647a60", "010475950064fbc1"};
    QCOMPARE(events.size(), 16);
    for (int step = 0; step < 8; ++step) {
        QCOMPARE(events[2 * step], QStringLiteral("request %1 %2").arg(step).arg(frames[step]));
        QCOMPARE(events[2 * step + 1], QStringLiteral("elapsed %1").arg(step));
    }
}

void PollingCycleTest::aRunningCycleIsNotRestarted()
{
    PollingCycle cycle;
    cycle.setStepInterval(20);
    QSignalSpy requests(&cycle, &PollingCycle::requestDue);
    QVERIFY(cycle.start(1));
    QVERIFY(!cycle.start(1));
    QTest::qWait(50);
    QVERIFY(!cycle.start(1));
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 2000);
    QCOMPARE(requests.count(), 8);
    QVERIFY(cycle.start(1));
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 2000);
    QCOMPARE(requests.count(), 16);
}

void PollingCycleTest::stepsAreSpacedByTheInterval()
{
    PollingCycle cycle;
    cycle.setStepInterval(100);
    QElapsedTimer clock;
    QList<qint64> sentAt;
    connect(&cycle, &PollingCycle::requestDue, [&](int, const QByteArray &) {
        sentAt << clock.elapsed();
    });
    clock.start();
    cycle.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 3000);
    QCOMPARE(sentAt.size(), 8);
    for (int i = 1; i < sentAt.size(); ++i) {
        const qint64 gap = sentAt[i] - sentAt[i - 1];
        QVERIFY2(gap >= 95, qPrintable(QString::number(gap)));
    }
}

void PollingCycleTest::addressIsTakenAtTheStartOfEachCycle()
{
    PollingCycle cycle;
    cycle.setStepInterval(10);
    QList<int> addresses;
    connect(&cycle, &PollingCycle::requestDue,
            [&](int, const QByteArray &frame) { addresses << quint8(frame.at(0)); });
    cycle.start(7);
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 2000);
    cycle.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 2000);
    QCOMPARE(addresses.size(), 16);
    QCOMPARE(addresses.count(7), 8);
    QCOMPARE(addresses.count(0), 8);
}

QTEST_GUILESS_MAIN(PollingCycleTest)
#include "tst_pollingcycle.moc"
