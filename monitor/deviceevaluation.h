#pragma once

#include <QString>

// Reads the panel texts as numbers: the texts, not the registers, are what alarms, history
// and the curve judge, so a value typed by the operator counts too.
class DeviceEvaluation
{
public:
    // Text that is not a number gives 0.
    static float temperatureValue(const QString &text) { return text.toFloat(); }
    // Only a whole decimal number counts; "3600.5" gives 0.
    static int voltageValue(const QString &text) { return text.toInt(nullptr, 10); }
    static float currentValue(const QString &text) { return text.toFloat(); }
};
