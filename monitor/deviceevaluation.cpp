#include "monitor/deviceevaluation.h"

#include "forms/panelcolumn.h"

#include <QLineEdit>

namespace {

QString fieldText(QObject *root, const char *prefix, int device, QLineEdit *&currentLineEdit)
{
    currentLineEdit = root->findChild<QLineEdit *>(PanelColumn::fieldName(prefix, device));
    return currentLineEdit ? currentLineEdit->text() : QString();
}

} // namespace

void DeviceEvaluation::readPanels(QObject *root, DeviceReadings &readings,
                                  QLineEdit *&currentLineEdit)
{
    const int half = kDevices / 2;
    for (int i = 1; i <= half; ++i) {
        for (int device : {i, i + half}) {
            readings.deviceTemperature[device - 1] = temperatureValue(
                fieldText(root, PanelPrefix::Temperature, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceVoltage[device - 1] =
                voltageValue(fieldText(root, PanelPrefix::Voltage, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceCurrent[device - 1] =
                currentValue(fieldText(root, PanelPrefix::Current, device, currentLineEdit));
        }
        for (int device : {i, i + half}) {
            readings.deviceStatusText[device - 1] =
                fieldText(root, PanelPrefix::Status, device, currentLineEdit);
        }
    }
}
