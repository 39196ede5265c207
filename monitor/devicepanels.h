#pragma once

#include "monitor/devicemodel.h"

#include <array>

class PanelFields;
class QLineEdit;

// The device panels as a view of the device model: each change of a text, setting,
// freshness or alarm repaints the fields it concerns, and what the operator types goes back
// into the model. A reading nobody heard lately is grey; a field in alarm has a red ground,
// paler when its reading is not fresh, so the grey stays legible and the alarm still shows.
class DevicePanels : public QObject
{
    Q_OBJECT

public:
    DevicePanels(const PanelFields &fields, DeviceModel *model, QObject *parent = nullptr);

private:
    void showTexts(PanelQuantity quantity, int firstDevice, int lastDevice);
    void showSetting(DeviceModel::Setting setting, int device);
    void showFreshness(int firstDevice, int lastDevice);
    void showAlarms(int device);
    QLineEdit *field(const char *prefix, int device);

    const PanelFields &fields;
    DeviceModel *model;
    // Receives each field found by name just before it is written.
    QLineEdit *currentLineEdit = nullptr;
    // What the fields show, per device, so only changes are painted: one bit per stale
    // quantity, and per alarm quantity 0 none, 1 open, 2 open on a stale reading.
    std::array<quint8, kDevices> shownStale{};
    std::array<std::array<quint8, 3>, kDevices> shownAlarm{};
};
