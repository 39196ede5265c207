#pragma once

#include <QDateTime>
#include <QString>

namespace QtCharts {
class QChart;
class QChartView;
class QDateTimeAxis;
class QSplineSeries;
class QValueAxis;
} // namespace QtCharts

// The live curve of one device's temperature over a sliding ten-second window.
// Only the points inside the window are kept: a week of uptime would otherwise be
// 600,000 points, all drawn every second.
class TemperatureCurve
{
public:
    static constexpr qint64 kWindowMs = 10 * 1000;

    // Device number 1..200 typed by the operator, as a zero-based index; -1 when the
    // text is not such a number.
    static int deviceIndexFromText(const QString &text);

    // Both axes are made first, without a parent, as the chart takes them over later.
    TemperatureCurve();
    ~TemperatureCurve();

    // Builds the chart and hands it to the view.
    void Chart_Init(QtCharts::QChartView *view);
    // The window ends ten seconds after now; the newest point sits at its right edge.
    void addPoint(const QDateTime &now, double temperature);
    // Renames the series to "温度：" + the text as typed.
    void setDeviceName(const QString &typedText);

    QtCharts::QSplineSeries *series() const { return temperatureSeries; }
    QtCharts::QDateTimeAxis *axisX() const { return timeAxis; }
    QtCharts::QValueAxis *axisY() const { return temperatureAxis; }

private:
    QtCharts::QChart *temperatureChart = nullptr;
    QtCharts::QSplineSeries *temperatureSeries = nullptr;
    QtCharts::QDateTimeAxis *timeAxis = nullptr;
    QtCharts::QValueAxis *temperatureAxis = nullptr;
    bool chartHandedOver = false;
};
