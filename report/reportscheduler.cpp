#include "report/reportscheduler.h"

#include "core/servicelog.h"
#include "report/reportschedule.h"
#include "report/reportsettings.h"
#include "site/sitesettings.h"

#include <QDir>
#include <QtConcurrent>

namespace {

constexpr int kDueCheckMs = 60 * 1000;
constexpr qint64 kRetryMs = 15 * 60 * 1000;
constexpr int kProgressShownMs = 100;

QString shownFiles(const QStringList &files)
{
    QStringList shown;
    for (const QString &file : files)
        shown << QDir::toNativeSeparators(file);
    return shown.join(QStringLiteral("、"));
}

} // namespace

ReportScheduler::ReportScheduler(const QString &dataDirectory, QObject *parent)
    : QObject(parent), dataDir(dataDirectory)
{
    qRegisterMetaType<ReportOutcome>();
    dueTimer.setInterval(kDueCheckMs);
    connect(&dueTimer, &QTimer::timeout, this, &ReportScheduler::checkDue);
    progressTimer.setInterval(kProgressShownMs);
    connect(&progressTimer, &QTimer::timeout, this, [this] {
        const int now = percent ? percent->load() : 0;
        if (now != shownPercent) {
            shownPercent = now;
            emit progressed(now);
        }
    });
    connect(&watcher, &QFutureWatcher<ReportOutcome>::finished, this, &ReportScheduler::jobFinished);
}

ReportScheduler::~ReportScheduler()
{
    if (cancelFlag)
        cancelFlag->store(true);
    watcher.waitForFinished();
}

void ReportScheduler::start()
{
    dueTimer.start();
    // After the window is up: the start is not held for a report.
    QTimer::singleShot(0, this, &ReportScheduler::checkDue);
}

bool ReportScheduler::make(const ReportPeriod &period, const QString &folder)
{
    if (isBusy() || !period.isValid())
        return false;
    run({period}, folder, true);
    return true;
}

void ReportScheduler::cancel()
{
    if (cancelFlag && isBusy())
        cancelFlag->store(true);
}

void ReportScheduler::checkDue()
{
    if (isBusy())
        return;
    const ReportSettings settings = ReportSettings::load();
    const QDateTime now = QDateTime::currentDateTime();
    QVector<ReportPeriod> candidates;
    retryWaiting = false;
    for (const ReportPeriod &period : ReportSchedule::due(now, settings.daily, settings.monthly)) {
        const QString key = period.text();
        if (nothingRecorded.contains(key))
            continue;
        if (retryAt.contains(key) && now.toMSecsSinceEpoch() < retryAt.value(key)) {
            retryWaiting = true;
            continue;
        }
        candidates << period;
    }
    if (!candidates.isEmpty())
        run(candidates, settings.folderPath(dataDir), false);
    else if (!retryWaiting)
        setProblem(QString());
}

void ReportScheduler::run(const QVector<ReportPeriod> &periods, const QString &folder, bool onDemand)
{
    runningOnDemand = onDemand;
    cancelFlag = std::make_shared<std::atomic<bool>>(false);
    percent = std::make_shared<std::atomic<int>>(0);
    shownPercent = -1;
    const QString station = SiteSettings::load().station;
    const QString dataDirectory = dataDir;
    const auto cancel = cancelFlag;
    const auto progress = percent;
    const QSet<QString> made = madeHere;
    const bool tidy = !onDemand && !tidied;
    tidied = tidied || !onDemand;
    // Whether a report is there is asked on the worker too: a report folder on a network
    // share that hangs must not hang the window.
    watcher.setFuture(QtConcurrent::run([=] {
        if (tidy)
            ReportFiles::removeLeftovers(folder);
        for (const ReportPeriod &period : periods) {
            // A pair made while its period ran, or left mixed by a kill, is made again; one this
            // run made itself is not, should the folder not keep its times.
            if (!onDemand && (made.contains(period.text()) ||
                              ReportFiles::state(folder, station, period) == ReportFiles::State::Complete))
                continue;
            return ReportFiles::make(dataDirectory, period, station, folder, QDateTime::currentDateTime(),
                                     [progress](int p) { progress->store(p); }, cancel.get());
        }
        return ReportOutcome();
    }));
    if (onDemand) {
        progressTimer.start();
        emit progressed(0);
    }
}

void ReportScheduler::jobFinished()
{
    progressTimer.stop();
    const ReportOutcome outcome = watcher.result();
    const bool onDemand = runningOnDemand;
    if (!outcome.period.isValid()) {
        // Every report due is there.
        if (!retryWaiting)
            setProblem(QString());
        return;
    }
    const QString key = outcome.period.text();
    if (outcome.written()) {
        if (onDemand)
            emit progressed(100);
        ServiceLog::write("report", tr("报表已生成：%1").arg(shownFiles(outcome.files)));
        retryAt.remove(key);
        if (!onDemand)
            madeHere.insert(key);
    } else if (outcome.empty) {
        ServiceLog::write("report", tr("%1 没有记录，未生成报表").arg(key));
        if (!onDemand)
            nothingRecorded.insert(key);
    } else if (!outcome.cancelled) {
        const QString text = tr("%1 报表未能生成：%2").arg(key, outcome.error);
        ServiceLog::write("report", text);
        if (!onDemand) {
            retryAt.insert(key, QDateTime::currentMSecsSinceEpoch() + kRetryMs);
            setProblem(tr("定时报表未能生成，稍后重试：%1").arg(outcome.error));
        }
    }
    emit finished(outcome, onDemand);
    // Another may be due: the month's after the day's, or one the operator's report held up.
    QTimer::singleShot(0, this, &ReportScheduler::checkDue);
}

void ReportScheduler::setProblem(const QString &text)
{
    if (text == problem)
        return;
    problem = text;
    emit problemChanged(text);
}
