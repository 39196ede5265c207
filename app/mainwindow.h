#pragma once

#include "core/devicereadings.h"
#include "history/curvecontroller.h"
#include "history/historystore.h"
#include "history/historywritestatus.h"
#include "monitor/alarmdetector.h"
#include "serial/linkcounters.h"
#include "serial/linkstate.h"
#include "serial/modbusframe.h"
#include "serial/portenumeration.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>

class Alarm;
class ArchiveUpdater;
class TrendController;
class AlarmHandling;
class PasswordStore;
class SiteDialog;
class SiteLink;
class StationFaults;
class ConcentratorLink;
class Dialog;
class HistoryPageController;
class MainWindowForm;
class PanelFields;
class PanelFreshness;
class PollingCycle;
class ThrottledText;
struct PageMove;
class QLabel;
class QLineEdit;
class QLockFile;
class QSerialPort;
class Serial_port;
class Threshold;

class MainWindow : public QMainWindow
{
    Q_OBJECT

    friend class Dialog;
    friend class Serial_port;

public:
    static constexpr int kDeviceCount = 200;

    // dataDirectory defaults to the station's fixed data folder; tests pass their own.
    // startPort, when given, is opened at start in place of the remembered port.
    // loginArguments: what a start at login is given, so that it runs as this one.
    // heldLock: the data directory's lock as DataDirectory::takeLock left it, owned from
    // then on; without it the window makes the directory and takes the lock itself.
    explicit MainWindow(QWidget *parent = nullptr, const QString &dataDirectory = QString(),
                        const QString &startPort = QString(),
                        const QStringList &loginArguments = QStringList(),
                        QLockFile *heldLock = nullptr);
    ~MainWindow() override;

    MainWindowForm *form() const { return ui; }
    QString dataDirectory() const { return dataDir; }
    QSerialPort *port() const { return serialPort; }
    ConcentratorLink *link() const { return concentratorLink; }
    Serial_port *serialPortSettings() const { return serialPortDialog; }
    Dialog *devicePageDialog() const { return deviceSelectionDialog; }
    Alarm *alarmRecords() const { return alarmDialog; }
    Threshold *thresholdSettings() const { return thresholdDialog; }
    const DeviceReadings &readings() const { return evaluated; }
    const AlarmDetector &alarms() const { return alarmState; }
    AlarmHandling *alarmHandlingOf() const { return alarmHandling; }
    // None on a second station.
    ArchiveUpdater *archiveUpdaterOf() const { return archiveUpdater; }
    StationFaults *faults() const { return stationFaults; }
    const ModbusFrame::Registers &registers() const { return registerValues; }
    int shownDevicePage() const { return currentPage; }
    const TemperatureCurve &temperatureCurve() const { return curvePage.temperatureCurve(); }
    int plottedDeviceIndex() const { return curvePage.plottedDeviceIndex(); }
    HistoryPageController *historyPageController() const { return historyPage; }
    // False when another station already works on the same data directory; such a
    // window must not be shown or run.
    bool isSoleInstance() const { return soleInstance; }

    // Makes device page 0..13 current; used by the page dialog.
    void showDevicePage(int pageIndex);

    // What the timers do, at a time the caller gives: soak tests drive a simulated week
    // through these without waiting for the clock.
    void evaluateNow() { evaluationTick(); }
    void recordHistoryAt(const QDateTime &now);
    void drawCurveAt(const QDateTime &now);
    int historyLineCount() const { return historyStore.historyLineCount(); }

    // Answer window of each polling request, with the guard that scales with it;
    // shortened by tests that talk to a simulator.
    void setPollStepInterval(int milliseconds);

    float upperTemperatureLimitOf(int device) const { return upperTemperatureLimit[device - 1]; }
    float lowerTemperatureLimitOf(int device) const { return lowerTemperatureLimit[device - 1]; }
    float upperCurrentLimitOf(int device) const { return upperCurrentLimit[device - 1]; }

protected:
    void timerEvent(QTimerEvent *event) override;

signals:
    // A minute write has run; the archive and an open trend follow it.
    void historyMinuteRecorded(const QDateTime &now);

private slots:
    void on_next_pageButton_clicked();
    void on_previous_pageButton_clicked();
    void on_Device_selection_clicked();
    void on_alarm_record_clicked();
    void on_Threshold_Settings_button_clicked();
    void on_pushButton_graph_clicked();
    void on_pushButton_graph_home_clicked();
    void on_Serial_port_parameters_clicked();
    void on_history_button_clicked();
    void on_history_home_button_clicked();
    void on_save_button_clicked();
    void on_Historical_curve_query_button_clicked();
    void on_history_query_button_clicked();
    void on_history_export_button_clicked();
    void Chart_Init();
    void DrawLine();

private:
    void initialiseStartup();
    void clockTick();
    void pollingTick();
    void openDialog(QDialog *dialog);
    void applyPageMove(const PageMove &move);
    void setDeviceViewControls(bool deviceView);
    void enterQueryView(QWidget *pageWidget);
    void returnToDeviceView();

    void sendPollRequest(int step, const QByteArray &frame);
    void finishPollStep(int step);
    QString settingsFilePath() const;
    void takeInstanceLock();
    void loadDeviceSettings();
    void evaluationTick();
    // Polling fast: the devices of the answer just applied are judged at once.
    void judgeAnswer(int step);
    void judgeReadings();
    void recordHistoryMinute();
    void setUpHistoryTable();
    void recordAlarm(int code, int row, AlarmDetector::Kind kind);
    void recordRecovery(int code, int row, AlarmDetector::Kind kind);
    void showOpenAlarms();
    void clearAlarms();
    void setUpAlarmHandling();
    void paintAlarmRow(int row);
    void showAlarmCounts();
    void setUpSiteLink();
    void setUpTrends();
    void setUpAutostart();
    void publishDevices();
    void applyThresholds(int firstDevice, int lastDevice, float upperTemperature,
                         float lowerTemperature, float upperCurrent);
    void setUpLinkStatus();
    void setUpFaults();
    void showLinkState(LinkState state);
    void showLinkCounters(const LinkCounters &counters);
    void logLinkEvent(const QString &event);

    // First of all, so the ports are being listed while the form is built.
    PortEnumeration startupPorts;
    // Made before the form: the chart's axes exist from the first moment.
    CurveController curvePage;
    QLockFile *instanceLock = nullptr;
    bool soleInstance = true;
    // Deleted before the form, as a running query reports to its bar.
    HistoryPageController *historyPage = nullptr;
    TrendController *trendController = nullptr;
    // None on a second station, which must not write the archive.
    ArchiveUpdater *archiveUpdater = nullptr;

    int clockTimer = 0;
    int pollTimer = 0;
    int evaluationTimer = 0;
    int historyTimer = 0;

    MainWindowForm *ui = nullptr;
    PanelFields *panelFields = nullptr;
    PanelFreshness *panelFreshness = nullptr;
    Dialog *deviceSelectionDialog = nullptr;
    Alarm *alarmDialog = nullptr;
    Threshold *thresholdDialog = nullptr;
    Serial_port *serialPortDialog = nullptr;
    QSerialPort *serialPort = nullptr;
    QLineEdit *currentLineEdit = nullptr;
    ModbusFrame::Registers registerValues{};
    int currentPage = 0;

    std::array<float, kDeviceCount> upperTemperatureLimit{};
    std::array<float, kDeviceCount> lowerTemperatureLimit{};
    std::array<float, kDeviceCount> upperCurrentLimit{};
    // deviceTemperature, deviceVoltage, deviceCurrent and deviceStatusText.
    DeviceReadings evaluated;
    // The per-device alarm flags, the next alarm row and the open alarm codes.
    AlarmDetector alarmState;
    // How the panel fields are drawn for alarms, to touch only those that change.
    AlarmDetector shownAlarms;

    QStringList autostartArguments;
    QString dataDir;
    // After dataDir, which it is made from.
    HistoryStore historyStore;
    PollingCycle *pollingCycle = nullptr;
    ConcentratorLink *concentratorLink = nullptr;
    QLabel *linkStateLabel = nullptr;
    QLabel *linkCountersLabel = nullptr;
    ThrottledText *linkCountersText = nullptr;
    AlarmHandling *alarmHandling = nullptr;
    QLabel *alarmCountLabel = nullptr;
    QLabel *journalFaultLabel = nullptr;
    // What else the operator must be told of; see StationFaults.
    StationFaults *stationFaults = nullptr;
    QLabel *stationFaultLabel = nullptr;
    SiteLink *siteLink = nullptr;
    SiteDialog *siteDialog = nullptr;
    PasswordStore *sitePassword = nullptr;
    QLabel *siteStateLabel = nullptr;
    HistoryWriteStatus historyWriteStatus;
    // Shown only while minute lines fail to reach the disk.
    QLabel *historyWriteLabel = nullptr;
};
