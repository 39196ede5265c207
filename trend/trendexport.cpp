#include "trend/trendexport.h"

#include "core/csv.h"
#include "core/walltime.h"
#include "history/historyrecord.h"

#include <QLocale>
#include <algorithm>

namespace {

void appendField(QByteArray *bytes, const QString &text)
{
    *bytes += ',';
    *bytes += Csv::field(text).toUtf8();
}

void appendValue(QByteArray *bytes, const QVector<double> &values, int index)
{
    *bytes += ',';
    const double value = values.value(index, qQNaN());
    if (qIsFinite(value))
        *bytes += HistoryRecord::number(value).toLatin1();
}

} // namespace

QByteArray TrendExport::document(const TrendData &data, qint64 fromMs, qint64 toMs,
                                 bool withCurrent)
{
    const bool hourly = data.hourly
                        || std::any_of(data.series.cbegin(), data.series.cend(),
                                       [](const TrendSeries &series) { return hourCount(series) > 0; });
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += Csv::field(QStringLiteral("时间")).toUtf8();
    const QStringList quantities = withCurrent ? QStringList{QStringLiteral("温度"), QStringLiteral("电流")}
                                               : QStringList{QStringLiteral("温度")};
    for (const TrendSeries &series : data.series) {
        for (const QString &quantity : quantities) {
            if (hourly) {
                for (const char *figure : {"最小值", "平均值", "最大值"})
                    appendField(&bytes, series.label + QLatin1Char(' ') + quantity
                                            + QString::fromUtf8(figure));
            } else {
                appendField(&bytes, series.label + QLatin1Char(' ') + quantity);
            }
        }
    }
    bytes += "\r\n";

    // Each series' next point; a row takes the earliest of them and every series that has
    // a point at that stamp, so a stamp one series lacks is an empty field, never lost.
    const int count = data.series.size();
    QVector<int> next(count), end(count);
    for (int s = 0; s < count; ++s) {
        const QVector<double> &x = data.series.at(s).x;
        next[s] = int(std::lower_bound(x.begin(), x.end(), double(fromMs)) - x.begin());
        end[s] = int(std::upper_bound(x.begin(), x.end(), double(toMs)) - x.begin());
    }
    for (;;) {
        double stamp = 0;
        bool any = false;
        for (int s = 0; s < count; ++s) {
            if (next[s] < end[s] && (!any || data.series.at(s).x.at(next[s]) < stamp)) {
                stamp = data.series.at(s).x.at(next[s]);
                any = true;
            }
        }
        if (!any)
            break;
        bytes += WallTime::stamp(qint64(stamp)).toLatin1();
        for (int s = 0; s < count; ++s) {
            const TrendSeries &series = data.series.at(s);
            const bool here = next[s] < end[s] && series.x.at(next[s]) == stamp;
            const int index = here ? next[s] : -1;
            if (here)
                ++next[s];
            if (hourly) {
                appendValue(&bytes, series.temperatureMin, index);
                appendValue(&bytes, series.temperature, index);
                appendValue(&bytes, series.temperatureMax, index);
                if (withCurrent) {
                    appendValue(&bytes, series.currentMin, index);
                    appendValue(&bytes, series.current, index);
                    appendValue(&bytes, series.currentMax, index);
                }
            } else {
                appendValue(&bytes, series.temperature, index);
                if (withCurrent)
                    appendValue(&bytes, series.current, index);
            }
        }
        bytes += "\r\n";
    }
    return bytes;
}

QString TrendExport::pictureTitle(const QString &station, const TrendData &data, qint64 fromMs,
                                 qint64 toMs)
{
    QStringList labels;
    for (const TrendSeries &series : data.series)
        labels << series.label;
    return QStringLiteral("%1 趋势 │ %2 │ %3 至 %4")
        .arg(station, labels.join(QStringLiteral("，")), WallTime::stamp(fromMs),
             WallTime::stamp(toMs));
}

QString TrendExport::fileName(const QVector<int> &devices, const QDateTime &when,
                              const QString &suffix)
{
    QString name = QStringLiteral("trend");
    for (int device : devices)
        name += QStringLiteral("-%1").arg(device, 3, 10, QLatin1Char('0'));
    return name + QLatin1Char('-') + QLocale::c().toString(when, QStringLiteral("yyyyMMdd-hhmmss"))
           + QLatin1Char('.') + suffix;
}
