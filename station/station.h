#pragma once

#include "history/historystore.h"
#include "history/historywritestatus.h"
#include "monitor/alarmdetector.h"
#include "rules/jointrules.h"
#include "serial/modbusframe.h"
#include "serial/portenumeration.h"
#include "storage/stationdatabase.h"

#include <QBasicTimer>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>

class AlarmHandling;
class AlarmJournal;
class ArchiveUpdater;
class ConcentratorLink;
class DeviceModel;
class Notifier;
class ModbusServer;
struct ModbusServerSettings;
struct NotifySettings;
class PasswordStore;
class PollingCycle;
class QLockFile;
class QSerialPort;
class SiteLink;
class StationFaults;
struct PollingPace;

// The station without its window: the line to the concentrator and its polling, the devices,
// alarm detection and handling with the journal, the minute history and its archive, and the
// site link. Runs on timers; whatever shows it listens to its signals and the device model.
class Station : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDeviceCount = kDevices;

    // heldLock: the data directory's lock as DataDirectory::takeLock left it, owned from then
    // on; without it the station makes the directory and takes the lock itself. A station that
    // finds another working on the same directory (isSoleInstance() false) must not be run.
    Station(const QString &dataDirectory, QLockFile *heldLock, QObject *parent = nullptr);
    ~Station() override;

    QString dataDirectory() const { return dataDir; }
    bool isSoleInstance() const { return soleInstance; }
    // Ports listed while the window is made, once.
    PortEnumeration &startupPorts() { return ports; }
    QSerialPort *port() const { return serialPort; }
    ConcentratorLink *link() const { return concentratorLink; }
    DeviceModel *devices() const { return deviceModel; }
    // kestro.db: the journal, its outbox and the alarm settings.
    StationDatabase *database() { return &stationDatabase; }
    AlarmJournal *journal() const { return alarmJournal; }
    AlarmHandling *alarmHandling() const { return handling; }
    SiteLink *siteLink() const { return site; }
    // None on a second station, which must not write the archive.
    ArchiveUpdater *archiveUpdater() const { return archive; }
    // E-mail and webhooks; none on a second station, which must not send them twice.
    Notifier *notifier() const { return notify; }
    // The Modbus TCP server for a plant SCADA; none on a second station.
    ModbusServer *modbusServer() const { return modbus; }
    StationFaults *faults() const { return stationFaults; }
    const AlarmDetector &alarms() const { return alarmState; }
    const ModbusFrame::Registers &registers() const { return registerValues; }
    int historyLineCount() const { return historyStore.historyLineCount(); }
    const HistoryWriteStatus &historyWrites() const { return historyWriteStatus; }
    // The clock as the panels show it and the alarm records are stamped with.
    QString clockText() const { return clock; }

    // The cabinet groups and the joint rules' settings, as kept in kestro.db.
    const QVector<CabinetGroup> &cabinetGroups() const { return jointRules.groups(); }
    const JointRuleSettings &jointRuleSettings() const { return ruleSettings; }
    // Stored, and judged with from the next pass on; false with the reason, and nothing
    // changed, when they could not be stored.
    bool setJointRules(const QVector<CabinetGroup> &groups, const JointRuleSettings &settings,
                       QString *error);

    float upperTemperatureLimitOf(int device) const { return upperTemperatureLimit[size_t(device - 1)]; }
    float lowerTemperatureLimitOf(int device) const { return lowerTemperatureLimit[size_t(device - 1)]; }
    float upperCurrentLimitOf(int device) const { return upperCurrentLimit[size_t(device - 1)]; }

    // Starts the timers, the site link and, a while later, the archive's backfill; the port
    // is opened by whoever names it (ConcentratorLink::open or resume).
    void start();

    // The concentrator address the next polling cycle uses, as typed.
    void setConcentratorAddress(const QString &text) { concentratorAddress = text; }
    // Answer window of each polling request, with the guard that scales with it.
    void setPollStepInterval(int milliseconds);
    void setPace(const PollingPace &pace);
    // The operator closes the port: the registers read nothing from then on.
    void closePort();

    // The device settings file: read into the model at start; saved from it. False with the
    // reason when saving failed; the file is then unchanged.
    bool saveDeviceSettings(QString *error);

    void applyThresholds(int firstDevice, int lastDevice, float upperTemperature,
                         float lowerTemperature, float upperCurrent);
    // Stored in the station database; false with the reason when they could not be.
    bool applyFilters(int firstDevice, int lastDevice, float temperatureDeadband,
                      float currentDeadband, int delaySeconds, QString *error);
    int acknowledge(const QVector<int> &rows);
    void silence();
    // New notification settings and secrets, in force at once; nothing on a second station.
    void applyNotifySettings(const NotifySettings &settings, const QString &smtpPassword,
                             const QString &webhookSecret);
    // Serves as the settings say from now on; nothing on a second station.
    void applyModbusServerSettings(const ModbusServerSettings &settings);
    // The alarm list was wiped: detection starts afresh.
    void clearAlarms();

    // What the timers do, at a time the caller gives: soak tests drive a simulated week
    // through these without waiting for the clock.
    void evaluationTick();
    void recordHistoryAt(const QDateTime &now);

signals:
    void clockTicked(const QDateTime &now);
    // An alarm or recovery entered in the alarm list's row, stamped with timeText.
    void alarmEntered(const AlarmDetector::Event &event, const QString &timeText);
    void judged();
    // A minute write has run; the archive and an open trend follow it.
    void historyMinuteRecorded(const QDateTime &now);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void takeInstanceLock(QLockFile *heldLock);
    QString settingsFilePath() const;
    void loadDeviceSettings();
    void pollingTick();
    void sendPollRequest(int step, const QByteArray &frame);
    void finishPollStep(int step);
    void judgeAnswer(int step);
    void judgeReadings();
    void readJointRules();
    void judgeRules(const DeviceReadings &readings, qint64 nowMs,
                    QVector<AlarmDetector::Event> &events);
    void forgetRuleAlarms();
    void showDatabaseFaults();
    void startSiteLink();
    void startNotifier();
    void configureNotifier(const NotifySettings &settings);
    void publishLink();
    void publishAlarms();
    void publishDevices();
    void startModbusServer();
    void feedModbusServer();

    // First, so the ports are being listed while the rest is made.
    PortEnumeration ports;
    QString dataDir;
    // Started as the sole station: its stop is journalled.
    bool running = false;
    StationDatabase stationDatabase;
    QLockFile *instanceLock = nullptr;
    bool soleInstance = true;
    StationFaults *stationFaults = nullptr;
    QSerialPort *serialPort = nullptr;
    ConcentratorLink *concentratorLink = nullptr;
    PollingCycle *pollingCycle = nullptr;
    DeviceModel *deviceModel = nullptr;
    AlarmJournal *alarmJournal = nullptr;
    AlarmHandling *handling = nullptr;
    SiteLink *site = nullptr;
    PasswordStore *sitePassword = nullptr;
    ArchiveUpdater *archive = nullptr;
    Notifier *notify = nullptr;
    ModbusServer *modbus = nullptr;

    QBasicTimer clockTimer;
    QBasicTimer pollTimer;
    QBasicTimer evaluationTimer;
    QBasicTimer historyTimer;
    QString clock;
    QString concentratorAddress;

    ModbusFrame::Registers registerValues{};
    std::array<float, kDevices> upperTemperatureLimit{};
    std::array<float, kDevices> lowerTemperatureLimit{};
    std::array<float, kDevices> upperCurrentLimit{};
    // The per-device alarm flags, the next alarm row and the open alarm codes.
    AlarmDetector alarmState;
    JointRules jointRules;
    JointRuleSettings ruleSettings;
    bool rulesRead = false;
    // After dataDir, which it is made from.
    HistoryStore historyStore;
    HistoryWriteStatus historyWriteStatus;
};
