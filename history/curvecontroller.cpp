#include "history/curvecontroller.h"

#include <QDebug>

void CurveController::Chart_Init(QtCharts::QChartView *view)
{
    curve.Chart_Init(view);
}

void CurveController::drawCurveAt(const QDateTime &now, const DeviceReadings &readings)
{
    curve.addPoint(now, static_cast<double>(readings.deviceTemperature[curveDeviceIndex]));
}

// A number outside 1..200 would read past the device slots; the curve keeps its device.
void CurveController::chooseDevice(const QString &typed)
{
    const int index = TemperatureCurve::deviceIndexFromText(typed);
    if (index < 0)
        return;
    curve.setDeviceName(typed);
    curveDeviceIndex = index;
    qDebug() << curveDeviceIndex;
}
