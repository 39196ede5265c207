#pragma once

#include "trend/trenddata.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>

template <typename T>
class QFutureWatcher;

// Where a trend's figures come from: the minute records of the seven weekly history files,
// or the hourly archive in the station's database.
enum class TrendSource { WeeklyFiles, Archive };

// What to load: the devices, each with its label and limits, over a range of wall time.
struct TrendRequest
{
    QVector<int> devices;
    QStringList labels;
    QVector<TrendLimits> limits;
    qint64 fromMs = 0; // wall milliseconds, both ends included
    qint64 toMs = 0;
    TrendSource source = TrendSource::WeeklyFiles;
};

// What a load gave.
struct TrendLoad
{
    TrendData data;
    TrendSource source = TrendSource::WeeklyFiles;
    bool extension = false; // only the records after the newest one already shown
    bool stopped = false;   // ended early; the data is not whole
    QString error;          // why nothing could be read
};

// Loads trends off the GUI thread, one at a time: a new load supersedes a running one, which
// is told to stop and whose outcome is dropped. The reading itself is in the static functions,
// which tests and benches call directly.
class TrendLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kWeekMs = 7LL * 24 * 3600 * 1000;

    explicit TrendLoader(const QString &dataDirectory, QObject *parent = nullptr);
    ~TrendLoader() override; // stops what runs and waits for it

    // The weekly files hold the last seven days: a range starting within them is read there
    // at full resolution; an older start needs the archive.
    static TrendSource sourceFor(qint64 fromMs, qint64 nowMs);

    void load(const TrendRequest &request);
    // Live: the records stamped after afterMs up to request.toMs (an extension).
    void extend(const TrendRequest &request, qint64 afterMs);
    bool isBusy() const { return current != nullptr; }

    // One scan of the weekly files for every requested device, records stamped headMs..toMs.
    // A record whose stamp is no real time is skipped; a value that is no number is NaN.
    static TrendLoad readWeeklyFiles(const QString &dataDirectory, const TrendRequest &request,
                                     qint64 headMs, const std::function<bool()> &stop = {});
    // The same over the whole range, with the archive's hours before the oldest minute the
    // files still hold (the file being refilled has lost last week's lines) in front.
    static TrendLoad readWeek(const QString &dataDirectory, const TrendRequest &request,
                              const std::function<bool()> &stop = {});
    // The stamp of the oldest line the weekly files hold, in the order they were written;
    // false when they hold none.
    static bool oldestHeld(const QString &dataDirectory, qint64 *wallMs);
    // The hours starting within fromMs..toMs, from a database connection of this thread.
    static TrendLoad readArchive(const QString &dataDirectory, const TrendRequest &request);
    // base followed by more's points (the same devices in the same order), over more's range:
    // the points that fell out of its start are dropped.
    static TrendData extended(const TrendData &base, const TrendData &more);
    // The stamp of the newest point of any series; fromMs - 1000 when there is none.
    static qint64 newestMs(const TrendData &data);

signals:
    void finished(const TrendLoad &load);

private:
    using Work = std::function<TrendLoad(const std::function<bool()> &stop)>;
    void start(const Work &work);

    QString directory;
    QFutureWatcher<TrendLoad> *current = nullptr;
    std::shared_ptr<std::atomic_bool> stopCurrent;
    QList<QFutureWatcher<TrendLoad> *> running;
};
