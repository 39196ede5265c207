#pragma once

#include "core/devicereadings.h"
#include "monitor/panelquantity.h"
#include "monitor/readingfreshness.h"

#include <QObject>
#include <array>

class PanelFields;
class QLineEdit;

// Shows on the panels which readings nobody has heard lately: their text turns grey, and a
// status field says "无应答", for a device the station has no word of is neither online
// nor offline. Learns what each polling window brought and what the operator typed.
class PanelFreshness : public QObject
{
    Q_OBJECT

public:
    PanelFreshness(const PanelFields &fields, QObject *parent = nullptr);

    // A polling step's window has closed, after its column was written when answered.
    void stepDone(PanelQuantity quantity, int firstDevice, bool answered);
    const ReadingFreshness &freshness() const { return state; }
    // Into the readings, for everything that judges or records them.
    void mark(DeviceReadings &readings) const { state.mark(readings); }

    static QString noAnswerText();

private:
    void typed(PanelQuantity quantity, int device);
    void show(int firstDevice, int lastDevice);

    const PanelFields &fields;
    ReadingFreshness state;
    // What the panels show, per device and quantity, so only changes are painted.
    std::array<quint8, kDevices> shownStale{};
};
