#pragma once

#include <QString>
#include <array>

// One column of the device panel rows. Object names are an interface: other
// code finds a device's field by composing prefix + device number.
struct PanelColumn
{
    const char *prefix;
    int x;
    const char *initialText;

    static constexpr int kDeviceCount = 200;
    static constexpr int kDevicesPerPage = 15;
    static constexpr int kDevicePageCount = 14;
    static constexpr int kFieldWidth = 101;
    static constexpr int kFieldHeight = 20;
    static constexpr int kNumberLabelX = 60;
    static constexpr int kNumberLabelWidth = 41;

    static const std::array<PanelColumn, 7> &fields();

    // Decimal, no leading zeros: lineEdit_a7, lineEdit_voltage_200.
    static QString fieldName(const char *prefix, int device);

    static int pageOf(int device) { return (device - 1) / kDevicesPerPage; }
    static int rowOf(int device) { return (device - 1) % kDevicesPerPage; }
    static int rowY(int device) { return 10 + 30 * rowOf(device); }
};

namespace PanelPrefix {
constexpr const char *Name = "lineEdit_a";
constexpr const char *Location = "lineEdit_b";
constexpr const char *Voltage = "lineEdit_voltage_";
constexpr const char *Temperature = "lineEdit_temperature_";
constexpr const char *Correction = "lineEdit_temperaturecp_";
constexpr const char *Current = "lineEdit_current_";
constexpr const char *Status = "lineEdit_Device_status_";
} // namespace PanelPrefix
