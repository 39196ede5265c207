#include "trend/trendcontroller.h"

#include "config/stationsettings.h"
#include "core/walltime.h"
#include "trend/trendwindow.h"

#include <QSysInfo>
#include <QWidget>

namespace {

const char *const kDevicesKey = "trend/devices";
const char *const kRangeKey = "trend/range";
const char *const kFromKey = "trend/from";
const char *const kToKey = "trend/to";

// Stamps have whole seconds; so have the ranges, or a record at the first second is lost.
qint64 wholeSeconds(qint64 wallMs)
{
    return wallMs - ((wallMs % 1000) + 1000) % 1000;
}

qint64 wallOf(const QDateTime &when)
{
    return wholeSeconds(WallTime::wallMs(when));
}

QString sourceName(TrendSource source)
{
    return source == TrendSource::Archive ? QStringLiteral("小时归档") : QStringLiteral("周历史文件");
}

bool sameDevices(const TrendData &a, const TrendData &b)
{
    if (a.series.size() != b.series.size())
        return false;
    for (int k = 0; k < a.series.size(); ++k) {
        if (a.series.at(k).device != b.series.at(k).device)
            return false;
    }
    return true;
}

// What is shown, or why nothing is.
QString statusOf(const TrendData &data, TrendSource source, const QString &error)
{
    const auto tr = [](const char *text) { return TrendController::tr(text); };
    if (!error.isEmpty())
        return tr("%1无法读取：%2").arg(sourceName(source), error);
    const QString range =
        tr("%1 至 %2").arg(WallTime::stamp(data.fromMs), WallTime::stamp(data.toMs));
    // Hours in front of minutes are told apart: they are what the weekly files lost.
    const bool mixed = !data.hourly;
    int total = 0, hours = 0;
    QStringList counts;
    for (const TrendSeries &series : data.series) {
        const int ahead = mixed ? hourCount(series) : 0;
        total += series.x.size() - ahead;
        hours += ahead;
        counts << QStringLiteral("%1：%2")
                      .arg(series.device, 3, 10, QLatin1Char('0'))
                      .arg(series.x.size() - ahead);
    }
    const QString what =
        total == 0 && hours == 0 ? tr("所选设备在此时间内没有记录")
        : data.hourly ? tr("共 %1 个小时值（%2）").arg(total).arg(counts.join(tr("，")))
                      : tr("共 %1 个分钟值（%2）").arg(total).arg(counts.join(tr("，")));
    QString status = QStringLiteral("%1 │ %2 │ %3").arg(sourceName(source), range, what);
    if (data.archivedToMs > data.fromMs && (hours > 0 || !data.archiveError.isEmpty())) {
        const QString lost = tr("%1 至 %2 的分钟值已不在周历史文件中，")
                                 .arg(WallTime::stamp(data.fromMs),
                                      WallTime::stamp(data.archivedToMs));
        status += QStringLiteral(" │ ")
                  + (data.archiveError.isEmpty()
                         ? lost + tr("取自小时归档：共 %1 个小时值").arg(hours)
                         : lost + tr("小时归档无法读取：%1").arg(data.archiveError));
    }
    return status;
}

bool problemIn(const TrendLoad &load)
{
    return !load.error.isEmpty() || !load.data.archiveError.isEmpty();
}

} // namespace

TrendController::TrendController(const QString &dataDirectory, QWidget *parentWindow)
    : QObject(parentWindow), directory(dataDirectory), parentWidget(parentWindow),
      loader(new TrendLoader(dataDirectory, this)),
      clock([]() { return QDateTime::currentDateTime(); })
{
    connect(loader, &TrendLoader::finished, this, &TrendController::loaded);
}

TrendController::~TrendController()
{
    // Without a main window to own it, the window is this controller's.
    if (trendWindow && !trendWindow->parent())
        delete trendWindow;
}

void TrendController::setDeviceNames(std::function<QString(int)> deviceNames)
{
    names = std::move(deviceNames);
}

void TrendController::setLimits(std::function<TrendLimits(int)> deviceLimits)
{
    limits = std::move(deviceLimits);
}

void TrendController::setStationName(std::function<QString()> name)
{
    stationName = std::move(name);
}

void TrendController::setClock(std::function<QDateTime()> now)
{
    clock = std::move(now);
}

void TrendController::ensureWindow()
{
    if (trendWindow)
        return;
    trendWindow = new TrendWindow(parentWidget);
    trendWindow->setDeviceNames([this](int device) { return names ? names(device) : QString(); });
    trendWindow->setStationName([this]() {
        // A title line, whatever was typed as the name.
        const QString name = stationName ? stationName().simplified() : QString();
        return name.isEmpty() ? QSysInfo::machineHostName() : name;
    });
    trendWindow->setExportDirectory(directory);
    connect(trendWindow, &TrendWindow::showRequested, this, &TrendController::showChosen);

    const auto settings = StationSettings::open();
    trendWindow->setDeviceText(settings->value(kDevicesKey, QStringLiteral("1")).toString());
    const int preset = settings->value(kRangeKey, TrendWindow::kDefaultPreset).toInt();
    qint64 fromMs = 0, toMs = 0;
    if (preset == TrendWindow::kCustom
        && WallTime::parseStamp(settings->value(kFromKey).toString(), &fromMs)
        && WallTime::parseStamp(settings->value(kToKey).toString(), &toMs)) {
        trendWindow->setRangeShown(fromMs, toMs);
        trendWindow->setPreset(TrendWindow::kCustom);
    } else {
        const bool known = preset >= 0 && preset < TrendWindow::presets().size();
        trendWindow->setPreset(known ? preset : TrendWindow::kDefaultPreset);
    }
}

void TrendController::open()
{
    const bool fresh = !trendWindow;
    ensureWindow();
    // A hidden window did not follow the clock: what it showed is old.
    const bool hidden = !trendWindow->isVisible();
    trendWindow->show();
    trendWindow->raise();
    trendWindow->activateWindow();
    if (fresh || hidden)
        showChosen();
}

void TrendController::openFor(int device, const QDateTime &from, const QDateTime &to)
{
    ensureWindow();
    trendWindow->setDeviceText(QString::number(device));
    trendWindow->setPreset(TrendWindow::kCustom);
    trendWindow->setRangeShown(WallTime::wallMs(from), WallTime::wallMs(to));
    trendWindow->show();
    trendWindow->raise();
    trendWindow->activateWindow();
    showChosen();
}

TrendRequest TrendController::request(const QVector<int> &devices, qint64 fromMs, qint64 toMs,
                                      const QDateTime &now) const
{
    TrendRequest next;
    next.devices = devices;
    for (int device : devices) {
        next.labels << TrendWindow::deviceLabel(device, names ? names(device) : QString());
        TrendLimits deviceLimits = limits ? limits(device) : TrendLimits();
        deviceLimits.device = device;
        next.limits << deviceLimits;
    }
    next.fromMs = fromMs;
    next.toMs = toMs;
    next.source = TrendLoader::sourceFor(fromMs, wallOf(now));
    return next;
}

void TrendController::showChosen()
{
    QVector<int> devices;
    QString error;
    if (!TrendWindow::parseDevices(trendWindow->deviceText(), &devices, &error)) {
        trendWindow->showStatus(error, true);
        return;
    }
    const QDateTime now = clock();
    const int preset = trendWindow->preset();
    qint64 fromMs = 0, toMs = 0;
    if (preset != TrendWindow::kCustom) {
        liveSpanMs = TrendWindow::presets().at(preset).spanMs;
        toMs = wallOf(now);
        fromMs = toMs - liveSpanMs;
        trendWindow->setRangeShown(fromMs, toMs);
    } else {
        liveSpanMs = 0;
        fromMs = wallOf(trendWindow->customFrom());
        toMs = wallOf(trendWindow->customTo());
        if (fromMs >= toMs) {
            trendWindow->showStatus(tr("开始时间须早于结束时间"), true);
            return;
        }
    }
    shownRequest = request(devices, fromMs, toMs, now);
    keepView = false;
    followPending = false;
    reloadPending = false;
    remember();
    trendWindow->showStatus(tr("正在读取%1…").arg(sourceName(shownRequest.source)), false);
    loader->load(shownRequest);
}

void TrendController::minuteRecorded(const QDateTime &now)
{
    follow(now);
}

void TrendController::follow(const QDateTime &now)
{
    lastMinute = now;
    if (!trendWindow || !trendWindow->isVisible() || liveSpanMs == 0
        || shownRequest.source != TrendSource::WeeklyFiles)
        return;
    if (loader->isBusy()) {
        followPending = true;
        return;
    }
    followPending = false;
    TrendRequest next = shownRequest;
    next.toMs = wallOf(now);
    next.fromMs = next.toMs - liveSpanMs;
    // The operator is typing a range of his own: the editors are his.
    if (trendWindow->preset() != TrendWindow::kCustom)
        trendWindow->setRangeShown(next.fromMs, next.toMs);
    const bool clockWentBack = next.toMs < shownRequest.toMs;
    shownRequest = next;
    if (clockWentBack) {
        keepView = true;
        loader->load(next);
    } else {
        loader->extend(next, TrendLoader::newestMs(trendWindow->data()));
    }
}

void TrendController::archiveUpdated()
{
    if (!trendWindow || !trendWindow->isVisible() || liveSpanMs == 0
        || shownRequest.source != TrendSource::Archive)
        return;
    if (loader->isBusy()) {
        reloadPending = true;
        return;
    }
    reloadArchive();
}

void TrendController::reloadArchive()
{
    reloadPending = false;
    TrendRequest next = shownRequest;
    next.toMs = wallOf(clock());
    next.fromMs = next.toMs - liveSpanMs;
    if (trendWindow->preset() != TrendWindow::kCustom)
        trendWindow->setRangeShown(next.fromMs, next.toMs);
    shownRequest = next;
    keepView = true;
    loader->load(next);
}

void TrendController::loaded(const TrendLoad &load)
{
    if (!trendWindow)
        return;
    const bool problem = problemIn(load);
    if (load.extension) {
        if (sameDevices(trendWindow->data(), load.data)) {
            const TrendData data = TrendLoader::extended(trendWindow->data(), load.data);
            trendWindow->updateData(data, statusOf(data, load.source, load.error),
                                    problem || !data.archiveError.isEmpty());
        }
    } else if (keepView) {
        trendWindow->updateData(load.data, statusOf(load.data, load.source, load.error), problem);
    } else {
        trendWindow->showData(load.data, statusOf(load.data, load.source, load.error), problem);
    }
    keepView = false;
    if (followPending)
        follow(lastMinute);
    else if (reloadPending)
        reloadArchive();
}

void TrendController::remember() const
{
    const auto settings = StationSettings::open();
    settings->setValue(kDevicesKey, trendWindow->deviceText());
    settings->setValue(kRangeKey, trendWindow->preset());
    settings->setValue(kFromKey, WallTime::stamp(wallOf(trendWindow->customFrom())));
    settings->setValue(kToKey, WallTime::stamp(wallOf(trendWindow->customTo())));
    StationSettings::save(*settings);
}

TrendWindow *TrendController::window() const
{
    return trendWindow;
}
