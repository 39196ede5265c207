#pragma once

#include "core/devicereadings.h"

#include <QString>

// Turns concentrator registers into the texts of the device panels.
class PanelUpdate
{
public:
    static QString voltageText(int registerValue);
    // Signed tenths of a degree plus the device's correction (a non-number counts as 0).
    static QString temperatureText(int registerValue, const QString &correctionText);
    static QString currentText(int registerValue);
    // "在线" for the two online codes, else "离线".
    static QString statusText(int registerValue);
    static QString onlineText();
    static QString text(PanelQuantity quantity, int registerValue, const QString &correctionText);
};
