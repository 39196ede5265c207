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

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
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
    void siteHearsReadingsLinkAndAlarms();
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
    QVERIFY(window->alarmHandlingOf()->sound()->isSounding());

    window->form()->silence_button->click();
    QVERIFY(!window->alarmHandlingOf()->sound()->isSounding());
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
    QCOMPARE(rows, QStringList({"5|1|alarm|5温度异常|95|80", "0|0|silence|消音||",
                                "5|1|acknowledge|5温度异常||"}));
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
        panelField(window, PanelPrefix::Temperature, 5)->setText(second % 2 ? "79.9" : "80.1");
        window->evaluateNow();
    }
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("5温度异常"));
    QVERIFY(!table->item(1, 0));
    panelField(window, PanelPrefix::Temperature, 5)->setText("79.5");
    window->evaluateNow();
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("5温度恢复正常"));

    delete window;
    window = newWindow(10 * 60 * 1000);
    QCOMPARE(window->alarmHandlingOf()->filters().temperatureDeadband[4], 0.5f);
    QCOMPARE(window->alarmHandlingOf()->filters().temperatureDeadband[5], 0.0f);
}

// The whole path to the site: concentrator, panels, evaluation, journal, outbox, broker.
void tst_alarmhandling::siteHearsReadingsLinkAndAlarms()
{
    Broker broker;
    MqttSubscriber subscriber;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    QVERIFY(subscriber.start(broker.port()));
    SiteSettings site;
    site.enabled = true;
    site.host = "127.0.0.1";
    site.port = broker.port();
    site.station = "s1";
    site.save();
    QVERIFY(startStation({"--static", "--over-temp", "5"}, 400));
    auto arrived = [&](const QString &pattern) {
        return !subscriber.messages().filter(QRegularExpression(pattern)).isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^0 1 kestro/s1/alarm \\{\"id\":\"s1:\\d+\",\"device\":5,"
                                     "\"kind\":\"temperature\",\"event\":\"raised\",\"text\":"
                                     "\"5温度异常\",\"value\":95.0,\"limit\":80.0,"), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^[01] 0 kestro/s1/device/005 \\{\"device\":5,\"name\":\"\","
                                     "\"location\":\"\",\"temperature\":95.0,"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^[01] 1 kestro/s1/link \\{\"state\":\"polling\",\"port\":"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(arrived("^[01] 1 kestro/s1/alarms/active \\{\"count\":1,"
                                     "\"unacknowledged\":1,"), 5000);
    QTRY_COMPARE(window->findChild<QLabel *>("site_state")->text(),
                 QStringLiteral("远程发布：已连接 127.0.0.1"));
    SiteSettings().save();
}

KESTRO_TEST_MAIN(tst_alarmhandling)
#include "tst_alarmhandling.moc"
