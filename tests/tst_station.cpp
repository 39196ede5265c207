// The station without a window, display or widget library, polled by the concentrator simulator.
#include "testsupport.h"
#include "monitor/devicemodel.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "station/station.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

class tst_station : public QObject
{
    Q_OBJECT

private slots:
    void pollsJudgesAndJournals_data();
    void pollsJudgesAndJournals();
    void jointRulesSurviveARestart();
};

void tst_station::pollsJudgesAndJournals_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("serial line") << QString();
    QTest::newRow("serial device server") << "tcp";
    QTest::newRow("Modbus TCP gateway") << "mbtcp";
}

// Over a serial line, a serial device server (socat to the simulator's pseudo-terminal) and a Modbus
// TCP gateway (the simulator's own). The current block of devices 1-100 always answers 400 ms late:
// dropped as late, never taken for the status block asked next. A dead line is taken up again.
void tst_station::pollsJudgesAndJournals()
{
    QFETCH(QString, scheme);
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    LinkMemory::forget();
    QTemporaryDir dir;
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    // 85.0 °C at device 5, 20.1 °C elsewhere.
    const QStringList concentrator = {"--static", "--register", "30405=850", "--fault", "late:30601", "--late-ms", "400"};
    PtyPair pty;
    Simulator simulator;
    ChildProcess server;
    QString error;
    // The concentrator, and for "tcp" the serial device server in front of it.
    const auto serve = [&] {
        if (scheme == "mbtcp")
            return simulator.start({}, QStringList{"--mbtcp", port} + concentrator, &error);
        if (scheme == "tcp")
            server.start("socat", {"TCP-LISTEN:" + port + ",bind=127.0.0.1,reuseaddr,fork",
                                   "FILE:" + pty.stationEnd() + ",raw,echo=0"});
        return simulator.start(pty.concentratorEnd(), concentrator, &error) && (scheme.isEmpty() || server.waitForStarted());
    };
    QVERIFY2(pty.start(&error) && serve(), qPrintable(error));

    Station station(dir.path(), nullptr);
    // A second station on the folder is refused, and must not write the archive.
    const Station second(dir.path(), nullptr);
    QVERIFY(station.isSoleInstance() && !second.isSoleInstance() && !second.archiveUpdater());
    station.setConcentratorAddress(QStringLiteral("1"));
    station.setPollStepInterval(250);
    station.start();
    QVERIFY(station.link()->open(scheme.isEmpty() ? pty.stationEnd() : scheme + "://127.0.0.1:" + port));
    const DeviceModel *devices = station.devices();
    // socat may listen only after the first try: the line then joins in the middle of a cycle.
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Temperature, 5), QStringLiteral("85"), 10000);
    QVERIFY(devices->lastAnswer(5).secsTo(QDateTime::currentDateTime()) < 10);
    const auto journal = [&] { return databaseRows(dir.path(), "SELECT text, time_text FROM alarm_journal ORDER BY id"); };
    const QRegularExpression stamped(QStringLiteral("^5温度异常\\|\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QTRY_VERIFY_WITH_TIMEOUT(!journal().filter(stamped).isEmpty(), 5000);
    QCOMPARE((QList<int>{devices->alarms(5), devices->alarms(6)}), (QList<int>{DeviceModel::TemperatureAlarm, 0}));
    QTRY_VERIFY_WITH_TIMEOUT(station.link()->counters().lateDropped >= 2, 10000);
    // Over a raw line the late answer meets the status block's answer in its window, and
    // neither is trusted; a gateway's transaction tells them apart.
    QCOMPARE(devices->text(PanelQuantity::Status, 5), scheme == "mbtcp" ? QStringLiteral("在线") : QStringLiteral("无应答"));
    QVERIFY(!devices->isFresh(PanelQuantity::Current, 5) && devices->isFresh(PanelQuantity::Current, 105));

    // The line dies: the link alarm; the readings go stale and are said so (checked once: it is slow).
    if (scheme == "tcp") // the connection is served by a child of the listening socat
        QProcess::execute("pkill", {"-KILL", "-P", QString::number(server.processId())});
    simulator.stop();
    server.close();
    QTRY_VERIFY_WITH_TIMEOUT(!journal().filter(QStringLiteral("集中器通讯中断")).isEmpty(), 8000);
    if (scheme.isEmpty()) {
        // Each block goes stale at its own window, two cycles after its last answer.
        const auto nothingHeard = [&] { station.evaluationTick(); return devices->readings().staleQuantities[4] == 0x0F; };
        QTRY_VERIFY_WITH_TIMEOUT(nothingHeard(), 10000);
        QCOMPARE(devices->text(PanelQuantity::Status, 5), QStringLiteral("无应答"));
        QCOMPARE(devices->alarms(5), quint8(DeviceModel::TemperatureAlarm | DeviceModel::TemperatureAlarm << 3));
    }
    QTRY_COMPARE(station.link()->state(), scheme.isEmpty() ? LinkState::Silent : LinkState::Lost);
    QVERIFY2(serve(), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(station.link()->state(), LinkState::Answering, 10000);
    server.close();
}

// Unlike the fixed limits; a stored value out of range reads as the nearest allowed.
void tst_station::jointRulesSurviveARestart()
{
    QTemporaryDir dir;
    const QVector<CabinetGroup> groups{{QStringLiteral("2号柜, 出线"), {7, 0, 9}, 0}};
    JointRuleSettings settings;
    settings.rateOfRiseOn = true;
    settings.phaseDifference = {4, 12, 1, 30};
    settings.warningLimit[6] = 70;
    QString error;
    QVERIFY2(Station(dir.path(), nullptr).setJointRules(groups, settings, &error), qPrintable(error));
    databaseRows(dir.path(), "UPDATE rule_settings SET value = 5 WHERE name = 'rate_of_rise_window_seconds'");
    const Station again(dir.path(), nullptr);
    QCOMPARE(again.cabinetGroups(), groups);
    const JointRuleSettings &read = again.jointRuleSettings();
    QVERIFY(read.rateOfRiseOn && qIsNaN(read.warningLimit[7]));
    const QList<float> values{read.phaseDifference.warning, read.phaseDifference.alarm, read.phaseDifference.deadband,
                              float(read.phaseDifference.delaySeconds), float(read.rateWindowSeconds), read.warningLimit[6]};
    QCOMPARE(values, (QList<float>{4, 12, 1, 30, 60, 70}));
}

KESTRO_TEST_MAIN(tst_station)

#include "tst_station.moc"
