#pragma once

#include "core/devicereadings.h"
#include "history/temperaturecurve.h"

#include <QDateTime>
#include <QString>

namespace QtCharts {
class QChartView;
}

// The live curve page: the chart, which device it follows, and the point each clock tick adds.
class CurveController
{
public:
    // The curve's axes exist from this moment, before any widget.
    CurveController() = default;

    // Builds the chart into the page's chart view.
    void Chart_Init(QtCharts::QChartView *view);
    // Appends the followed device's temperature at now and slides the window with it.
    void drawCurveAt(const QDateTime &now, const DeviceReadings &readings);
    // The device number as typed on the page: 1..200 renames the series and is followed
    // from the next point on; anything else changes nothing.
    void chooseDevice(const QString &typed);

    const TemperatureCurve &temperatureCurve() const { return curve; }
    int plottedDeviceIndex() const { return curveDeviceIndex; }

private:
    TemperatureCurve curve;
    // Zero-based; device 001 until the operator chooses another.
    int curveDeviceIndex = 0;
};
