#include "app/mainwindow.h"
#include "config/savedsettingslines.h"
#include "forms/alarmform.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "forms/thresholdform.h"
#include "monitor/alarm.h"
#include "monitor/threshold.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Long enough that the polling cycle never rewrites what a test typed.
constexpr int kNoPollingMs = 10 * 60 * 1000;

QColor fieldColour(QLineEdit *field)
{
    return field->palette().color(QPalette::Base);
}

} // namespace

class DeviceMonitoringTest : public QObject
{
    Q_OBJECT

private slots:
    void settingsSurviveARestart();
    void firstStartEmptiesTheSettingsFields();
    void anEditedCorrectionCountsFromTheNextStart();
    void aFailedSaveIsTold();
    void typedReadingsAreEvaluatedEverySecond();
    void alarmIsRecordedShownAndRecovered();
    void thresholdsAppliedInTheDialogJudgeTheNextTick();
    void clearingReentersAPresentAlarmAtRowZero();

private:
    MainWindow *quietWindow(const QString &dir);
    QString cell(MainWindow *window, int row, int column) const;
};

MainWindow *DeviceMonitoringTest::quietWindow(const QString &dir)
{
    auto *window = new MainWindow(nullptr, dir);
    window->setPollStepInterval(kNoPollingMs);
    return window;
}

QString DeviceMonitoringTest::cell(MainWindow *window, int row, int column) const
{
    QTableWidgetItem *item = window->alarmRecords()->form()->tableWidget_alarm->item(row, column);
    return item ? item->text() : QString();
}

void DeviceMonitoringTest::settingsSurviveARestart()
{
    QTemporaryDir dir;
    {
        MainWindow window(nullptr, dir.path());
        panelField(&window, PanelPrefix::Name, 1)->setText(QStringLiteral(" 1号主变 "));
        panelField(&window, PanelPrefix::Location, 200)->setText(QStringLiteral("B相"));
        panelField(&window, PanelPrefix::Correction, 7)->setText(QStringLiteral("-1.5"));
        panelField(&window, PanelPrefix::Correction, 8)->setText(QString());
        window.form()->save_button->click();
    }
    MainWindow window(nullptr, dir.path());
    QCOMPARE(panelField(&window, PanelPrefix::Name, 1)->text(), QStringLiteral(" 1号主变 "));
    QCOMPARE(panelField(&window, PanelPrefix::Name, 2)->text(), QString());
    QCOMPARE(panelField(&window, PanelPrefix::Location, 200)->text(), QStringLiteral("B相"));
    QCOMPARE(panelField(&window, PanelPrefix::Correction, 7)->text(), QStringLiteral("-1.5"));
    QCOMPARE(panelField(&window, PanelPrefix::Correction, 8)->text(), QString());
    QCOMPARE(savedSettingsLines.size(), 600);
    QCOMPARE(savedSettingsLines.at(0), QStringLiteral(" 1号主变 "));
    QCOMPARE(savedSettingsLines.at(399), QStringLiteral("B相"));
    QCOMPARE(savedSettingsLines.at(406), QStringLiteral("-1.5"));
}

void DeviceMonitoringTest::firstStartEmptiesTheSettingsFields()
{
    QTemporaryDir dir;
    MessageCapture capture;
    MainWindow window(nullptr, dir.path());
    QVERIFY(capture.contains(QStringLiteral("读取保存设备id 安装部位失败")));
    for (int device : {1, 100, 200})
        QCOMPARE(panelField(&window, PanelPrefix::Correction, device)->text(), QString());
}

void DeviceMonitoringTest::anEditedCorrectionCountsFromTheNextStart()
{
    QTemporaryDir dir;
    {
        MainWindow window(nullptr, dir.path());
        panelField(&window, PanelPrefix::Correction, 3)->setText(QStringLiteral("0.5"));
        window.form()->save_button->click();
        // Saving leaves the loaded corrections in force.
        QCOMPARE(savedSettingsLines.at(402), QString());
    }
    MainWindow window(nullptr, dir.path());
    QCOMPARE(savedSettingsLines.at(402), QStringLiteral("0.5"));
}

void DeviceMonitoringTest::aFailedSaveIsTold()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    // A folder where the file belongs: it cannot be replaced.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("save_data.txt")));
    window.form()->save_button->click();
    QVERIFY2(window.statusBar()->currentMessage().startsWith(QStringLiteral("保存失败")),
             qPrintable(window.statusBar()->currentMessage()));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("save_data.txt"))).isDir());
}

void DeviceMonitoringTest::typedReadingsAreEvaluatedEverySecond()
{
    QTemporaryDir dir;
    QScopedPointer<MainWindow> window(quietWindow(dir.path()));
    typeIntoPanel(window.data(), PanelPrefix::Temperature, 150, QStringLiteral("36.6"));
    typeIntoPanel(window.data(), PanelPrefix::Voltage, 150, QStringLiteral("3600.5"));
    typeIntoPanel(window.data(), PanelPrefix::Voltage, 151, QStringLiteral("3600"));
    typeIntoPanel(window.data(), PanelPrefix::Current, 150, QStringLiteral("abc"));
    typeIntoPanel(window.data(), PanelPrefix::Current, 151, QStringLiteral("12.25"));
    typeIntoPanel(window.data(), PanelPrefix::Status, 150, QStringLiteral("在线"));
    QTRY_COMPARE_WITH_TIMEOUT(window->readings().deviceTemperature[149], 36.6f, 2500);
    QCOMPARE(window->readings().deviceVoltage[149], 0);
    QCOMPARE(window->readings().deviceVoltage[150], 3600);
    QCOMPARE(window->readings().deviceCurrent[149], 0.0f);
    QCOMPARE(window->readings().deviceCurrent[150], 12.25f);
    QCOMPARE(window->readings().deviceStatusText[149], QStringLiteral("在线"));
}

void DeviceMonitoringTest::alarmIsRecordedShownAndRecovered()
{
    QTemporaryDir dir;
    QScopedPointer<MainWindow> window(quietWindow(dir.path()));
    QLineEdit *temperature = panelField(window.data(), PanelPrefix::Temperature, 5);
    const QColor normal = fieldColour(temperature);
    typeIntoPanel(window.data(), PanelPrefix::Temperature, 5, QStringLiteral("95"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(window.data(), 0, 0), QStringLiteral("5温度异常"), 2500);
    QCOMPARE(cell(window.data(), 0, 1), window->form()->system_time->text());
    QCOMPARE(cell(window.data(), 0, 2), QString());
    QCOMPARE(fieldColour(temperature), QColor(255, 96, 96));
    QCOMPARE(fieldColour(panelField(window.data(), PanelPrefix::Temperature, 6)), normal);
    QVERIFY(window->form()->alarm_record->styleSheet().contains(QStringLiteral("red")));

    typeIntoPanel(window.data(), PanelPrefix::Temperature, 5, QStringLiteral("25"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(window.data(), 0, 0), QStringLiteral("5温度恢复正常"), 2500);
    QCOMPARE(cell(window.data(), 0, 2), window->form()->system_time->text());
    QCOMPARE(cell(window.data(), 1, 0), QString());
    QCOMPARE(fieldColour(temperature), normal);
    QVERIFY(window->form()->alarm_record->styleSheet().isEmpty());
}

void DeviceMonitoringTest::thresholdsAppliedInTheDialogJudgeTheNextTick()
{
    QTemporaryDir dir;
    QScopedPointer<MainWindow> window(quietWindow(dir.path()));
    handleNextModal([](QWidget *modal) {
        ThresholdForm *ui = static_cast<Threshold *>(modal)->form();
        ui->Before_seria_num->setText(QStringLiteral("5"));
        ui->After_serial_num->setText(QStringLiteral("5"));
        ui->lineEdit_Upper_temperature->setText(QStringLiteral("60"));
        ui->Threshold_Settings->click();
    });
    window->form()->Threshold_Settings_button->click();
    QCOMPARE(window->upperTemperatureLimitOf(5), 60.0f);
    QCOMPARE(window->upperTemperatureLimitOf(6), 80.0f);

    typeIntoPanel(window.data(), PanelPrefix::Temperature, 5, QStringLiteral("61"));
    typeIntoPanel(window.data(), PanelPrefix::Temperature, 6, QStringLiteral("61"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(window.data(), 0, 0), QStringLiteral("5温度异常"), 2500);
    QTest::qWait(1200);
    QCOMPARE(cell(window.data(), 1, 0), QString());
}

void DeviceMonitoringTest::clearingReentersAPresentAlarmAtRowZero()
{
    QTemporaryDir dir;
    QScopedPointer<MainWindow> window(quietWindow(dir.path()));
    typeIntoPanel(window.data(), PanelPrefix::Current, 9, QStringLiteral("70"));
    typeIntoPanel(window.data(), PanelPrefix::Voltage, 12, QStringLiteral("1500"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(window.data(), 1, 0), QStringLiteral("12电压欠压"), 2500);
    QCOMPARE(cell(window.data(), 0, 0), QStringLiteral("9电流超限"));
    typeIntoPanel(window.data(), PanelPrefix::Voltage, 12, QStringLiteral("3300"));

    handleNextModal([](QWidget *modal) {
        static_cast<Alarm *>(modal)->form()->pushButton_2->click();
    });
    window->form()->alarm_record->click();
    QCOMPARE(cell(window.data(), 0, 0), QString());
    QCOMPARE(cell(window.data(), 1, 0), QString());
    QVERIFY(window->form()->alarm_record->styleSheet().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(cell(window.data(), 0, 0), QStringLiteral("9电流超限"), 2500);
    QCOMPARE(fieldColour(panelField(window.data(), PanelPrefix::Current, 9)), QColor(255, 96, 96));
    QTest::qWait(1200);
    QCOMPARE(cell(window.data(), 1, 0), QString());
}

KESTRO_TEST_MAIN(DeviceMonitoringTest)
#include "tst_devicemonitoring.moc"
