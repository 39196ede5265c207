// Alarms as an operator meets them: the concentrator reports an over-temperature, the row
// is unacknowledged and sounds, the main window silences it, the dialog acknowledges it,
// and the journal holds all of it after the station has gone.

#include "app/mainwindow.h"
#include "forms/alarmform.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "forms/thresholdform.h"
#include "monitor/alarm.h"
#include "monitor/alarmhandling.h"
#include "monitor/alarmsound.h"
#include "monitor/threshold.h"
#include "site/sitesettings.h"
#include "testsupport.h"
#include "monitor/devicemodel.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>

class tst_alarmhandling : public QObject, public StationRig
{
    Q_OBJECT

private slots:
    void init() { setUpRig(); }
    void cleanup() { tearDownRig(); }
    void alarmIsHeardAcknowledgedAndJournalled();
    void deadbandFromTheDialogStopsChatteringAndIsKept();
    void acknowledgeTakesOnlyWhatTheOperatorChose();
    void lostConcentratorIsAnAlarmNotARecovery_data();
    void lostConcentratorIsAnAlarmNotARecovery();
};

void tst_alarmhandling::alarmIsHeardAcknowledgedAndJournalled()
{
    QVERIFY(startStation({"--static", "--over-temp", "5"}, 400));
    QTableWidget *table = window->alarmRecords()->form()->tableWidget_alarm;
    QTRY_VERIFY_WITH_TIMEOUT(table->item(0, 0) && table->item(0, 0)->text() == "5温度异常", 10000);
    auto *counts = window->findChild<QLabel *>("alarm_counts");
    QCOMPARE(counts->text(), QStringLiteral("报警 1 │ 未确认 1"));
    QCOMPARE(table->item(0, 0)->toolTip(), QStringLiteral("未确认"));
    QVERIFY(table->item(0, 0)->font().bold());
    QVERIFY(window->alarmSound()->isSounding());

    window->form()->silence_button->click();
    QVERIFY(!window->alarmSound()->isSounding());
    QCOMPARE(table->item(0, 0)->toolTip(), QStringLiteral("未确认"));
    window->alarmRecords()->form()->pushButton_acknowledge->click();
    QCOMPARE(table->item(0, 0)->toolTip(), QStringLiteral("已确认"));
    QVERIFY(!table->item(0, 0)->font().bold());
    QCOMPARE(counts->text(), QStringLiteral("报警 1 │ 未确认 0"));
    tearDownRig();

    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
    db.setDatabaseName(QDir(dataDir.path()).filePath("kestro.db"));
    QVERIFY(db.open());
    QSqlQuery query("SELECT device, kind, event, text, value, limit_value FROM alarm_journal ORDER BY id", db);
    QStringList rows;
    while (query.next()) {
        QStringList fields;
        for (int k = 0; k < 6; ++k)
            fields << query.value(k).toString();
        rows << fields.join('|');
    }
    QCOMPARE(rows, QStringList({"0|0|started|监测站启动||", "5|1|alarm|5温度异常|95|80", "0|0|silence|消音||",
                                "5|1|acknowledge|5温度异常||", "0|0|stopped|监测站停止||"}));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("check");
}

void tst_alarmhandling::deadbandFromTheDialogStopsChatteringAndIsKept()
{
    window = newWindow(10 * 60 * 1000);
    ThresholdForm *form = window->thresholdSettings()->form();
    form->Before_seria_num->setText("5");
    form->After_serial_num->setText("5");
    form->lineEdit_temperature_deadband->setText("0.5");
    form->Deadband_Settings->click();
    QTableWidget *table = window->alarmRecords()->form()->tableWidget_alarm;
    for (int second = 0; second < 6; ++second) {
        typeIntoPanel(window, PanelPrefix::Temperature, 5, second % 2 ? "79.9" : "80.1");
        window->evaluateNow();
    }
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("5温度异常"));
    QVERIFY(!table->item(1, 0));
    typeIntoPanel(window, PanelPrefix::Temperature, 5, "79.5");
    window->evaluateNow();
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("5温度恢复正常"));

    delete window;
    window = newWindow(10 * 60 * 1000);
    QCOMPARE(window->alarmHandlingOf()->filters().temperatureDeadband[4], 0.5f);
    QCOMPARE(window->alarmHandlingOf()->filters().temperatureDeadband[5], 0.0f);
}

QStringList journalRows(const QString &directory, const QString &columns)
{
    return databaseRows(directory, "SELECT " + columns + " FROM alarm_journal ORDER BY id");
}

void tst_alarmhandling::acknowledgeTakesOnlyWhatTheOperatorChose()
{
    window = newWindow(400);
    typeIntoPanel(window, PanelPrefix::Temperature, 5, "95");
    typeIntoPanel(window, PanelPrefix::Temperature, 6, "96");
    window->evaluateNow();
    QTableWidget *table = window->alarmRecords()->form()->tableWidget_alarm;
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("6温度异常"));
    auto openList = [&](std::function<void()> inside) {
        handleNextModal([&](QWidget *) { inside(); });
        window->form()->alarm_record->click();
    };
    auto acknowledge = [&]() { window->alarmRecords()->form()->pushButton_acknowledge->click(); };
    openList([&]() {
        table->setCurrentCell(0, 1);
        acknowledge();
    });
    QCOMPARE(table->item(0, 0)->toolTip(), QStringLiteral("已确认"));
    QCOMPARE(table->item(1, 0)->toolTip(), QStringLiteral("未确认"));

    // Reopened, nothing is chosen; choosing only an acknowledged row changes nothing, and says so.
    QString notice;
    openList([&]() {
        QVERIFY(table->selectionModel()->selectedIndexes().isEmpty());
        table->setCurrentCell(0, 0);
        acknowledge();
        auto *box = window->alarmRecords()->findChild<QMessageBox *>("acknowledge_notice");
        notice = box ? box->text() : QString();
    });
    QCOMPARE(notice, QStringLiteral("所选报警均已确认"));
    QCOMPARE(table->item(1, 0)->toolTip(), QStringLiteral("未确认"));
    openList(acknowledge);
    QCOMPARE(table->item(1, 0)->toolTip(), QStringLiteral("已确认"));
}

// The whole path to the site: concentrator, panels, evaluation, journal, outbox, broker. The
// concentrator goes away while alarms are open: that is an alarm of its own, never a recovery.
void tst_alarmhandling::lostConcentratorIsAnAlarmNotARecovery_data()
{
    QTest::addColumn<bool>("pulled");
    QTest::newRow("concentrator silent, port open") << false;
    QTest::newRow("adapter pulled") << true;
}

void tst_alarmhandling::lostConcentratorIsAnAlarmNotARecovery()
{
    QFETCH(bool, pulled);
    Broker broker;
    MqttSubscriber subscriber;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    QVERIFY(subscriber.start(broker.port()));
    QVERIFY(publishToBroker(broker, "s1"));
    const int earlier = journalRows(dataDir.path(), "id").size();
    // 50.5 A at device 3, 85.0 °C at 5, 2100 mV at 9.
    const QStringList concentrator = {"--static", "--register", "30603=5050", "--register",
                                      "30405=850", "--register", "30209=2100"};
    QVERIFY(startStation(concentrator, 250));
    auto arrived = [&](const QString &pattern) {
        return !subscriber.messages().filter(QRegularExpression(pattern)).isEmpty();
    };
    auto journalled = [&](const QString &text) {
        return journalRows(dataDir.path(), "text").filter(text).size();
    };
    auto field = [&](const char *prefix, int device) { return panelField(window, prefix, device); };
    QTRY_VERIFY_WITH_TIMEOUT(journalled("3电流超限") && journalled("5温度异常") && journalled("9电压欠压"),
                             15000);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Status, 200)->text(), QStringLiteral("在线"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^[01] 0 kestro/s1/device/005 \\{\"device\":5,\"name\":\"\","
                                     "\"location\":\"\",\"temperature\":85.0,"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^[01] 1 kestro/s1/link \\{\"state\":\"polling\",\"port\":"), 5000);
    QTRY_COMPARE(window->findChild<QLabel *>("site_state")->text(),
                 QStringLiteral("远程发布：已连接 127.0.0.1"));
    const QColor heard = field(PanelPrefix::Temperature, 5)->palette().color(QPalette::Text);

    if (pulled)
        pty->stop();
    simulator->stop();
    QTRY_VERIFY_WITH_TIMEOUT(journalled("集中器通讯中断"), 8000);
    const auto nothingHeard = [&]() {
        window->evaluateNow();
        return window->readings().staleQuantities[0] == 0x0F
               && window->readings().staleQuantities[199] == 0x0F;
    };
    QTRY_VERIFY_WITH_TIMEOUT(nothingHeard(), 15000);
    QCOMPARE(field(PanelPrefix::Status, 5)->text(), QStringLiteral("无应答"));
    QCOMPARE(field(PanelPrefix::Temperature, 5)->text(), QStringLiteral("85"));
    QVERIFY(field(PanelPrefix::Temperature, 5)->palette().color(QPalette::Text) != heard);
    QCOMPARE(window->findChild<QLabel *>("alarm_counts")->text(), QStringLiteral("报警 4 │ 未确认 4"));
    QVERIFY(window->alarmSound()->isSounding());
    // Nobody heard this minute.
    const QString monday = QDir(dataDir.path()).filePath("History_Monday_value.txt");
    const QByteArray history = fileBytes(monday);
    window->recordHistoryAt(QDateTime::currentDateTime());
    QCOMPARE(fileBytes(monday), history);
    QTRY_VERIFY(arrived("^[01] 0 kestro/s1/device/005 \\{\"device\":5,\"name\":\"\",\"location\":\"\","
                        "\"temperature\":null,\"voltage\":null,\"current\":null,\"online\":false,"
                        "\"status\":\"无应答\","));
    QTRY_VERIFY(arrived("^0 1 kestro/s1/alarm \\{\"id\":\"s1:\\d+\",\"device\":0,\"kind\":\"link\",\"level\":\"alarm\","
                        "\"event\":\"raised\",\"text\":\"集中器通讯中断\",\"group\":null,\"value\":null,"));
    QTRY_VERIFY(arrived("^[01] 1 kestro/s1/alarms/active \\{\"count\":4,\"unacknowledged\":4,\"alarms\":"
                        ".*\\{\"device\":0,\"kind\":\"link\",\"level\":\"alarm\",\"text\":\"集中器通讯中断\","));

    if (pulled)
        QVERIFY2(pty->start(&error), qPrintable(error));
    QVERIFY2(simulator->start(pty->concentratorEnd(), concentrator, &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(journalled("集中器通讯恢复"), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(field(PanelPrefix::Status, 5)->text(), QStringLiteral("在线"), 10000);
    // Device 1's temperature and current heard again too: a loaded machine may miss a window.
    const DeviceModel *devices = window->station()->devices();
    QTRY_VERIFY_WITH_TIMEOUT(devices->isFresh(PanelQuantity::Temperature, 1)
                                 && devices->isFresh(PanelQuantity::Current, 1), 15000);
    window->evaluateNow();
    window->recordHistoryAt(QDateTime::currentDateTime());
    QVERIFY(fileBytes(monday).startsWith(history + "ID:001#温度:20.1#电流:1.01#状态:在线#时间:"));
    QCOMPARE(window->findChild<QLabel *>("alarm_counts")->text(), QStringLiteral("报警 3 │ 未确认 4"));
    QTRY_VERIFY(arrived("^[01] 1 kestro/s1/alarms/active \\{\"count\":3,\"unacknowledged\":4,\"alarms\":"
                        ".*\\{\"device\":0,\"kind\":\"link\",\"level\":\"alarm\",\"text\":\"集中器通讯中断\","
                        "\"group\":null,\"state\":\"已恢复未确认\","));

    // The device alarms stood through the outage: raised once, never recovered.
    QStringList events = journalRows(dataDir.path(), "event, text").mid(earlier);
    events.sort();
    QVERIFY2(events == QStringList({"alarm|3电流超限", "alarm|5温度异常", "alarm|9电压欠压",
                                    "alarm|集中器通讯中断", "recovery|集中器通讯恢复", "started|监测站启动"}),
             qPrintable(journalRows(dataDir.path(), "time_text, event, text, value").mid(earlier).join('\n')));
    SiteSettings().save();
}

KESTRO_TEST_MAIN(tst_alarmhandling)
#include "tst_alarmhandling.moc"
