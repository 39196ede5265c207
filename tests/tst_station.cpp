// The station without a window: polled over a pseudo-terminal by the concentrator simulator,
// with no display and no widget library in the process.
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
    void pollsJudgesAndJournalsWithoutAWindow();
    void pollsOverTheNetwork_data();
    void pollsOverTheNetwork();
    void jointRulesSurviveARestart();
};

namespace {

QStringList journalTexts(const QString &directory)
{
    return databaseRows(directory, QStringLiteral("SELECT text, time_text FROM alarm_journal ORDER BY id"));
}

} // namespace

void tst_station::pollsJudgesAndJournalsWithoutAWindow()
{
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    LinkMemory::forget();
    QTemporaryDir dir;
    PtyPair pty;
    Simulator simulator;
    QString error;
    // 85.0 °C at device 5, 20.1 °C elsewhere.
    const QStringList concentrator = {"--static", "--register", "30405=850"};
    QVERIFY2(pty.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error),
             qPrintable(error));

    Station station(dir.path(), nullptr);
    QVERIFY(station.isSoleInstance());
    // A second station on the folder is refused, and must not write the archive.
    const Station second(dir.path(), nullptr);
    QVERIFY(!second.isSoleInstance() && !second.archiveUpdater());
    station.setConcentratorAddress(QStringLiteral("1"));
    station.setPollStepInterval(250);
    station.start();
    QVERIFY(station.link()->open(pty.stationEnd()));

    const DeviceModel *devices = station.devices();
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Status, 200), QStringLiteral("在线"), 10000);
    // socat may listen only after the first try: the line then joins in the middle of a cycle.
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Temperature, 5), QStringLiteral("85"), 5000);
    QVERIFY(devices->isFresh(PanelQuantity::Temperature, 5));
    QVERIFY(devices->lastAnswer(5).secsTo(QDateTime::currentDateTime()) < 10);
    const QRegularExpression stamped(QStringLiteral("^5温度异常\\|\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QTRY_VERIFY_WITH_TIMEOUT(!journalTexts(dir.path()).filter(stamped).isEmpty(), 5000);
    QCOMPARE(devices->alarms(5), quint8(DeviceModel::TemperatureAlarm));
    QCOMPARE(devices->alarms(6), quint8(0));

    // Nobody answers: the link alarm, and the readings go stale and are said so.
    simulator.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!journalTexts(dir.path()).filter(QStringLiteral("集中器通讯中断")).isEmpty(), 8000);
    // Each block goes stale at its own window, two cycles after its last answer.
    const auto nothingHeard = [&]() {
        station.evaluationTick();
        return devices->readings().staleQuantities[4] == 0x0F;
    };
    QTRY_VERIFY_WITH_TIMEOUT(nothingHeard(), 10000);
    QCOMPARE(devices->text(PanelQuantity::Status, 5), QStringLiteral("无应答"));
    QCOMPARE(devices->alarms(5), quint8(DeviceModel::TemperatureAlarm | DeviceModel::TemperatureAlarm << 3));
}

void tst_station::pollsOverTheNetwork_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("serial device server") << "tcp";
    QTest::newRow("Modbus TCP gateway") << "mbtcp";
}

// The same polling through a serial device server (socat from TCP to the simulator's
// pseudo-terminal) and through a Modbus TCP gateway (the simulator's own). The current block
// of devices 1-100 always answers 400 ms late: dropped as late, never taken for the status
// block asked next. A dropped connection is a lost line, reconnected.
void tst_station::pollsOverTheNetwork()
{
    QFETCH(QString, scheme);
    LinkMemory::forget();
    QTemporaryDir dir;
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    const QStringList concentrator = {"--static", "--register", "30405=850", "--fault", "late:30601",
                                      "--late-ms", "400"};
    PtyPair pty;
    Simulator simulator;
    ChildProcess server;
    QString error;
    const auto serve = [&] {
        if (scheme == "mbtcp")
            return simulator.start({}, QStringList{"--mbtcp", port} + concentrator, &error);
        server.start("socat", {"TCP-LISTEN:" + port + ",bind=127.0.0.1,reuseaddr,fork",
                               "FILE:" + pty.stationEnd() + ",raw,echo=0"});
        return server.waitForStarted();
    };
    if (scheme == "tcp")
        QVERIFY2(pty.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error), qPrintable(error));
    QVERIFY2(serve(), qPrintable(error));

    Station station(dir.path(), nullptr);
    station.setConcentratorAddress(QStringLiteral("1"));
    station.setPollStepInterval(250);
    station.start();
    QVERIFY(station.link()->open(scheme + "://127.0.0.1:" + port));
    const DeviceModel *devices = station.devices();
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Status, 200), QStringLiteral("在线"), 10000);
    // socat may listen only after the first try: the line then joins in the middle of a cycle.
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Temperature, 5), QStringLiteral("85"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(station.link()->counters().lateDropped >= 2, 10000);
    // Over a raw line the late answer meets the status block's answer in its window, and
    // neither is trusted, as on a serial line; a gateway's transaction tells them apart.
    QCOMPARE(devices->text(PanelQuantity::Status, 5), scheme == "tcp" ? QStringLiteral("无应答") : QStringLiteral("在线"));
    QVERIFY(!devices->isFresh(PanelQuantity::Current, 5) && devices->isFresh(PanelQuantity::Current, 105));

    if (scheme == "mbtcp") {
        simulator.stop();
    } else {
        // The connection is served by a child of the listening socat.
        QProcess::execute("pkill", {"-KILL", "-P", QString::number(server.processId())});
        server.kill();
        server.waitForFinished();
    }
    QTRY_COMPARE_WITH_TIMEOUT(station.link()->state(), LinkState::Lost, 5000);
    QVERIFY2(serve(), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(station.link()->state(), LinkState::Answering, 10000);
    server.kill();
    server.waitForFinished();
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
    {
        Station station(dir.path(), nullptr);
        QString error;
        QVERIFY2(station.setJointRules(groups, settings, &error), qPrintable(error));
    }
    databaseRows(dir.path(), "UPDATE rule_settings SET value = 5 WHERE name = 'rate_of_rise_window_seconds'");
    const Station again(dir.path(), nullptr);
    QCOMPARE(again.cabinetGroups(), groups);
    const JointRuleSettings &read = again.jointRuleSettings();
    QVERIFY(read.rateOfRiseOn);
    QCOMPARE(read.rateWindowSeconds, 60);
    QCOMPARE(read.phaseDifference.alarm, 12.0f);
    QCOMPARE(read.phaseDifference.deadband, 1.0f);
    QCOMPARE(read.phaseDifference.delaySeconds, 30);
    QCOMPARE(read.ambientRise.warning, 20.0f);
    QCOMPARE(read.warningLimit[6], 70.0f);
    QVERIFY(qIsNaN(read.warningLimit[7]));
}

KESTRO_TEST_MAIN(tst_station)

#include "tst_station.moc"
