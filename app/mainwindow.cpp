#include "app/mainwindow.h"

#include "app/applicationtitle.h"
#include "app/autostart.h"
#include "app/stationfaults.h"
#include "app/throttledtext.h"
#include "config/devicesettingsfile.h"
#include "config/savedsettingslines.h"
#include "config/stationsettings.h"
#include "core/datadirectory.h"
#include "core/servicelog.h"
#include "forms/alarmform.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "forms/panelfields.h"
#include "history/historypagecontroller.h"
#include "monitor/alarm.h"
#include "monitor/alarmhandling.h"
#include "monitor/alarmsound.h"
#include "monitor/deviceevaluation.h"
#include "monitor/panelfreshness.h"
#include "monitor/panelupdate.h"
#include "monitor/pollingcycle.h"
#include "monitor/threshold.h"
#include "monitor/thresholdrange.h"
#include "navigation/dialog.h"
#include "navigation/pagenavigation.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "serial/linkstatustext.h"
#include "serial/pollingpace.h"
#include "serial/serial_port.h"
#include "site/passwordstore.h"
#include "site/sitedialog.h"
#include "site/sitelink.h"
#include "site/sitesettings.h"
#include "storage/alarmjournal.h"
#include "storage/archiveupdater.h"
#include "trend/trendcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QFont>
#include <QDir>
#include <QLocale>
#include <QLockFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTimerEvent>
#include <cstdio>
#include <memory>

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
      instanceLock(heldLock),
      autostartArguments(loginArguments),
      dataDir(dataDirectory.isEmpty() ? DataDirectory::defaultPath() : dataDirectory),
      historyStore(dataDir)
{
    initialiseResources();

    ui = new MainWindowForm;
    ui->setupUi(this);
    panelFields = new PanelFields(this);
    panelFreshness = new PanelFreshness(*panelFields, this);

    deviceSelectionDialog = new Dialog(this);
    alarmDialog = new Alarm(this);
    thresholdDialog = new Threshold(this);
    serialPortDialog = new Serial_port(this);
    alarmDialog->setExportDirectory(dataDir);
    connect(alarmDialog, &Alarm::alarmsCleared, this, &MainWindow::clearAlarms);
    connect(thresholdDialog, &Threshold::thresholdsApplied, this, &MainWindow::applyThresholds);

    pollingCycle = new PollingCycle(this);
    concentratorLink = new ConcentratorLink(serialPort, this);
    connect(pollingCycle, &PollingCycle::requestDue, this, &MainWindow::sendPollRequest);
    connect(pollingCycle, &PollingCycle::stepElapsed, this, &MainWindow::finishPollStep);
    connect(concentratorLink, &ConcentratorLink::answerDecoded, this,
            [this](const ModbusFrame::Registers &registers) { registerValues = registers; });
    connect(concentratorLink, &ConcentratorLink::stepWithoutReading, this,
            [this]() { registerValues.fill(0); });
    // Polling fast, an answer is judged as soon as it is on the panels.
    connect(concentratorLink, &ConcentratorLink::answerSettled, pollingCycle,
            &PollingCycle::answerSettled);
    connect(pollingCycle, &PollingCycle::answerApplied, this, &MainWindow::judgeAnswer);
    connect(pollingCycle, &PollingCycle::cycleDue, this, &MainWindow::pollingTick);
    pollingCycle->setPace(PollingPace::load());
    connect(serialPortDialog, &Serial_port::paceChosen, pollingCycle, &PollingCycle::setPace);
    setUpLinkStatus();
    setUpFaults();

    initialiseStartup();
    setUpAlarmHandling();
    setUpSiteLink();
    Chart_Init();
    setUpHistoryTable();
    setUpTrends();
    setUpAutostart();

    const QString resumePort =
        !soleInstance ? QString() : !startPort.isEmpty() ? startPort : LinkMemory::portToResume();
    if (!resumePort.isEmpty())
        serialPortDialog->resume(resumePort);
}

MainWindow::~MainWindow()
{
    delete historyPage;
    delete instanceLock;
    delete panelFields;
    delete ui;
}

void MainWindow::setUpLinkStatus()
{
    // Two labels, so a step's new counts repaint only their own text.
    linkStateLabel = new QLabel(ui->statusbar);
    linkStateLabel->setObjectName(QStringLiteral("link_state"));
    linkCountersLabel = new QLabel(ui->statusbar);
    linkCountersLabel->setObjectName(QStringLiteral("link_counters"));
    ui->statusbar->addWidget(linkStateLabel, 1);
    ui->statusbar->addPermanentWidget(linkCountersLabel);
    linkCountersText = new ThrottledText(linkCountersLabel, this);
    showLinkState(LinkState::Closed);

    connect(concentratorLink, &ConcentratorLink::stateChanged, this, &MainWindow::showLinkState);
    connect(concentratorLink, &ConcentratorLink::stateChanged, serialPortDialog,
            &Serial_port::showPortState);
    connect(concentratorLink, &ConcentratorLink::countersChanged, this,
            &MainWindow::showLinkCounters);
    connect(concentratorLink, &ConcentratorLink::logEvent, this, &MainWindow::logLinkEvent);
}

void MainWindow::setUpFaults()
{
    stationFaults = new StationFaults(this);
    stationFaultLabel = new QLabel(ui->statusbar);
    stationFaultLabel->setObjectName(QStringLiteral("station_faults"));
    stationFaultLabel->setStyleSheet(QStringLiteral("color: red;"));
    ui->statusbar->addPermanentWidget(stationFaultLabel);
    stationFaultLabel->hide();
    connect(stationFaults, &StationFaults::changed, this, [this](const QString &text) {
        stationFaultLabel->setText(text);
        stationFaultLabel->setVisible(!text.isEmpty());
    });
    // Every write of the per-user settings, whoever makes it.
    auto showSettings = [this](const QString &problem) { stationFaults->set("settings", problem); };
    connect(StationSettings::notifier(), &StationSettings::saved, this, showSettings);
    showSettings(StationSettings::notifier()->problem());
}

void MainWindow::showLinkState(LinkState state)
{
    if (state == LinkState::Lost)
        registerValues.fill(0);
    linkStateLabel->setText(LinkStatusText::stateText(state, concentratorLink->portName(),
                                                      concentratorLink->silentSince()));
}

void MainWindow::showLinkCounters(const LinkCounters &counters)
{
    linkCountersText->setText(LinkStatusText::countersText(counters));
}

void MainWindow::logLinkEvent(const QString &event)
{
    ServiceLog::write("link", event);
}

void MainWindow::initialiseStartup()
{
    clockTimer = startTimer(1000, Qt::CoarseTimer);
    pollTimer = startTimer(1000, Qt::CoarseTimer);
    evaluationTimer = startTimer(1000, Qt::CoarseTimer);
    historyTimer = startTimer(60000, Qt::CoarseTimer);

    currentPage = 0;
    registerValues.fill(0);

    connect(serialPort, &QSerialPort::readyRead, concentratorLink, &ConcentratorLink::DataReceived);

    alarmState.clear();
    upperTemperatureLimit.fill(80.0f);
    lowerTemperatureLimit.fill(-40.0f);
    upperCurrentLimit.fill(50.0f);

    if (!instanceLock)
        DataDirectory::ensureExists(dataDir);
    takeInstanceLock();
    loadDeviceSettings();
}

void MainWindow::takeInstanceLock()
{
    if (!instanceLock)
        instanceLock = DataDirectory::takeLock(dataDir).release();
    // Only another live station refuses the start; a folder that takes no lock must not.
    soleInstance = instanceLock->error() != QLockFile::LockFailedError;
}

QString MainWindow::settingsFilePath() const
{
    return QDir(dataDir).filePath(QStringLiteral("save_data.txt"));
}

void MainWindow::loadDeviceSettings()
{
    if (!DeviceSettingsFile::load(settingsFilePath(), &savedSettingsLines))
        qDebug().noquote() << QStringLiteral("读取保存设备id 安装部位失败");
    for (int line = 0; line < DeviceSettingsFile::kLineCount; ++line) {
        const char *prefix = line < 200   ? PanelPrefix::Name
                             : line < 400 ? PanelPrefix::Location
                                          : PanelPrefix::Correction;
        currentLineEdit = panelFields->field(prefix, line % 200 + 1);
        // A field that already shows the text is left alone: setting it again lays the text
        // out anew, and on a usual start most of the 600 are empty or "0" already.
        if (currentLineEdit && currentLineEdit->text() != savedSettingsLines.at(line))
            currentLineEdit->setText(savedSettingsLines.at(line));
    }
}

void MainWindow::on_save_button_clicked()
{
    QVector<QString> lines;
    lines.reserve(DeviceSettingsFile::kLineCount);
    for (const char *prefix : {PanelPrefix::Name, PanelPrefix::Location, PanelPrefix::Correction}) {
        for (int device = 1; device <= kDeviceCount; ++device) {
            currentLineEdit = panelFields->field(prefix, device);
            lines.append(currentLineEdit ? currentLineEdit->text() : QString());
        }
    }
    QString error;
    if (!DeviceSettingsFile::save(settingsFilePath(), lines, &error)) {
        std::fputs("Open failed1.\n", stdout);
        std::fflush(stdout);
        ui->statusbar->showMessage(tr("保存失败，设备设置未改变：%1").arg(error), 30000);
    }
}

void MainWindow::evaluationTick()
{
    DeviceEvaluation::readPanels(*panelFields, evaluated, currentLineEdit);
    judgeReadings();
}

void MainWindow::judgeAnswer(int step)
{
    // Only the column the answer filled: the rest was read at the last tick, and the next
    // tick reads everything again.
    const PollingCycle::Step &done = PollingCycle::steps()[static_cast<size_t>(step)];
    DeviceEvaluation::readColumn(*panelFields, done.quantity, done.firstDevice, evaluated,
                                 currentLineEdit);
    judgeReadings();
}

void MainWindow::judgeReadings()
{
    panelFreshness->mark(evaluated);
    const QDateTime now = QDateTime::currentDateTime();
    // The link first: a lost concentrator explains what follows.
    QVector<AlarmDetector::Event> events =
        alarmState.detectLink(AlarmDetector::linkCondition(concentratorLink->state()),
                              concentratorLink->silentSince().toMSecsSinceEpoch(),
                              now.toMSecsSinceEpoch());
    events += alarmState.detect(evaluated, upperTemperatureLimit, lowerTemperatureLimit,
                                upperCurrentLimit, alarmHandling->filters(),
                                now.toMSecsSinceEpoch());
    for (const AlarmDetector::Event &event : events) {
        if (event.recovery)
            recordRecovery(event.code, event.row, event.kind);
        else
            recordAlarm(event.code, event.row, event.kind);
    }
    alarmHandling->takeEvents(events, ui->system_time->text(), now);
    showOpenAlarms();
    publishDevices();
}

void MainWindow::recordAlarm(int code, int row, AlarmDetector::Kind kind)
{
    QTableWidget *table = alarmDialog->form()->tableWidget_alarm;
    table->setItem(row, 0, new QTableWidgetItem(AlarmDetector::eventText({false, code, kind, row})));
    table->setItem(row, 1, new QTableWidgetItem(ui->system_time->text()));
}

void MainWindow::recordRecovery(int code, int row, AlarmDetector::Kind kind)
{
    QTableWidget *table = alarmDialog->form()->tableWidget_alarm;
    table->setItem(row, 0, new QTableWidgetItem(AlarmDetector::eventText({true, code, kind, row})));
    table->setItem(row, 2, new QTableWidgetItem(ui->system_time->text()));
}

// An alarm is seen on the panel it concerns, without opening the records.
void MainWindow::showOpenAlarms()
{
    struct Field
    {
        AlarmDetector::Kind kind;
        PanelQuantity quantity;
        std::array<int, kDeviceCount> AlarmDetector::*shown;
    };
    static const Field fields[] = {
        {AlarmDetector::Temperature, PanelQuantity::Temperature,
         &AlarmDetector::temperatureAlarmActive},
        {AlarmDetector::Voltage, PanelQuantity::Voltage, &AlarmDetector::voltageAlarmActive},
        {AlarmDetector::Current, PanelQuantity::Current, &AlarmDetector::currentAlarmActive}};
    // 0 no alarm, 1 open, 2 open on a reading nobody heard lately: paler, so its grey text
    // stays legible and the alarm still shows.
    static const QColor alarmColours[] = {QColor(), QColor(255, 96, 96), QColor(255, 190, 190)};
    for (const Field &field : fields) {
        for (int device = 1; device <= kDeviceCount; ++device) {
            const int look = !alarmState.isOpen(field.kind, device) ? 0
                             : evaluated.isFresh(field.quantity, device) ? 1 : 2;
            int &shown = (shownAlarms.*field.shown)[device - 1];
            if (look == shown)
                continue;
            shown = look;
            QLineEdit *edit = panelFields->field(panelPrefix(field.quantity), device);
            if (edit) {
                QPalette palette = edit->palette();
                palette.setColor(QPalette::Base,
                                 look ? alarmColours[look]
                                      : QApplication::palette(edit).color(QPalette::Base));
                edit->setPalette(palette);
            }
        }
    }
    // A style sheet is costly to apply; only when it changes.
    const QString alarmButtonStyle = alarmState.anyOpen() ? QStringLiteral("color: red;") : QString();
    if (ui->alarm_record->styleSheet() != alarmButtonStyle)
        ui->alarm_record->setStyleSheet(alarmButtonStyle);
}

void MainWindow::clearAlarms()
{
    alarmState.clear();
    alarmHandling->clear(ui->system_time->text(), QDateTime::currentDateTime());
    showOpenAlarms();
}

void MainWindow::setUpAlarmHandling()
{
    alarmHandling = new AlarmHandling(dataDir, this);
    alarmDialog->setJournalDatabase(alarmHandling->journal()->database());
    alarmDialog->showSoundEnabled(alarmHandling->sound()->isEnabled());
    auto now = [this]() { return QDateTime::currentDateTime(); };
    connect(alarmHandling, &AlarmHandling::rowStateChanged, this, &MainWindow::paintAlarmRow);
    connect(alarmHandling, &AlarmHandling::countsChanged, this, &MainWindow::showAlarmCounts);
    connect(alarmDialog, &Alarm::acknowledgeRequested, this, [=](const QVector<int> &rows) {
        alarmDialog->acknowledgementDone(
            alarmHandling->acknowledge(rows, ui->system_time->text(), now()));
    });
    auto silence = [=]() { alarmHandling->silence(ui->system_time->text(), now()); };
    connect(alarmDialog, &Alarm::silenceRequested, this, silence);
    connect(ui->silence_button, &QPushButton::clicked, this, silence);
    connect(alarmDialog, &Alarm::soundEnabledChanged, alarmHandling->sound(), &AlarmSound::setEnabled);
    // A PC without a speaker makes no system beep: the operator must see that it stands in.
    AlarmSound *sound = alarmHandling->sound();
    connect(sound, &AlarmSound::outputChanged, this, [this, sound]() {
        stationFaults->show("sound", sound->usesSystemBeep()
                                         ? tr("报警声音：无音频输出，改用系统提示音") : QString());
    });
    connect(thresholdDialog, &Threshold::deadbandsApplied, this,
            [this](int first, int last, float temperature, float current, int delay) {
                QString error;
                if (!alarmHandling->applyFilters(first, last, temperature, current, delay, &error))
                    ui->statusbar->showMessage(tr("回差延时已生效，但未能保存：%1").arg(error), 30000);
            });

    alarmCountLabel = new QLabel(ui->statusbar);
    alarmCountLabel->setObjectName(QStringLiteral("alarm_counts"));
    // Room for three-digit counts in a wider CJK face than this one, so it never jumps.
    alarmCountLabel->setMinimumWidth(
        alarmCountLabel->fontMetrics().horizontalAdvance(tr("报警 999 │ 未确认 999")) * 5 / 4);
    ui->statusbar->addPermanentWidget(alarmCountLabel);
    journalFaultLabel = new QLabel(ui->statusbar);
    journalFaultLabel->setObjectName(QStringLiteral("journal_state"));
    journalFaultLabel->setStyleSheet(QStringLiteral("color: red;"));
    ui->statusbar->addPermanentWidget(journalFaultLabel);
    auto showFault = [this](const QString &fault) {
        journalFaultLabel->setText(fault);
        journalFaultLabel->setVisible(!fault.isEmpty());
    };
    connect(alarmHandling->journal(), &AlarmJournal::faultChanged, this, showFault);
    showFault(alarmHandling->journal()->fault());
    auto showDatabaseFaults = [this]() {
        stationFaults->set("database", alarmHandling->setAsideFault());
        stationFaults->set("deadband", alarmHandling->settingsFault());
    };
    connect(alarmHandling, &AlarmHandling::databaseFaultsChanged, this, showDatabaseFaults);
    showDatabaseFaults();
    showAlarmCounts();
}

// Colour, weight and tooltip together, so a state is never told by colour alone.
void MainWindow::paintAlarmRow(int row)
{
    const AlarmAcknowledgement::State state = alarmHandling->state(row);
    static const QColor colours[] = {QColor(), QColor(200, 0, 0), QColor(150, 80, 0),
                                     QColor(0, 70, 200), QColor(90, 90, 90)};
    const bool bold = state == AlarmAcknowledgement::Unacknowledged
        || state == AlarmAcknowledgement::RecoveredUnacknowledged;
    QTableWidget *table = alarmDialog->form()->tableWidget_alarm;
    for (int column = 0; column < table->columnCount(); ++column) {
        QTableWidgetItem *item = table->item(row, column);
        if (!item)
            continue;
        item->setForeground(colours[state]);
        QFont font = item->font();
        font.setBold(bold);
        item->setFont(font);
        item->setToolTip(AlarmAcknowledgement::stateText(state));
    }
}

void MainWindow::setUpSiteLink()
{
    siteLink = new SiteLink(alarmHandling->journal(), this);
    siteStateLabel = new QLabel(ui->statusbar);
    siteStateLabel->setObjectName(QStringLiteral("site_state"));
    ui->statusbar->addPermanentWidget(siteStateLabel);
    auto showState = [this](const QString &text) {
        siteStateLabel->setText(text);
        siteStateLabel->setVisible(!text.isEmpty());
        if (siteDialog)
            siteDialog->showState(text);
    };
    connect(siteLink, &SiteLink::statusChanged, this, showState);
    showState(siteLink->statusText());
    // Made at its first opening: most stations never open it, and start-up stays short.
    connect(ui->site_button, &QPushButton::clicked, this, [this]() {
        if (!siteDialog) {
            siteDialog = new SiteDialog(this);
            connect(siteDialog, &SiteDialog::settingsApplied, siteLink, &SiteLink::configure);
        }
        siteDialog->showState(siteLink->statusText());
        siteDialog->exec();
    });
    auto publishLink = [this]() {
        siteLink->setLinkState(concentratorLink->state(), concentratorLink->portName(),
                               concentratorLink->counters());
    };
    connect(concentratorLink, &ConcentratorLink::stateChanged, siteLink, publishLink);
    connect(concentratorLink, &ConcentratorLink::countersChanged, siteLink, publishLink);
    auto publishAlarms = [this]() {
        siteLink->setActiveAlarms(alarmHandling->openCount(), alarmHandling->unacknowledgedCount(),
                                  alarmHandling->activeAlarms());
    };
    connect(alarmHandling, &AlarmHandling::countsChanged, siteLink, publishAlarms);
    // A station with no alarm yet says so at its first connect, instead of nothing.
    publishAlarms();

    const SiteSettings settings = SiteSettings::load();
    if (!settings.enabled || !soleInstance)
        return;
    if (settings.user.isEmpty()) {
        siteLink->configure(settings, QString());
        publishLink();
        return;
    }
    // The password comes from the secret store in its own time; publishing starts then.
    // Asking whether a store runs costs a bus connection: only a station that needs it asks.
    sitePassword = new PasswordStore(this);
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(sitePassword, &PasswordStore::passwordRead, siteLink,
                    [this, settings, publishLink, once](const QString &password) {
                        disconnect(*once);
                        siteLink->configure(settings, password);
                        publishLink();
                    });
    sitePassword->read();
}

// What each panel shows, for the site; nothing is built while the link is off.
void MainWindow::publishDevices()
{
    if (!siteLink->isEnabled())
        return;
    QVector<SiteMessages::DeviceSnapshot> devices(kDeviceCount);
    for (int device = 1; device <= kDeviceCount; ++device) {
        SiteMessages::DeviceSnapshot &snapshot = devices[device - 1];
        snapshot.device = device;
        if (QLineEdit *name = panelFields->field(PanelPrefix::Name, device))
            snapshot.name = name->text();
        if (QLineEdit *location = panelFields->field(PanelPrefix::Location, device))
            snapshot.location = location->text();
        snapshot.temperature = evaluated.deviceTemperature[device - 1];
        snapshot.voltage = evaluated.deviceVoltage[device - 1];
        snapshot.current = evaluated.deviceCurrent[device - 1];
        // A status nobody heard reads "无应答" on the panel already.
        snapshot.status = evaluated.deviceStatusText[device - 1];
        snapshot.online = snapshot.status == tr("在线");
        snapshot.stale = evaluated.staleQuantities[device - 1];
    }
    siteLink->setDevices(devices);
}

void MainWindow::showAlarmCounts()
{
    alarmCountLabel->setText(alarmHandling->countText());
    const QString style = alarmHandling->unacknowledgedCount() > 0 ? QStringLiteral("color: red;") : QString();
    if (alarmCountLabel->styleSheet() != style)
        alarmCountLabel->setStyleSheet(style);
    ui->silence_button->setEnabled(alarmHandling->sounding());
}

void MainWindow::applyThresholds(int firstDevice, int lastDevice, float upperTemperature,
                                 float lowerTemperature, float upperCurrent)
{
    ThresholdRange::apply(firstDevice, lastDevice, upperTemperature, lowerTemperature,
                          upperCurrent, upperTemperatureLimit, lowerTemperatureLimit,
                          upperCurrentLimit);
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == clockTimer) {
        clockTick();
    } else if (id == pollTimer) {
        pollingTick();
    } else if (id == evaluationTimer) {
        evaluationTick();
    } else if (id == historyTimer) {
        recordHistoryMinute();
    }
}

void MainWindow::clockTick()
{
    // Alarm records take their times from the clock: ASCII digits, whatever the locale.
    ui->system_time->setText(QLocale::c().toString(QDateTime::currentDateTime(),
                                                   QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    DrawLine();
}

void MainWindow::recordHistoryMinute()
{
    recordHistoryAt(QDateTime::currentDateTime());
}

void MainWindow::recordHistoryAt(const QDateTime &now)
{
    const QString event = historyWriteStatus.take(historyStore.recordHistoryMinute(evaluated, now), now);
    if (!event.isEmpty())
        ServiceLog::writeLine(event);
    historyWriteLabel->setText(historyWriteStatus.statusText());
    historyWriteLabel->setVisible(historyWriteStatus.failing());
    emit historyMinuteRecorded(now);
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
    trendController = new TrendController(dataDir, this);
    trendController->setDeviceNames([this](int device) {
        const QLineEdit *name = panelFields->field(PanelPrefix::Name, device);
        return name ? name->text() : QString();
    });
    trendController->setLimits([this](int device) {
        const size_t index = static_cast<size_t>(device - 1);
        return TrendLimits{device, upperTemperatureLimit[index], lowerTemperatureLimit[index],
                           upperCurrentLimit[index]};
    });
    trendController->setStationName([]() { return SiteSettings::load().station; });
    connect(ui->trend_button, &QPushButton::clicked, trendController, &TrendController::open);
    connect(ui->history_trend_button, &QPushButton::clicked, trendController, [this]() {
        trendController->openFor(historyPage->chosenDevice(), historyPage->chosenFrom(),
                                 historyPage->chosenTo());
    });
    connect(this, &MainWindow::historyMinuteRecorded, trendController,
            &TrendController::minuteRecorded);
    if (!soleInstance)
        return;
    archiveUpdater = new ArchiveUpdater(dataDir, this);
    connect(this, &MainWindow::historyMinuteRecorded, archiveUpdater,
            &ArchiveUpdater::minuteRecorded);
    connect(archiveUpdater, &ArchiveUpdater::hoursWritten, trendController,
            &TrendController::archiveUpdated);
    // Once the window is up: a week's backfill keeps a core busy for a second or two.
    QTimer::singleShot(2000, archiveUpdater,
                       [this]() { archiveUpdater->start(QDateTime::currentDateTime()); });
}

void MainWindow::setUpHistoryTable()
{
    historyWriteLabel = new QLabel(ui->statusbar);
    historyWriteLabel->setObjectName(QStringLiteral("history_write_state"));
    historyWriteLabel->setStyleSheet(QStringLiteral("color: red;"));
    // Permanent, so a passing message does not hide it.
    ui->statusbar->addPermanentWidget(historyWriteLabel);
    historyWriteLabel->hide();

    historyPage = new HistoryPageController(
        {ui->history_table, ui->History_id, ui->dateTime_head, ui->dateTime_tail,
         ui->history_query_button, ui->history_export_button, ui->progressBar, ui->statusbar},
        dataDir, this);
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
    curvePage.drawCurveAt(now, evaluated);
}

void MainWindow::on_Historical_curve_query_button_clicked()
{
    curvePage.chooseDevice(ui->Historical_curve_temperature_id->text());
}

void MainWindow::pollingTick()
{
    // A cycle outlasts many ticks; a tick only starts the next one once it is over.
    if (!pollingCycle->isRunning())
        pollingCycle->start(PollingCycle::addressFromText(ui->concentrator_id->text()));
}

void MainWindow::setPollStepInterval(int milliseconds)
{
    pollingCycle->setStepInterval(milliseconds);
    concentratorLink->setWindowLength(milliseconds);
}

void MainWindow::sendPollRequest(int, const QByteArray &frame)
{
    // A step must never show another block's values: every window starts from
    // "no reading" and only its own answer fills the registers.
    registerValues.fill(0);
    concentratorLink->request(frame);
}

void MainWindow::finishPollStep(int step)
{
    const bool answered = concentratorLink->closeWindow();
    const PollingCycle::Step &done = PollingCycle::steps()[static_cast<size_t>(step)];
    // A window without its own answer leaves the column as it was, shown as not heard.
    if (answered)
        PanelUpdate::updateColumn(*panelFields, done.quantity, done.firstDevice, registerValues,
                                  currentLineEdit);
    panelFreshness->stepDone(done.quantity, done.firstDevice, answered);
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
