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

void DeviceEvaluation::readField(const PanelFields &fields, PanelQuantity quantity, int device,
                                 DeviceReadings &readings, QLineEdit *&currentLineEdit)
{
    const QString text = fieldText(fields, panelPrefix(quantity), device, currentLineEdit);
    const size_t index = static_cast<size_t>(device - 1);
    switch (quantity) {
    case PanelQuantity::Temperature:
        readings.deviceTemperature[index] = temperatureValue(text);
        break;
    case PanelQuantity::Voltage:
        readings.deviceVoltage[index] = voltageValue(text);
        break;
    case PanelQuantity::Current:
        readings.deviceCurrent[index] = currentValue(text);
        break;
    case PanelQuantity::Status:
        readings.deviceStatusText[index] = text;
        break;
    }
}

void DeviceEvaluation::readPanels(const PanelFields &fields, DeviceReadings &readings,
                                  QLineEdit *&currentLineEdit)
{
    const int half = kDevices / 2;
    for (int i = 1; i <= half; ++i) {
        for (PanelQuantity quantity : {PanelQuantity::Temperature, PanelQuantity::Voltage,
                                       PanelQuantity::Current, PanelQuantity::Status}) {
            for (int device : {i, i + half})
                readField(fields, quantity, device, readings, currentLineEdit);
        }
    }
}

void DeviceEvaluation::readColumn(const PanelFields &fields, PanelQuantity quantity,
                                  int firstDevice, DeviceReadings &readings,
                                  QLineEdit *&currentLineEdit)
{
    for (int device = firstDevice; device < firstDevice + kDevices / 2 && device <= kDevices;
         ++device)
        readField(fields, quantity, device, readings, currentLineEdit);
}
