#include "app/mainwindow.h"
#include "forms/panelcolumn.h"
#include "forms/serialportform.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"
#include "testsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <ctime>

namespace {

constexpr int kStepMs = 400;
constexpr int kCycleMs = 8 * kStepMs + 1000;
// Late answers are timed against the window at full length, where the guard is 300 ms:
// a loaded machine then cannot push a simulated delay across a window's edge.
constexpr int kLateStepMs = 1000;
constexpr int kLateGuardMs = 300;
constexpr int kLateCycleMs = 8 * kLateStepMs + 1000;

QString staticVoltage(int device)
{
    return QString::number(3000 + device);
}

QString staticTemperature(int device)
{
    return QString::number((200 + device) * 0.1, 'g', 6);
}

// A field no valid answer ever filled keeps its empty start.
const QString kNoVoltage;
const QString kNoTemperature;

double processCpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

class LinkHealthTest : public QObject, private StationRig
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void answerLateWithinTheGuardNeverFillsTheNextColumn();
    void answerLateWithinTheGuardLeavesTheNextBlockItsOwnAnswer();
    void silentConcentratorIsReportedAndItsReturnNoticed();
    void pulledAdapterIsClosedAndReopenedByItself();
    void closingDuringAnAnswerDropsIt();
    void portOpenAtExitIsReopenedAtStart();
    void portMissingAtStartIsAwaited();

private:
    bool startLink(const QStringList &simulatorOptions, int stepMs = kStepMs);
    QString field(const char *prefix, int device) const;
    QString statusText() const;
};

void LinkHealthTest::init()
{
    setUpRig();
}

void LinkHealthTest::cleanup()
{
    tearDownRig();
}

bool LinkHealthTest::startLink(const QStringList &simulatorOptions, int stepMs)
{
    return startStation(simulatorOptions, stepMs);
}

QString LinkHealthTest::field(const char *prefix, int device) const
{
    return panelField(window, prefix, device)->text();
}

QString LinkHealthTest::statusText() const
{
    return window->findChild<QLabel *>(QStringLiteral("link_state"))->text();
}

void LinkHealthTest::answerLateWithinTheGuardNeverFillsTheNextColumn()
{
    // The voltages of 1..100 come half a guard after their window; the temperatures
    // of 1..100 never come.
    QVERIFY(startLink({QStringLiteral("--static"), QStringLiteral("--fault"),
                       QStringLiteral("late:30201"), QStringLiteral("--late-ms"),
                       QString::number(kLateStepMs + kLateGuardMs / 2), QStringLiteral("--fault"),
                       QStringLiteral("drop:30401")},
                      kLateStepMs));
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Temperature, 101), staticTemperature(101),
                              2 * kLateCycleMs);
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < kLateCycleMs) {
        for (int device : {1, 50, 100}) {
            QCOMPARE(field(PanelPrefix::Voltage, device), kNoVoltage);
            QCOMPARE(field(PanelPrefix::Temperature, device), kNoTemperature);
        }
        QTest::qWait(50);
    }
    QVERIFY(window->link()->counters().lateDropped >= 2);
    QVERIFY(window->link()->counters().noAnswer >= 2);
    QCOMPARE(window->link()->counters().badCrc, 0);
}

void LinkHealthTest::answerLateWithinTheGuardLeavesTheNextBlockItsOwnAnswer()
{
    QVERIFY(startLink({QStringLiteral("--static"), QStringLiteral("--fault"),
                       QStringLiteral("late:30201"), QStringLiteral("--late-ms"),
                       QString::number(kLateStepMs + kLateGuardMs / 2)},
                      kLateStepMs));
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Temperature, 1), staticTemperature(1),
                              2 * kLateCycleMs);
    QCOMPARE(field(PanelPrefix::Temperature, 100), staticTemperature(100));
    QCOMPARE(field(PanelPrefix::Voltage, 1), kNoVoltage);
    QCOMPARE(field(PanelPrefix::Voltage, 100), kNoVoltage);
}

void LinkHealthTest::silentConcentratorIsReportedAndItsReturnNoticed()
{
    QVERIFY(startLink({QStringLiteral("--static")}));
    ConcentratorLink *link = window->link();
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Answering, 3 * kCycleMs);
    QVERIFY2(statusText().contains(QStringLiteral("应答正常")), qPrintable(statusText()));
    QSignalSpy events(link, &ConcentratorLink::logEvent);

    const QDateTime stopped = QDateTime::currentDateTime();
    simulator->stop();
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Silent, kCycleMs + kStepMs);
    QVERIFY(qAbs(link->silentSince().msecsTo(stopped)) < 2000);
    const QString lastAnswer = link->silentSince().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(statusText(), QStringLiteral("串口 %1：集中器自 %2 起无应答")
                               .arg(pty->stationEnd(), lastAnswer));
    QVERIFY(link->counters().noAnswer >= 8);

    QString error;
    QVERIFY2(simulator->start(pty->concentratorEnd(), {QStringLiteral("--static")}, &error),
             qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Answering, kCycleMs + kStepMs);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Voltage, 1), staticVoltage(1), kCycleMs);

    QStringList said;
    for (const QList<QVariant> &event : events)
        said << event.at(0).toString();
    QCOMPARE(said, (QStringList{QStringLiteral("concentrator silent since ") + lastAnswer.right(8),
                                QStringLiteral("concentrator answering again")}));
}

void LinkHealthTest::pulledAdapterIsClosedAndReopenedByItself()
{
    QVERIFY(startLink({QStringLiteral("--static")}));
    ConcentratorLink *link = window->link();
    QPushButton *button = window->serialPortSettings()->form()->OpenSerialButton;
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Answering, 3 * kCycleMs);
    QCOMPARE(button->text(), QStringLiteral("关闭串口"));
    QSignalSpy events(link, &ConcentratorLink::logEvent);

    pty->stop();
    simulator->stop();
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Lost, 2 * kStepMs);
    QVERIFY(!window->port()->isOpen());
    QCOMPARE(button->text(), QStringLiteral("打开串口"));
    QCOMPARE(statusText(), QStringLiteral("串口 %1 已断开，正在重新连接…").arg(pty->stationEnd()));
    for (int value : window->registers())
        QCOMPARE(value, 0);

    // With the link gone the station must idle, not spin on the dead port.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(3000);
    const double cpuShare = (processCpuSeconds() - cpuBefore) / 3.0;
    QVERIFY2(cpuShare < 0.25, qPrintable(QStringLiteral("CPU share %1").arg(cpuShare)));
    QCOMPARE(link->state(), LinkState::Lost);

    QString error;
    QVERIFY2(pty->start(&error), qPrintable(error));
    QVERIFY2(simulator->start(pty->concentratorEnd(), {QStringLiteral("--static")}, &error),
             qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(window->port()->isOpen(), 2 * ConcentratorLink::kReconnectMs + 500);
    QCOMPARE(button->text(), QStringLiteral("关闭串口"));
    QTRY_COMPARE_WITH_TIMEOUT(link->state(), LinkState::Answering, 2 * kCycleMs);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Voltage, 200), staticVoltage(200), 2 * kCycleMs);

    QVERIFY(events.size() >= 3);
    QVERIFY2(events.at(0).at(0).toString().startsWith(pty->stationEnd() + QStringLiteral(" lost")),
             qPrintable(events.at(0).at(0).toString()));
    QCOMPARE(events.at(1).at(0).toString(), QStringLiteral("reopened ") + pty->stationEnd());

    // The operator's own close ends it: no more reopening.
    button->click();
    QCOMPARE(link->state(), LinkState::Closed);
    pty->stop();
    QVERIFY2(pty->start(&error), qPrintable(error));
    QTest::qWait(ConcentratorLink::kReconnectMs + 500);
    QVERIFY(!window->port()->isOpen());
    QCOMPARE(button->text(), QStringLiteral("打开串口"));
}

void LinkHealthTest::closingDuringAnAnswerDropsIt()
{
    // Answers at the real line rate take about 214 ms, so the close lands inside one.
    QVERIFY(startLink({QStringLiteral("--static"), QStringLiteral("--paced")}));
    ConcentratorLink *link = window->link();
    // Device 1's voltage heard first: on a loaded machine the first window may miss its answer
    // and the link answer from a later block.
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Voltage, 1), staticVoltage(1), 3 * kCycleMs);

    bool closedMidAnswer = false;
    QTimer watch;
    watch.setInterval(2);
    connect(&watch, &QTimer::timeout, [&]() {
        if (link->isGathering()) {
            watch.stop();
            window->serialPortSettings()->form()->OpenSerialButton->click();
            closedMidAnswer = true;
        }
    });
    watch.start();
    QTRY_VERIFY_WITH_TIMEOUT(closedMidAnswer, 2 * kCycleMs);
    QVERIFY(!window->port()->isOpen());

    QElapsedTimer since;
    since.start();
    while (since.elapsed() < 2 * kStepMs) {
        for (int value : window->registers())
            QCOMPARE(value, 0);
        QTest::qWait(10);
    }
    // The last readings stay, and the devices are soon told unheard.
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Status, 1), QStringLiteral("无应答"), 3 * kCycleMs);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Status, 200), QStringLiteral("无应答"), kCycleMs);
    QCOMPARE(field(PanelPrefix::Voltage, 1), staticVoltage(1));
    QCOMPARE(statusText(), QStringLiteral("串口未打开"));
}

void LinkHealthTest::portOpenAtExitIsReopenedAtStart()
{
    QVERIFY(startLink({QStringLiteral("--static")}));
    delete window; // as a power cut would end it, nothing is written at exit
    window = newWindow(kStepMs);
    QVERIFY(window->port()->isOpen());
    QCOMPARE(window->serialPortSettings()->form()->PortBox->currentText(), pty->stationEnd());
    QCOMPARE(window->serialPortSettings()->form()->OpenSerialButton->text(),
             QStringLiteral("关闭串口"));
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Voltage, 1), staticVoltage(1), 3 * kCycleMs);

    // Closed by the operator: the next start leaves the port alone.
    window->serialPortSettings()->form()->OpenSerialButton->click();
    delete window;
    window = newWindow(kStepMs);
    QVERIFY(!window->port()->isOpen());
    QCOMPARE(window->link()->state(), LinkState::Closed);
}

void LinkHealthTest::portMissingAtStartIsAwaited()
{
    QVERIFY(startLink({QStringLiteral("--static")}));
    delete window;
    window = nullptr;
    simulator->stop();
    pty->stop();

    window = newWindow(kStepMs);
    QCOMPARE(window->link()->state(), LinkState::Lost);
    QVERIFY(!window->port()->isOpen());

    QString error;
    QVERIFY2(pty->start(&error), qPrintable(error));
    QVERIFY2(simulator->start(pty->concentratorEnd(), {QStringLiteral("--static")}, &error),
             qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(window->port()->isOpen(), 2 * ConcentratorLink::kReconnectMs + 500);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Temperature, 150), staticTemperature(150),
                              3 * kCycleMs);
}

KESTRO_TEST_MAIN(LinkHealthTest)
#include "tst_linkhealth.moc"
