#pragma once

#include "monitor/panelquantity.h"
#include "serial/modbusframe.h"

#include <QString>

class PanelFields;
class QLineEdit;

// Turns concentrator registers into the texts of the device panels.
class PanelUpdate
{
public:
    static QString voltageText(int registerValue);
    // Signed tenths of a degree plus the device's correction (a non-number counts as 0).
    static QString temperatureText(int registerValue, const QString &correctionText);
    static QString currentText(int registerValue);
    static QString statusText(int registerValue);
    static QString text(PanelQuantity quantity, int registerValue, const QString &correctionText);

    // Writes one column of 100 panels, devices firstDevice .. firstDevice + 99, finding each
    // field by object name. currentLineEdit receives each field as it is used.
    static void updateColumn(const PanelFields &fields, PanelQuantity quantity, int firstDevice,
                             const ModbusFrame::Registers &registers,
                             QLineEdit *&currentLineEdit);
};
