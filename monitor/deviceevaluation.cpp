#include "monitor/deviceevaluation.h"

#include "forms/panelcolumn.h"
#include "forms/panelfields.h"

#include <QLineEdit>

namespace {

QString fieldText(const PanelFields &fields, const char *prefix, int device,
                  QLineEdit *&currentLineEdit)
{
    currentLineEdit = fields.field(prefix, device);
    return currentLineEdit ? currentLineEdit->text() : QString();
}

} // namespace

void DeviceEvaluation::readPanels(const PanelFields &fields, DeviceReadings &readings,
                                  QLineEdit *&currentLineEdit)
{
    const int half = kDevices / 2;
    for (int i = 1; i <= half; ++i) {
        for (int device : {i, i + half}) {
            readings.deviceTemperature[device - 1] = temperatureValue(
                fieldText(fields, PanelPrefix::Temperature, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceVoltage[device - 1] =
                voltageValue(fieldText(fields, PanelPrefix::Voltage, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceCurrent[device - 1] =
                currentValue(fieldText(fields, PanelPrefix::Current, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceStatusText[device - 1] =
                fieldText(fields, PanelPrefix::Status, device, currentLineEdit);
        }
    }
}
