#pragma once

#include "core/devicereadings.h"
#include "monitor/panelquantity.h"

#include <QString>

class PanelFields;
class QLineEdit;

// Reads the panel texts back into numbers: the panels, not the registers, are what
// alarms, history and the curve judge, so a value typed by the operator counts too.
class DeviceEvaluation
{
public:
    // Text that is not a number gives 0.
    static float temperatureValue(const QString &text) { return text.toFloat(); }
    // Only a whole decimal number counts; "3600.5" gives 0.
    static int voltageValue(const QString &text) { return text.toInt(nullptr, 10); }
    static float currentValue(const QString &text) { return text.toFloat(); }

    // Reads all 800 value fields, devices i and i + 100 side by side.
    // currentLineEdit receives each field as it is read.
    static void readPanels(const PanelFields &fields, DeviceReadings &readings, QLineEdit *&currentLineEdit);
    // Reads one column of 100 fields, as one answer fills it.
    static void readColumn(const PanelFields &fields, PanelQuantity quantity, int firstDevice,
                           DeviceReadings &readings, QLineEdit *&currentLineEdit);

private:
    static void readField(const PanelFields &fields, PanelQuantity quantity, int device,
                          DeviceReadings &readings, QLineEdit *&currentLineEdit);
};
