#pragma once

#include "core/devicereadings.h"
#include "monitor/readingfreshness.h"
#include "serial/modbusframe.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>
#include <array>

// The 200 devices as the station knows them: what the operator set (name, install location,
// temperature correction), each reading as its panel shows it, whether anyone heard it lately,
// when the device's last answer came, and which alarms are open on it. A reading is kept as
// its text: a value the operator types is judged like a received one until the next answer
// replaces it, and a text that is not a number counts as 0. Panels, the site link and the
// trend read it; the polling side and the operator write it.
class DeviceModel : public QObject
{
    Q_OBJECT

public:
    // The three settings of the device settings file, in its order.
    enum Setting { Name, Location, Correction };
    static constexpr int kSettingCount = 3;
    // Bits of alarms(): one per quantity that can be in alarm.
    enum AlarmBit : quint8 { TemperatureAlarm = 1, VoltageAlarm = 2, CurrentAlarm = 4 };

    explicit DeviceModel(QObject *parent = nullptr);

    static QString noAnswerText(); // "无应答"

    const QString &setting(Setting setting, int device) const;
    void setSetting(Setting setting, int device, const QString &text);
    // The file's 600 lines: 200 names, 200 locations, 200 corrections.
    QVector<QString> settingsLines() const;
    void setSettingsLines(const QVector<QString> &lines);

    const QString &text(PanelQuantity quantity, int device) const;
    // A polling step's window closed: an answered one fills its column of 100 devices from
    // the registers first (temperature with the correction loaded at start), then freshness
    // follows, and a status nobody heard lately reads "无应答".
    void stepDone(PanelQuantity quantity, int firstDevice, bool answered,
                  const ModbusFrame::Registers &registers, const QDateTime &at);
    // The operator typed the reading: it is fresh, as a received one.
    void type(PanelQuantity quantity, int device, const QString &text);

    bool isFresh(PanelQuantity quantity, int device) const { return freshness.isFresh(quantity, device); }
    quint8 staleQuantities(int device) const { return freshness.staleQuantities(device); }
    // The last answer that brought a reading of the device; invalid when none has yet.
    QDateTime lastAnswer(int device) const { return answeredAt[size_t(device - 1)]; }

    // The texts read as numbers, with what is fresh, into readings(): all 800, or the column
    // one answer filled.
    void evaluate();
    void evaluateColumn(PanelQuantity quantity, int firstDevice);
    const DeviceReadings &readings() const { return evaluated; }

    // AlarmBit per open alarm; the same bit shifted by 3 when that reading was not fresh.
    quint8 alarms(int device) const { return alarmBits[size_t(device - 1)]; }
    // After each judgement, AlarmBit per device.
    void setAlarms(const std::array<quint8, kDevices> &bits);

signals:
    void textsChanged(PanelQuantity quantity, int firstDevice, int lastDevice);
    void freshnessChanged(int firstDevice, int lastDevice);
    void settingChanged(DeviceModel::Setting setting, int device);
    void alarmsChanged(int device);

private:
    void read(PanelQuantity quantity, int device);

    std::array<std::array<QString, kDevices>, kSettingCount> settings;
    std::array<std::array<QString, kDevices>, 4> texts;
    std::array<QDateTime, kDevices> answeredAt;
    std::array<quint8, kDevices> alarmBits{};
    ReadingFreshness freshness;
    DeviceReadings evaluated;
};
