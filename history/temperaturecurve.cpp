#include "history/temperaturecurve.h"

#include <QCoreApplication>
#include <QFont>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

int TemperatureCurve::deviceIndexFromText(const QString &text)
{
    bool ok = false;
    const int device = text.trimmed().toInt(&ok, 10);
    return ok && device >= 1 && device <= 200 ? device - 1 : -1;
}

TemperatureCurve::TemperatureCurve()
    : timeAxis(new QDateTimeAxis), temperatureAxis(new QValueAxis)
{
}

TemperatureCurve::~TemperatureCurve()
{
    // Once in the chart, the view owns everything; before that, the axes are ours.
    if (!chartHandedOver) {
        delete temperatureChart;
        delete temperatureSeries;
        if (!temperatureChart) {
            delete timeAxis;
            delete temperatureAxis;
        }
    }
}

void TemperatureCurve::Chart_Init(QChartView *view)
{
    temperatureChart = new QChart;
    temperatureSeries = new QSplineSeries;
    temperatureSeries->setName(QCoreApplication::translate("MainWindow", "温度001"));
    temperatureChart->addSeries(temperatureSeries);

    temperatureAxis->setMin(0);
    temperatureAxis->setMax(70);
    timeAxis->setTickCount(11);
    temperatureAxis->setTickCount(15);

    QFont titleFont(QStringLiteral("Microsoft YaHei"), 8, QFont::Normal, false);
    timeAxis->setTitleFont(titleFont);
    temperatureAxis->setTitleFont(titleFont);

    timeAxis->setTitleText(QCoreApplication::translate("MainWindow", "时间轴"));
    temperatureAxis->setTitleText(QCoreApplication::translate("MainWindow", "温度值"));
    timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    temperatureAxis->setGridLineVisible(false);
    // Fifteen labels at the view's height: at the application's size they would be
    // elided to "…", leaving the scale unreadable.
    QFont labelsFont = temperatureAxis->labelsFont();
    labelsFont.setPointSize(7);
    temperatureAxis->setLabelsFont(labelsFont);

    temperatureChart->addAxis(timeAxis, Qt::AlignBottom);
    temperatureChart->addAxis(temperatureAxis, Qt::AlignLeft);
    temperatureSeries->attachAxis(timeAxis);
    temperatureSeries->attachAxis(temperatureAxis);

    // The view lets go of the chart it made for itself without deleting it.
    QChart *previous = view->chart();
    view->setChart(temperatureChart);
    delete previous;
    view->setRenderHint(QPainter::Antialiasing);
    chartHandedOver = true;
}

void TemperatureCurve::addPoint(const QDateTime &now, double temperature)
{
    if (!temperatureSeries)
        return;
    const QDateTime end = now.addMSecs(kWindowMs);
    timeAxis->setRange(now, end);
    // Everything outside the new window goes, after a clock set back as well.
    const double windowStart = static_cast<double>(now.toMSecsSinceEpoch());
    const double windowEnd = static_cast<double>(end.toMSecsSinceEpoch());
    const QVector<QPointF> points = temperatureSeries->pointsVector();
    QVector<QPointF> kept;
    kept.reserve(points.size() + 1);
    for (const QPointF &point : points) {
        if (point.x() >= windowStart && point.x() < windowEnd)
            kept.append(point);
    }
    if (kept.size() != points.size())
        temperatureSeries->replace(kept);
    temperatureSeries->append(windowEnd, temperature);
}

void TemperatureCurve::setDeviceName(const QString &typedText)
{
    if (temperatureSeries)
        temperatureSeries->setName(QCoreApplication::translate("MainWindow", "温度：") + typedText);
}
