#include "station/station.h"

#include "config/devicesettingsfile.h"
#include "config/savedsettingslines.h"
#include "config/stationsettings.h"
#include "core/datadirectory.h"
#include "core/servicelog.h"
#include "monitor/alarmhandling.h"
#include "monitor/devicemodel.h"
#include "monitor/pollingcycle.h"
#include "monitor/thresholdrange.h"
#include "notify/notifier.h"
#include "notify/notifysecrets.h"
#include "notify/notifysettings.h"
#include "scada/modbusimage.h"
#include "scada/modbusserver.h"
#include "scada/modbusserversettings.h"
#include "serial/concentratorlink.h"
#include "serial/pollingpace.h"
#include "site/passwordstore.h"
#include "site/sitelink.h"
#include "site/sitemessages.h"
#include "site/sitesettings.h"
#include "station/stationfaults.h"
#include "storage/alarmjournal.h"
#include "storage/archiveupdater.h"
#include "storage/cabinetgroupstore.h"

#include <QDebug>
#include <QDir>
#include <QLocale>
#include <QLockFile>
#include <QSerialPort>
#include <QTimer>
#include <QTimerEvent>
#include <cstdio>
#include <memory>

namespace {

// Alarm records take their times from the clock: ASCII digits, whatever the locale.
QString clockTextAt(const QDateTime &now)
{
    return QLocale::c().toString(now, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

Station::Station(const QString &dataDirectory, QLockFile *heldLock, QObject *parent)
    : QObject(parent),
      dataDir(dataDirectory.isEmpty() ? DataDirectory::defaultPath() : dataDirectory),
      stationDatabase(dataDir),
      clock(clockTextAt(QDateTime::currentDateTime())),
      historyStore(dataDir)
{
    takeInstanceLock(heldLock);
    stationFaults = new StationFaults(this);
    // Every write of the per-user settings, whoever makes it.
    auto showSettings = [this](const QString &problem) { stationFaults->set("settings", problem); };
    connect(StationSettings::notifier(), &StationSettings::saved, this, showSettings);
    showSettings(StationSettings::notifier()->problem());

    serialPort = new QSerialPort;
    serialPort->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    concentratorLink = new ConcentratorLink(serialPort, this);
    pollingCycle = new PollingCycle(this);
    pollingCycle->setPace(PollingPace::load());
    connect(pollingCycle, &PollingCycle::requestDue, this, &Station::sendPollRequest);
    connect(pollingCycle, &PollingCycle::stepElapsed, this, &Station::finishPollStep);
    connect(concentratorLink, &ConcentratorLink::answerDecoded, this,
            [this](const ModbusFrame::Registers &registers) { registerValues = registers; });
    connect(concentratorLink, &ConcentratorLink::stepWithoutReading, this,
            [this]() { registerValues.fill(0); });
    connect(concentratorLink, &ConcentratorLink::stateChanged, this, [this](LinkState state) {
        if (state == LinkState::Lost)
            registerValues.fill(0);
    });
    connect(concentratorLink, &ConcentratorLink::logEvent, this,
            [](const QString &event) { ServiceLog::write("link", event); });
    // Polling fast, an answer is judged as soon as it is in the model.
    connect(concentratorLink, &ConcentratorLink::answerSettled, pollingCycle,
            &PollingCycle::answerSettled);
    connect(pollingCycle, &PollingCycle::answerApplied, this, &Station::judgeAnswer);
    connect(pollingCycle, &PollingCycle::cycleDue, this, &Station::pollingTick);

    upperTemperatureLimit.fill(80.0f);
    lowerTemperatureLimit.fill(-40.0f);
    upperCurrentLimit.fill(50.0f);
    deviceModel = new DeviceModel(this);
    loadDeviceSettings();

    alarmJournal = new AlarmJournal(stationDatabase, this);
    handling = new AlarmHandling(alarmJournal, this);
    connect(handling, &AlarmHandling::databaseFaultsChanged, this, &Station::showDatabaseFaults);
    showDatabaseFaults();
    // As the deadbands: unread, the rules judge nothing until a journal write gets through.
    readJointRules();
    connect(alarmJournal, &AlarmJournal::written, this, &Station::readJointRules);

    site = new SiteLink(alarmJournal, this);
    connect(concentratorLink, &ConcentratorLink::stateChanged, site, [this]() { publishLink(); });
    connect(concentratorLink, &ConcentratorLink::countersChanged, site, [this]() { publishLink(); });
    connect(handling, &AlarmHandling::countsChanged, site, [this]() { publishAlarms(); });
    // A station with no alarm yet says so at its first connect, instead of nothing.
    publishAlarms();

    if (soleInstance) {
        archive = new ArchiveUpdater(dataDir, this);
        connect(this, &Station::historyMinuteRecorded, archive, &ArchiveUpdater::minuteRecorded);
    }
}

Station::~Station()
{
    if (running) {
        const QDateTime now = QDateTime::currentDateTime();
        handling->journalRun(false, clockTextAt(now), now);
    }
    // Before the parts its feeding reads.
    delete modbus;
    // Whatever writes the database goes before it; the journal writes its backlog as it goes.
    delete notify;
    delete site;
    delete handling;
    delete alarmJournal;
    delete instanceLock;
}

void Station::takeInstanceLock(QLockFile *heldLock)
{
    if (!heldLock) {
        DataDirectory::ensureExists(dataDir);
        heldLock = DataDirectory::takeLock(dataDir).release();
    }
    instanceLock = heldLock;
    // Only another live station refuses the start; a folder that takes no lock must not.
    soleInstance = instanceLock->error() != QLockFile::LockFailedError;
}

void Station::start()
{
    clockTimer.start(1000, Qt::CoarseTimer, this);
    pollTimer.start(1000, Qt::CoarseTimer, this);
    evaluationTimer.start(1000, Qt::CoarseTimer, this);
    historyTimer.start(60000, Qt::CoarseTimer, this);
    if (!soleInstance)
        return;
    running = true;
    handling->journalRun(true, clock, QDateTime::currentDateTime());
    startSiteLink();
    startNotifier();
    startModbusServer();
    // Once the window is up: a week's backfill keeps a core busy for a second or two.
    QTimer::singleShot(2000, archive, [this]() { archive->start(QDateTime::currentDateTime()); });
}

void Station::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == clockTimer.timerId()) {
        const QDateTime now = QDateTime::currentDateTime();
        clock = clockTextAt(now);
        emit clockTicked(now);
    } else if (id == pollTimer.timerId()) {
        pollingTick();
    } else if (id == evaluationTimer.timerId()) {
        evaluationTick();
    } else if (id == historyTimer.timerId()) {
        const QDateTime now = QDateTime::currentDateTime();
        recordHistoryAt(now);
        if (notify)
            notify->escalate(handling->activeAlarms(), now);
    }
}

QString Station::settingsFilePath() const
{
    return QDir(dataDir).filePath(QStringLiteral("save_data.txt"));
}

void Station::loadDeviceSettings()
{
    if (!DeviceSettingsFile::load(settingsFilePath(), &savedSettingsLines))
        qDebug().noquote() << QStringLiteral("读取保存设备id 安装部位失败");
    deviceModel->setSettingsLines(savedSettingsLines);
}

bool Station::saveDeviceSettings(QString *error)
{
    if (DeviceSettingsFile::save(settingsFilePath(), deviceModel->settingsLines(), error))
        return true;
    std::fputs("Open failed1.\n", stdout);
    std::fflush(stdout);
    return false;
}

void Station::pollingTick()
{
    // A cycle outlasts many ticks; a tick only starts the next one once it is over.
    if (!pollingCycle->isRunning())
        pollingCycle->start(PollingCycle::addressFromText(concentratorAddress));
}

void Station::setPollStepInterval(int milliseconds)
{
    pollingCycle->setStepInterval(milliseconds);
    concentratorLink->setWindowLength(milliseconds);
}

void Station::setPace(const PollingPace &pace)
{
    pollingCycle->setPace(pace);
}

void Station::closePort()
{
    concentratorLink->close();
    registerValues.fill(0);
}

void Station::sendPollRequest(int, const QByteArray &frame)
{
    // A step must never show another block's values: every window starts from
    // "no reading" and only its own answer fills the registers.
    registerValues.fill(0);
    concentratorLink->request(frame);
}

void Station::finishPollStep(int step)
{
    const bool answered = concentratorLink->closeWindow();
    const PollingCycle::Step &done = PollingCycle::steps()[static_cast<size_t>(step)];
    // A window without its own answer leaves the column as it was, shown as not heard.
    deviceModel->stepDone(done.quantity, done.firstDevice, answered, registerValues,
                          QDateTime::currentDateTime());
}

void Station::evaluationTick()
{
    deviceModel->evaluate();
    judgeReadings();
    feedModbusServer();
}

void Station::judgeAnswer(int step)
{
    // Only the column the answer filled: the next tick reads everything again.
    const PollingCycle::Step &done = PollingCycle::steps()[static_cast<size_t>(step)];
    deviceModel->evaluateColumn(done.quantity, done.firstDevice);
    judgeReadings();
}

void Station::judgeReadings()
{
    const QDateTime now = QDateTime::currentDateTime();
    const DeviceReadings &readings = deviceModel->readings();
    // The link first: a lost concentrator explains what follows.
    QVector<AlarmDetector::Event> events =
        alarmState.detectLink(AlarmDetector::linkCondition(concentratorLink->state()),
                              concentratorLink->silentSince().toMSecsSinceEpoch(),
                              now.toMSecsSinceEpoch());
    events += alarmState.detect(readings, upperTemperatureLimit, lowerTemperatureLimit,
                                upperCurrentLimit, handling->filters(), now.toMSecsSinceEpoch());
    judgeRules(readings, now.toMSecsSinceEpoch(), events);
    for (const AlarmDetector::Event &event : events)
        emit alarmEntered(event, clock);
    handling->takeEvents(events, clock, now);
    std::array<quint8, kDevices> open{};
    for (int device = 1; device <= kDevices; ++device)
        open[size_t(device - 1)] =
            quint8((alarmState.isOpen(AlarmDetector::Temperature, device) ? DeviceModel::TemperatureAlarm : 0)
                   | (alarmState.isOpen(AlarmDetector::Voltage, device) ? DeviceModel::VoltageAlarm : 0)
                   | (alarmState.isOpen(AlarmDetector::Current, device) ? DeviceModel::CurrentAlarm : 0));
    deviceModel->setAlarms(open);
    emit judged();
    publishDevices();
}

void Station::readJointRules()
{
    if (rulesRead)
        return;
    QVector<CabinetGroup> groups;
    JointRuleSettings settings;
    CabinetGroupStore store(&stationDatabase);
    QString error;
    rulesRead = store.load(&groups, &error) && store.loadSettings(&settings, &error);
    if (!rulesRead) {
        ServiceLog::write("rules", QStringLiteral("cannot be read: ") + error);
        stationFaults->show("rules", tr("报警规则无法读取，暂不判断"));
        return;
    }
    stationFaults->set("rules", QString());
    jointRules.setGroups(groups);
    ruleSettings = settings;
}

bool Station::setJointRules(const QVector<CabinetGroup> &groups, const JointRuleSettings &settings,
                            QString *error)
{
    if (!CabinetGroupStore(&stationDatabase).replace(groups, &settings, error))
        return false;
    jointRules.setGroups(groups);
    ruleSettings = settings;
    rulesRead = true;
    stationFaults->set("rules", QString());
    return true;
}

void Station::forgetRuleAlarms()
{
    const QSet<int> forgotten = alarmState.takeForgottenRuleCodes();
    if (!forgotten.isEmpty())
        jointRules.forget(forgotten);
}

void Station::judgeRules(const DeviceReadings &readings, qint64 nowMs,
                         QVector<AlarmDetector::Event> &events)
{
    // The Part's alarms may have wrapped the rows over open rule alarms.
    forgetRuleAlarms();
    const QVector<JointRules::Event> judgedRules =
        jointRules.judge(readings, ruleSettings, upperTemperatureLimit, nowMs);
    for (const JointRules::Event &rule : judgedRules) {
        AlarmDetector::Event event{rule.recovery, rule.code, AlarmDetector::Kind(rule.rule), 0,
                                   rule.value, rule.limit, rule.beganMs};
        event.level = AlarmDetector::Level(rule.level);
        event.device = rule.device;
        if (rule.group >= 0)
            event.group = jointRules.groups().at(rule.group);
        alarmState.enterRule(event, events);
        forgetRuleAlarms();
    }
}

void Station::applyThresholds(int firstDevice, int lastDevice, float upperTemperature,
                              float lowerTemperature, float upperCurrent)
{
    ThresholdRange::apply(firstDevice, lastDevice, upperTemperature, lowerTemperature,
                          upperCurrent, upperTemperatureLimit, lowerTemperatureLimit,
                          upperCurrentLimit);
}

bool Station::applyFilters(int firstDevice, int lastDevice, float temperatureDeadband,
                           float currentDeadband, int delaySeconds, QString *error)
{
    return handling->applyFilters(firstDevice, lastDevice, temperatureDeadband, currentDeadband,
                                  delaySeconds, error);
}

int Station::acknowledge(const QVector<int> &rows)
{
    return handling->acknowledge(rows, clock, QDateTime::currentDateTime());
}

void Station::silence()
{
    handling->silence(clock, QDateTime::currentDateTime());
}

void Station::clearAlarms()
{
    alarmState.clear();
    forgetRuleAlarms();
    handling->clear(clock, QDateTime::currentDateTime());
    deviceModel->setAlarms({});
    emit judged();
}

void Station::recordHistoryAt(const QDateTime &now)
{
    const QString event =
        historyWriteStatus.take(historyStore.recordHistoryMinute(deviceModel->readings(), now), now);
    if (!event.isEmpty())
        ServiceLog::writeLine(event);
    emit historyMinuteRecorded(now);
}

void Station::showDatabaseFaults()
{
    stationFaults->set("database", handling->setAsideFault());
    stationFaults->set("deadband", handling->settingsFault());
}

void Station::startSiteLink()
{
    const SiteSettings settings = SiteSettings::load();
    if (!settings.enabled)
        return;
    if (settings.user.isEmpty()) {
        site->configure(settings, QString());
        publishLink();
        return;
    }
    // The password comes from the secret store in its own time; publishing starts then.
    // Asking whether a store runs costs a bus connection: only a station that needs it asks.
    sitePassword = new PasswordStore(this);
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(sitePassword, &PasswordStore::passwordRead, site,
                    [this, settings, once](const QString &password) {
                        disconnect(*once);
                        site->configure(settings, password);
                        publishLink();
                    });
    sitePassword->read();
}

void Station::startNotifier()
{
    notify = new Notifier(alarmJournal, this);
    // Queued from the first pass on; sent once the secrets are read.
    configureNotifier(NotifySettings::load());
    connect(notify, &Notifier::problemChanged, this,
            [this](const QString &problem) { stationFaults->set("notify", problem); });
    auto *secrets = new NotifySecrets(this);
    connect(secrets, &NotifySecrets::secretsRead, this,
            [this, secrets](const QString &password, const QString &secret, const QString &error) {
                secrets->deleteLater();
                // Sent even so: the server's refusal then says the rest.
                stationFaults->set("notify-secrets",
                                   error.isEmpty() ? QString() : tr("报警通知密码未能读取：%1").arg(error));
                notify->setSecrets(password, secret);
            });
    secrets->read();
}

void Station::configureNotifier(const NotifySettings &settings)
{
    // The site's station name is the station's name for people too.
    notify->configure(settings, SiteSettings::load().station, [this](int device) {
        return qMakePair(deviceModel->setting(DeviceModel::Name, device),
                         deviceModel->setting(DeviceModel::Location, device));
    });
}

void Station::applyNotifySettings(const NotifySettings &settings, const QString &smtpPassword,
                                  const QString &webhookSecret)
{
    if (!notify)
        return;
    configureNotifier(settings);
    stationFaults->set("notify-secrets", QString());
    notify->setSecrets(smtpPassword, webhookSecret);
}

void Station::publishLink()
{
    site->setLinkState(concentratorLink->state(), concentratorLink->portName(),
                       concentratorLink->counters());
}

void Station::publishAlarms()
{
    site->setActiveAlarms(handling->openCount(), handling->unacknowledgedCount(),
                          handling->activeAlarms());
}

// Nothing is built while the link is off.
void Station::publishDevices()
{
    if (site->isEnabled())
        site->setDevices(SiteMessages::deviceSnapshots(*deviceModel));
}

void Station::startModbusServer()
{
    modbus = new ModbusServer(this);
    connect(modbus, &ModbusServer::problemChanged, this,
            [this](const QString &problem) { stationFaults->set("modbus", problem); });
    connect(concentratorLink, &ConcentratorLink::stateChanged, modbus, [this]() { feedModbusServer(); });
    applyModbusServerSettings(ModbusServerSettings::load());
}

void Station::applyModbusServerSettings(const ModbusServerSettings &settings)
{
    if (!modbus)
        return;
    // The same settings again restart only a server that could not listen: its clients stay.
    if (settings == modbus->settings() && (modbus->isListening() || !settings.enabled))
        return;
    modbus->apply(settings);
    // Before any client can ask: nothing runs between listening and this.
    feedModbusServer();
}

// Nothing is built while the server is off.
void Station::feedModbusServer()
{
    if (modbus && modbus->settings().enabled)
        modbus->setImage(ModbusImage::make(deviceModel->readings(), concentratorLink->state(),
                                           handling->openCount(), handling->unacknowledgedCount(),
                                           concentratorLink->lastAnswerAt(),
                                           handling->activeAlarms()));
}
