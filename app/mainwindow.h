#pragma once

#include "history/curvecontroller.h"
#include "station/station.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class Alarm;
class AlarmRulesDialog;
class AlarmSound;
class DevicePanels;
class Dialog;
class HistoryPageController;
class MainWindowForm;
class PanelFields;
class NotifyDialog;
class ReportDialog;
class ReportScheduler;
class SiteDialog;
class StationStatusBar;
class Serial_port;
class Threshold;
class TrendController;
struct PageMove;
class QLineEdit;
class QLockFile;

// The station's window: a view of its Station, which it makes first. It shows the device
// model on the paged panels and hands the operator's edits and commands to the station.
class MainWindow : public QMainWindow
{
    Q_OBJECT

    friend class Dialog;

public:
    static constexpr int kDeviceCount = 200;

    // dataDirectory defaults to the station's fixed data folder; tests pass their own.
    // startPort, when given, is opened at start in place of the remembered port.
    // loginArguments: what a start at login is given, so that it runs as this one.
    // heldLock: the data directory's lock as DataDirectory::takeLock left it, owned from
    // then on; without it the station makes the directory and takes the lock itself, before
    // any of the window is made.
    explicit MainWindow(QWidget *parent = nullptr, const QString &dataDirectory = QString(),
                        const QString &startPort = QString(),
                        const QStringList &loginArguments = QStringList(),
                        QLockFile *heldLock = nullptr);
    ~MainWindow() override;

    Station *station() const { return core; }
    MainWindowForm *form() const { return ui; }
    QString dataDirectory() const { return core->dataDirectory(); }
    QSerialPort *port() const { return core->port(); }
    ConcentratorLink *link() const { return core->link(); }
    Serial_port *serialPortSettings() const { return serialPortDialog; }
    Dialog *devicePageDialog() const { return deviceSelectionDialog; }
    Alarm *alarmRecords() const { return alarmDialog; }
    Threshold *thresholdSettings() const { return thresholdDialog; }
    const DeviceReadings &readings() const;
    const AlarmDetector &alarms() const { return core->alarms(); }
    AlarmHandling *alarmHandlingOf() const { return core->alarmHandling(); }
    AlarmSound *alarmSound() const { return sound; }
    // None on a second station.
    ArchiveUpdater *archiveUpdaterOf() const { return core->archiveUpdater(); }
    StationFaults *faults() const { return core->faults(); }
    const ModbusFrame::Registers &registers() const { return core->registers(); }
    int shownDevicePage() const { return currentPage; }
    const TemperatureCurve &temperatureCurve() const { return curvePage.temperatureCurve(); }
    int plottedDeviceIndex() const { return curvePage.plottedDeviceIndex(); }
    HistoryPageController *historyPageController() const { return historyPage; }
    // False when another station already works on the same data directory; such a
    // window must not be shown or run.
    bool isSoleInstance() const { return core->isSoleInstance(); }

    // Makes device page 0..13 current; used by the page dialog.
    void showDevicePage(int pageIndex);

    // What the timers do, at a time the caller gives: soak tests drive a simulated week
    // through these without waiting for the clock.
    void evaluateNow() { core->evaluationTick(); }
    void recordHistoryAt(const QDateTime &now) { core->recordHistoryAt(now); }
    void drawCurveAt(const QDateTime &now);
    int historyLineCount() const { return core->historyLineCount(); }

    // Answer window of each polling request, with the guard that scales with it;
    // shortened by tests that talk to a simulator.
    void setPollStepInterval(int milliseconds) { core->setPollStepInterval(milliseconds); }

    float upperTemperatureLimitOf(int device) const { return core->upperTemperatureLimitOf(device); }
    float lowerTemperatureLimitOf(int device) const { return core->lowerTemperatureLimitOf(device); }
    float upperCurrentLimitOf(int device) const { return core->upperCurrentLimitOf(device); }

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
    void openRulesDialog();

private:
    void clockTick(const QDateTime &now);
    void openDialog(QDialog *dialog);
    void applyPageMove(const PageMove &move);
    void setDeviceViewControls(bool deviceView);
    void enterQueryView(QWidget *pageWidget);
    void returnToDeviceView();
    void setUpAlarms();
    void setUpCornerDialogs();
    void setUpTrends();
    void setUpAutostart();
    void showJudgement();

    // First of all: the lock is taken and the ports are being listed while the form is built.
    Station *core = nullptr;
    // Made before the form: the chart's axes exist from the first moment.
    CurveController curvePage;
    // Deleted before the form, as a running query reports to its bar.
    HistoryPageController *historyPage = nullptr;
    TrendController *trendController = nullptr;

    MainWindowForm *ui = nullptr;
    PanelFields *panelFields = nullptr;
    DevicePanels *devicePanels = nullptr;
    StationStatusBar *statusBarView = nullptr;
    Dialog *deviceSelectionDialog = nullptr;
    Alarm *alarmDialog = nullptr;
    Threshold *thresholdDialog = nullptr;
    Serial_port *serialPortDialog = nullptr;
    AlarmSound *sound = nullptr;
    SiteDialog *siteDialog = nullptr;
    NotifyDialog *notifyDialog = nullptr;
    ReportScheduler *reports = nullptr;
    ReportDialog *reportDialog = nullptr;
    AlarmRulesDialog *rulesDialog = nullptr;
    int currentPage = 0;
    QStringList autostartArguments;
};
