// The station without a window: polled over a pseudo-terminal by the concentrator simulator,
// with no display and no widget library in the process.
#include "coresupport.h"
#include "monitor/devicemodel.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "station/station.h"

#include <QDir>
#include <QLockFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

class tst_station : public QObject
{
    Q_OBJECT

private slots:
    void pollsJudgesAndJournalsWithoutAWindow();
    void aSecondStationOnTheFolderIsRefused();
};

namespace {

QStringList journalTexts(const QString &directory)
{
    QStringList texts;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("texts"));
        db.setDatabaseName(QDir(directory).filePath(QStringLiteral("kestro.db")));
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT text, time_text FROM alarm_journal ORDER BY id")))
            while (query.next())
                texts << query.value(0).toString() + QLatin1Char('|') + query.value(1).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("texts"));
    return texts;
}

} // namespace

void tst_station::pollsJudgesAndJournalsWithoutAWindow()
{
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    LinkMemory::forget();
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(QDir(dir.path()).filePath("save_data.txt"), "cabinet-1\n"));
    PtyPair pty;
    Simulator simulator;
    QString error;
    // 85.0 °C at device 5, 20.1 °C elsewhere.
    const QStringList concentrator = {"--static", "--register", "30405=850"};
    QVERIFY2(pty.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error),
             qPrintable(error));

    Station station(dir.path(), nullptr);
    QVERIFY(station.isSoleInstance());
    QCOMPARE(station.devices()->setting(DeviceModel::Name, 1), QStringLiteral("cabinet-1"));
    station.setConcentratorAddress(QStringLiteral("1"));
    station.setPollStepInterval(250);
    station.start();
    QVERIFY(station.link()->open(pty.stationEnd()));

    const DeviceModel *devices = station.devices();
    QTRY_COMPARE_WITH_TIMEOUT(devices->text(PanelQuantity::Status, 200), QStringLiteral("在线"), 10000);
    QCOMPARE(devices->text(PanelQuantity::Temperature, 5), QStringLiteral("85"));
    QVERIFY(devices->isFresh(PanelQuantity::Temperature, 5));
    QVERIFY(devices->lastAnswer(5).secsTo(QDateTime::currentDateTime()) < 10);
    const QRegularExpression stamped(QStringLiteral("^5温度异常\\|\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QTRY_VERIFY_WITH_TIMEOUT(!journalTexts(dir.path()).filter(stamped).isEmpty(), 5000);
    QCOMPARE(devices->alarms(5), quint8(DeviceModel::TemperatureAlarm));
    QCOMPARE(devices->alarms(6), quint8(0));

    // A value typed in is judged as a received one.
    station.devices()->type(PanelQuantity::Temperature, 7, QStringLiteral("95"));
    station.evaluationTick();
    QVERIFY(journalTexts(dir.path()).filter(QRegularExpression(QStringLiteral("^7温度异常\\|"))).size() == 1);

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

    station.devices()->setSetting(DeviceModel::Location, 2, QStringLiteral("room-2"));
    QVERIFY2(station.saveDeviceSettings(&error), qPrintable(error));
    const QList<QByteArray> lines = fileBytes(QDir(dir.path()).filePath("save_data.txt")).split('\n');
    QCOMPARE(lines.value(0), QByteArray("cabinet-1"));
    QCOMPARE(lines.value(201), QByteArray("room-2"));
}

void tst_station::aSecondStationOnTheFolderIsRefused()
{
    QTemporaryDir dir;
    Station first(dir.path(), nullptr);
    Station second(dir.path(), nullptr);
    QVERIFY(first.isSoleInstance());
    QVERIFY(!second.isSoleInstance());
    QVERIFY(!second.archiveUpdater());
}

KESTRO_CORE_TEST_MAIN(tst_station)

#include "tst_station.moc"
