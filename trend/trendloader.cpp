#include "trend/trendloader.h"

#include "config/devicesettingsfile.h"
#include "core/walltime.h"
#include "history/historyquery.h"
#include "history/historyrecord.h"
#include "history/historystore.h"
#include "storage/hourlyarchive.h"
#include "storage/stationdatabase.h"

#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QTextCodec>
#include <QtConcurrent>
#include <algorithm>
#include <array>
#include <numeric>

namespace {

using DeviceIndex = std::array<int, kDevices + 1>;

// How far into a file the oldest readable line is looked for: past a few broken writes, not
// through a file of garbage.
constexpr int kLinesLooked = 64;
constexpr qint64 kLineBytes = 64 * 1024;

TrendData emptyData(const TrendRequest &request, bool hourly)
{
    TrendData data;
    data.fromMs = request.fromMs;
    data.toMs = request.toMs;
    data.hourly = hourly;
    for (int k = 0; k < request.devices.size(); ++k) {
        TrendSeries series;
        series.device = request.devices.at(k);
        series.label = request.labels.value(k);
        data.series.append(series);
        TrendLimits limits = request.limits.value(k);
        limits.device = series.device;
        data.limits.append(limits);
    }
    return data;
}

// Series index per device number, -1 for a device not asked for.
DeviceIndex seriesIndex(const TrendRequest &request)
{
    DeviceIndex index;
    index.fill(-1);
    for (int k = 0; k < request.devices.size(); ++k) {
        const int device = request.devices.at(k);
        if (device >= 1 && device <= kDevices && index[device] < 0)
            index[device] = k;
    }
    return index;
}

// An infinite reading cannot be drawn on a scale: it counts as missing, as text that is
// no number does.
double valueOf(const QString &field)
{
    bool ok = false;
    const double value = HistoryRecord::fieldValue(field).toDouble(&ok);
    return ok && qIsFinite(value) ? value : qQNaN();
}

// values holds the first values->size() points (all, or the leading hours), which order
// keeps among its first as many entries.
void reorder(QVector<double> *values, const QVector<int> &order)
{
    QVector<double> sorted(values->size());
    for (int k = 0; k < values->size(); ++k)
        sorted[k] = values->at(order.at(k));
    *values = sorted;
}

// The files are read oldest first, so stamps rise, except where the clock was set back:
// the points are then put in time order, equal stamps in the order read. Leading archive
// hours stay in front of the minutes.
void sortByTime(TrendSeries *series)
{
    if (std::is_sorted(series->x.cbegin(), series->x.cend()))
        return;
    QVector<int> order(series->x.size());
    std::iota(order.begin(), order.end(), 0);
    const auto earlier = [series](int a, int b) { return series->x.at(a) < series->x.at(b); };
    const auto minutes = order.begin() + hourCount(*series);
    std::stable_sort(order.begin(), minutes, earlier);
    std::stable_sort(minutes, order.end(), earlier);
    for (QVector<double> *values :
         {&series->x, &series->temperature, &series->current, &series->temperatureMin,
          &series->temperatureMax, &series->currentMin, &series->currentMax})
        reorder(values, order);
}

void dropBefore(QVector<double> *values, int count)
{
    if (!values->isEmpty())
        values->remove(0, qMin(count, values->size()));
}

// The archive's hours fromHour <= hour < toHour (wall seconds) of the requested devices, each
// at its start, into data's (empty) series; false, with the reason, when it cannot be read.
bool readHours(const QString &dataDirectory, const TrendRequest &request, qint64 fromHour,
               qint64 toHour, TrendData *data, QString *error)
{
    // Qt's database connections belong to the thread that made them: this one has its own.
    StationDatabase database(dataDirectory);
    if (!database.open(error))
        return false;
    const QVector<ArchiveHour> rows =
        HourlyArchive(&database).read(request.devices, fromHour, toHour, error);
    if (rows.isEmpty() && !error->isEmpty())
        return false;
    const DeviceIndex index = seriesIndex(request);
    for (const ArchiveHour &row : rows) {
        if (row.device < 1 || row.device > kDevices || index[row.device] < 0)
            continue;
        TrendSeries &series = data->series[index[row.device]];
        series.x.append(double(row.hour) * 1000);
        series.temperature.append(row.temperatureMean);
        series.temperatureMin.append(row.temperatureMin);
        series.temperatureMax.append(row.temperatureMax);
        series.current.append(row.currentMean);
        series.currentMin.append(row.currentMin);
        series.currentMax.append(row.currentMax);
    }
    for (TrendSeries &series : data->series)
        sortByTime(&series);
    return true;
}

// The first whole hour starting at or after wallMs, in wall seconds.
qint64 hourFrom(qint64 wallMs)
{
    const qint64 hour = WallTime::hourStart(wallMs);
    return hour * 1000 < wallMs ? hour + 3600 : hour;
}

} // namespace

TrendLoader::TrendLoader(const QString &dataDirectory, QObject *parent)
    : QObject(parent), directory(dataDirectory)
{
}

TrendLoader::~TrendLoader()
{
    if (stopCurrent)
        *stopCurrent = true;
    // A superseded load was told to stop when it was; an archive read ends by itself.
    for (QFutureWatcher<TrendLoad> *watcher : running)
        watcher->waitForFinished();
}

TrendSource TrendLoader::sourceFor(qint64 fromMs, qint64 nowMs)
{
    return fromMs >= nowMs - kWeekMs ? TrendSource::WeeklyFiles : TrendSource::Archive;
}

void TrendLoader::load(const TrendRequest &request)
{
    const QString dir = directory;
    start([dir, request](const std::function<bool()> &stop) {
        if (request.source == TrendSource::Archive)
            return readArchive(dir, request);
        return readWeek(dir, request, stop);
    });
}

void TrendLoader::extend(const TrendRequest &request, qint64 afterMs)
{
    const QString dir = directory;
    // Stamps are whole seconds: the next one after the newest shown.
    const qint64 headMs = qMax(request.fromMs, afterMs + 1000);
    start([dir, request, headMs](const std::function<bool()> &stop) {
        TrendLoad load = readWeeklyFiles(dir, request, headMs, stop);
        load.extension = true;
        return load;
    });
}

void TrendLoader::start(const Work &work)
{
    if (stopCurrent)
        *stopCurrent = true;
    auto stopFlag = std::make_shared<std::atomic_bool>(false);
    stopCurrent = stopFlag;
    auto *watcher = new QFutureWatcher<TrendLoad>(this);
    current = watcher;
    running.append(watcher);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher]() {
        running.removeOne(watcher);
        watcher->deleteLater();
        if (watcher != current)
            return;
        current = nullptr;
        emit finished(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([work, stopFlag]() {
        return work([stopFlag]() { return stopFlag->load(); });
    }));
}

TrendLoad TrendLoader::readWeeklyFiles(const QString &dataDirectory, const TrendRequest &request,
                                       qint64 headMs, const std::function<bool()> &stop)
{
    TrendLoad load;
    load.source = TrendSource::WeeklyFiles;
    load.data = emptyData(request, false);
    if (request.devices.isEmpty() || headMs > request.toMs)
        return load;
    const DeviceIndex index = seriesIndex(request);
    QVector<TrendSeries> &series = load.data.series;
    const auto sink = [&index, &series](int device, const QStringList &fields) {
        if (device < 1 || device > kDevices || index[device] < 0 || fields.size() < 5)
            return;
        qint64 x = 0;
        if (!WallTime::parseStamp(HistoryRecord::timeText(fields), &x))
            return;
        TrendSeries &target = series[index[device]];
        target.x.append(double(x));
        target.temperature.append(valueOf(fields.at(1)));
        target.current.append(valueOf(fields.at(2)));
    };
    load.stopped = !HistoryQuery::scan(dataDirectory, request.devices, WallTime::stamp(headMs),
                                       WallTime::stamp(request.toMs), sink, stop);
    for (TrendSeries &one : series)
        sortByTime(&one);
    return load;
}

TrendLoad TrendLoader::readWeek(const QString &dataDirectory, const TrendRequest &request,
                               const std::function<bool()> &stop)
{
    TrendLoad load = readWeeklyFiles(dataDirectory, request, request.fromMs, stop);
    qint64 heldFromMs = 0;
    if (!oldestHeld(dataDirectory, &heldFromMs))
        heldFromMs = request.toMs + 1;
    const qint64 missingToMs = qMin(heldFromMs, request.toMs + 1);
    if (load.stopped || request.devices.isEmpty() || request.fromMs >= missingToMs)
        return load;
    // Whole hours starting in the part the files lost, each drawn at its start: the hour
    // the oldest held minute is in, too, so the line runs on into the minutes.
    TrendData hours = emptyData(request, true);
    QString error;
    if (!readHours(dataDirectory, request, hourFrom(request.fromMs), (missingToMs + 999) / 1000,
                   &hours, &error)) {
        load.data.archivedToMs = missingToMs;
        load.data.archiveError = error;
        return load;
    }
    for (int s = 0; s < load.data.series.size(); ++s) {
        TrendSeries &series = load.data.series[s];
        TrendSeries &hour = hours.series[s];
        if (hour.x.isEmpty())
            continue;
        load.data.archivedToMs = missingToMs;
        series.x = hour.x + series.x;
        series.temperature = hour.temperature + series.temperature;
        series.current = hour.current + series.current;
        series.temperatureMin = hour.temperatureMin;
        series.temperatureMax = hour.temperatureMax;
        series.currentMin = hour.currentMin;
        series.currentMax = hour.currentMax;
    }
    return load;
}

bool TrendLoader::oldestHeld(const QString &dataDirectory, qint64 *wallMs)
{
    const QDir directory(dataDirectory);
    QTextCodec *codec = DeviceSettingsFile::codec();
    for (const int day : HistoryQuery::dayOrder(HistoryStore::orderingCount(dataDirectory))) {
        QFile file(directory.filePath(HistoryStore::dayFileName(day)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (int k = 0; k < kLinesLooked && !file.atEnd(); ++k) {
            const QString line = codec->toUnicode(file.readLine(kLineBytes));
            for (const QStringList &fields : HistoryRecord::parse(line)) {
                if (WallTime::parseStamp(HistoryRecord::timeText(fields), wallMs))
                    return true;
            }
        }
    }
    return false;
}

TrendLoad TrendLoader::readArchive(const QString &dataDirectory, const TrendRequest &request)
{
    TrendLoad load;
    load.source = TrendSource::Archive;
    load.data = emptyData(request, true);
    if (request.devices.isEmpty())
        return load;
    // Whole hours whose start lies in the range, each drawn at its start.
    QString error;
    if (!readHours(dataDirectory, request, hourFrom(request.fromMs),
                   WallTime::hourStart(request.toMs) + 3600, &load.data, &error))
        load.error = error;
    return load;
}

TrendData TrendLoader::extended(const TrendData &base, const TrendData &more)
{
    TrendData data = base;
    data.fromMs = more.fromMs;
    data.toMs = more.toMs;
    for (int s = 0; s < data.series.size() && s < more.series.size(); ++s) {
        TrendSeries &series = data.series[s];
        const TrendSeries &added = more.series.at(s);
        series.x += added.x;
        series.temperature += added.temperature;
        series.current += added.current;
        sortByTime(&series);
        const int gone = int(std::lower_bound(series.x.cbegin(), series.x.cend(), double(data.fromMs))
                             - series.x.cbegin());
        if (gone == 0)
            continue;
        for (QVector<double> *values :
             {&series.x, &series.temperature, &series.current, &series.temperatureMin,
              &series.temperatureMax, &series.currentMin, &series.currentMax})
            dropBefore(values, gone);
    }
    return data;
}

qint64 TrendLoader::newestMs(const TrendData &data)
{
    qint64 newest = data.fromMs - 1000;
    for (const TrendSeries &series : data.series) {
        if (!series.x.isEmpty())
            newest = qMax(newest, qint64(series.x.last()));
    }
    return newest;
}
