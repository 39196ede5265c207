#include "app/mainwindow.h"

#include "app/applicationtitle.h"
#include "app/autostart.h"
#include "app/stationstatusbar.h"
#include "forms/mainwindowform.h"
#include "forms/panelfields.h"
#include "history/historypagecontroller.h"
#include "monitor/alarm.h"
#include "monitor/alarmhandling.h"
#include "monitor/alarmsound.h"
#include "monitor/devicemodel.h"
#include "monitor/devicepanels.h"
#include "monitor/threshold.h"
#include "navigation/dialog.h"
#include "navigation/pagenavigation.h"
#include "notify/notifydialog.h"
#include "report/reportdialog.h"
#include "report/reportscheduler.h"
#include "rules/alarmrulesdialog.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"
#include "site/sitedialog.h"
#include "site/sitelink.h"
#include "site/sitesettings.h"
#include "station/stationfaults.h"
#include "storage/alarmjournal.h"
#include "storage/archiveupdater.h"
#include "trend/trendcontroller.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusBar>

// The station code lives in a static library; referencing the bundle here keeps the
// linker from dropping the backdrop images.
static void initialiseResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent, const QString &dataDirectory,
                       const QString &startPort, const QStringList &loginArguments,
                       QLockFile *heldLock)
    : QMainWindow(parent),
      core(new Station(dataDirectory, heldLock, this)),
      autostartArguments(loginArguments)
{
    initialiseResources();

    ui = new MainWindowForm;
    ui->setupUi(this);
    panelFields = new PanelFields(this);
    devicePanels = new DevicePanels(*panelFields, core->devices(), this);
    statusBarView = new StationStatusBar(core, ui->statusbar, this);

    deviceSelectionDialog = new Dialog(this);
    alarmDialog = new Alarm(this);
    thresholdDialog = new Threshold(this);
    serialPortDialog = new Serial_port(core, this);
    alarmDialog->setExportDirectory(core->dataDirectory());
    connect(thresholdDialog, &Threshold::thresholdsApplied, core, &Station::applyThresholds);
    connect(serialPortDialog, &Serial_port::paceChosen, core, &Station::setPace);
    connect(ui->concentrator_id, &QLineEdit::textChanged, core, &Station::setConcentratorAddress);
    core->setConcentratorAddress(ui->concentrator_id->text());
    connect(core, &Station::clockTicked, this, &MainWindow::clockTick);
    connect(core, &Station::judged, this, &MainWindow::showJudgement);
    connect(ui->rules_button, &QPushButton::clicked, this, &MainWindow::openRulesDialog);
    connect(alarmDialog, &Alarm::rulesRequested, this, &MainWindow::openRulesDialog);

    setUpAlarms();
    setUpCornerDialogs();
    Chart_Init();
    historyPage = new HistoryPageController(
        {ui->history_table, ui->History_id, ui->dateTime_head, ui->dateTime_tail,
         ui->history_query_button, ui->history_export_button, ui->progressBar, ui->statusbar},
        core->dataDirectory(), this);
    setUpTrends();
    setUpAutostart();
    core->start();

    const QString resumePort = !core->isSoleInstance() ? QString()
                               : !startPort.isEmpty()  ? startPort
                                                       : LinkMemory::portToResume();
    if (!resumePort.isEmpty())
        serialPortDialog->resume(resumePort);
}

MainWindow::~MainWindow()
{
    // The views go before what they show: the station is deleted after the form.
    delete devicePanels;
    delete statusBarView;
    delete historyPage;
    delete panelFields;
    delete ui;
}

const DeviceReadings &MainWindow::readings() const
{
    return core->devices()->readings();
}

void MainWindow::setUpAlarms()
{
    AlarmHandling *handling = core->alarmHandling();
    alarmDialog->setJournalDatabase(core->database());
    sound = new AlarmSound(this);
    alarmDialog->showSoundEnabled(sound->isEnabled());
    connect(core, &Station::alarmEntered, alarmDialog, &Alarm::enter);
    connect(alarmDialog, &Alarm::alarmsCleared, core, &Station::clearAlarms);
    connect(handling, &AlarmHandling::rowStateChanged, alarmDialog,
            [this, handling](int row) { alarmDialog->paintRow(row, handling->state(row)); });
    connect(handling, &AlarmHandling::countsChanged, this, [this, handling]() {
        sound->setSounding(handling->sounding());
        ui->silence_button->setEnabled(handling->sounding());
    });
    ui->silence_button->setEnabled(handling->sounding());
    connect(alarmDialog, &Alarm::acknowledgeRequested, this, [this](const QVector<int> &rows) {
        alarmDialog->acknowledgementDone(core->acknowledge(rows));
    });
    connect(alarmDialog, &Alarm::silenceRequested, core, &Station::silence);
    connect(ui->silence_button, &QPushButton::clicked, core, &Station::silence);
    connect(alarmDialog, &Alarm::soundEnabledChanged, sound, &AlarmSound::setEnabled);
    // A PC without a speaker makes no system beep: the operator must see that it stands in.
    connect(sound, &AlarmSound::outputChanged, this, [this]() {
        core->faults()->show("sound", sound->usesSystemBeep()
                                          ? tr("报警声音：无音频输出，改用系统提示音") : QString());
    });
    connect(thresholdDialog, &Threshold::deadbandsApplied, this,
            [this](int first, int last, float temperature, float current, int delay) {
                QString error;
                if (!core->applyFilters(first, last, temperature, current, delay, &error))
                    ui->statusbar->showMessage(tr("回差延时已生效，但未能保存：%1").arg(error), 30000);
            });
}

// After each judgement: the alarm records' button is red while any alarm is open.
void MainWindow::showJudgement()
{
    // A style sheet is costly to apply; only when it changes.
    const QString style = core->alarms().anyOpen() ? QStringLiteral("color: red;") : QString();
    if (ui->alarm_record->styleSheet() != style)
        ui->alarm_record->setStyleSheet(style);
}

void MainWindow::setUpCornerDialogs()
{
    SiteLink *site = core->siteLink();
    // Made at its first opening: most stations never open it, and start-up stays short.
    connect(ui->site_button, &QPushButton::clicked, this, [this, site]() {
        if (!siteDialog) {
            siteDialog = new SiteDialog(this);
            connect(siteDialog, &SiteDialog::settingsApplied, site, &SiteLink::configure);
            connect(siteDialog, &SiteDialog::modbusServerApplied, core, &Station::applyModbusServerSettings);
            connect(site, &SiteLink::statusChanged, siteDialog, &SiteDialog::showState);
        }
        siteDialog->showState(site->statusText());
        siteDialog->exec();
    });
    connect(ui->notify_button, &QPushButton::clicked, this, [this]() {
        if (!notifyDialog) {
            notifyDialog = new NotifyDialog(this);
            connect(notifyDialog, &NotifyDialog::settingsApplied, core, &Station::applyNotifySettings);
        }
        notifyDialog->exec();
    });
    // Made here, as the PDF needs the window's fonts; only the sole station writes on schedule.
    reports = new ReportScheduler(core->dataDirectory(), this);
    connect(reports, &ReportScheduler::problemChanged, this,
            [this](const QString &text) { core->faults()->show("report", text); });
    if (core->isSoleInstance())
        reports->start();
    connect(ui->report_button, &QPushButton::clicked, this, [this]() {
        if (!reportDialog)
            reportDialog = new ReportDialog(reports, core->dataDirectory(), this);
        reportDialog->exec();
    });
}

void MainWindow::openRulesDialog()
{
    // Made at its first opening, as the site dialog is.
    if (!rulesDialog)
        rulesDialog = new AlarmRulesDialog(core, this);
    rulesDialog->exec();
}

void MainWindow::clockTick(const QDateTime &now)
{
    ui->system_time->setText(core->clockText());
    drawCurveAt(now);
}

void MainWindow::setUpAutostart()
{
    QCheckBox *box = ui->autostart_check;
    box->setChecked(Autostart::isEnabled());
    connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
        QString error;
        if (Autostart::setEnabled(on, QCoreApplication::applicationFilePath(),
                                  autostartArguments, &error))
            return;
        const QSignalBlocker keep(box);
        box->setChecked(!on);
        ui->statusbar->showMessage(tr("开机自动启动未能设置：%1").arg(error), 30000);
    });
}

void MainWindow::setUpTrends()
{
    trendController = new TrendController(core->dataDirectory(), this);
    const DeviceModel *devices = core->devices();
    trendController->setDeviceNames(
        [devices](int device) { return devices->setting(DeviceModel::Name, device); });
    trendController->setLimits([this](int device) {
        return TrendLimits{device, core->upperTemperatureLimitOf(device),
                           core->lowerTemperatureLimitOf(device), core->upperCurrentLimitOf(device)};
    });
    trendController->setStationName([]() { return SiteSettings::load().station; });
    connect(ui->trend_button, &QPushButton::clicked, trendController, &TrendController::open);
    connect(ui->history_trend_button, &QPushButton::clicked, trendController, [this]() {
        trendController->openFor(historyPage->chosenDevice(), historyPage->chosenFrom(),
                                 historyPage->chosenTo());
    });
    connect(core, &Station::historyMinuteRecorded, trendController,
            &TrendController::minuteRecorded);
    if (ArchiveUpdater *archive = core->archiveUpdater())
        connect(archive, &ArchiveUpdater::hoursWritten, trendController,
                &TrendController::archiveUpdated);
}

void MainWindow::on_save_button_clicked()
{
    QString error;
    if (!core->saveDeviceSettings(&error))
        ui->statusbar->showMessage(tr("保存失败，设备设置未改变：%1").arg(error), 30000);
}

void MainWindow::on_history_query_button_clicked()
{
    historyPage->query();
}

void MainWindow::on_history_export_button_clicked()
{
    historyPage->exportResults();
}

void MainWindow::Chart_Init()
{
    curvePage.Chart_Init(ui->widget);
}

void MainWindow::DrawLine()
{
    drawCurveAt(QDateTime::currentDateTime());
}

void MainWindow::drawCurveAt(const QDateTime &now)
{
    curvePage.drawCurveAt(now, readings());
}

void MainWindow::on_Historical_curve_query_button_clicked()
{
    curvePage.chooseDevice(ui->Historical_curve_temperature_id->text());
}

void MainWindow::showDevicePage(int pageIndex)
{
    currentPage = pageIndex;
    ui->stackedWidget->setCurrentIndex(pageIndex);
}

void MainWindow::applyPageMove(const PageMove &move)
{
    if (move.showPage)
        showDevicePage(move.currentPage);
    else
        currentPage = move.currentPage;
}

void MainWindow::on_next_pageButton_clicked()
{
    applyPageMove(PageMove::next(currentPage));
}

void MainWindow::on_previous_pageButton_clicked()
{
    applyPageMove(PageMove::previous(currentPage));
}

void MainWindow::openDialog(QDialog *dialog)
{
    dialog->setWindowTitle(applicationTitle());
    dialog->exec();
}

void MainWindow::on_Device_selection_clicked()
{
    openDialog(deviceSelectionDialog);
}

void MainWindow::on_alarm_record_clicked()
{
    openDialog(alarmDialog);
}

void MainWindow::on_Threshold_Settings_button_clicked()
{
    openDialog(thresholdDialog);
}

void MainWindow::on_Serial_port_parameters_clicked()
{
    openDialog(serialPortDialog);
}

// Paging makes no sense on the query pages, and the headings and clock belong to the panels.
void MainWindow::setDeviceViewControls(bool deviceView)
{
    ui->Device_selection->setEnabled(deviceView);
    ui->next_pageButton->setEnabled(deviceView);
    ui->previous_pageButton->setEnabled(deviceView);
    ui->system_time->setVisible(deviceView);
    for (QLabel *heading : ui->columnHeadings())
        heading->setVisible(deviceView);
}

void MainWindow::enterQueryView(QWidget *pageWidget)
{
    setDeviceViewControls(false);
    ui->stackedWidget->setCurrentWidget(pageWidget);
}

void MainWindow::returnToDeviceView()
{
    setDeviceViewControls(true);
    showDevicePage(0);
}

void MainWindow::on_pushButton_graph_clicked()
{
    enterQueryView(ui->page_14);
}

void MainWindow::on_history_button_clicked()
{
    historyPage->pageOpened(QDateTime::currentDateTime());
    enterQueryView(ui->page_15);
}

void MainWindow::on_pushButton_graph_home_clicked()
{
    returnToDeviceView();
}

void MainWindow::on_history_home_button_clicked()
{
    returnToDeviceView();
}
