#pragma once

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>

// Keeps the hourly archive in step with the weekly history files. The files are the truth
// for the hours they hold: a pass sums up a range of hours from them and writes a (device,
// hour) row only when the files give it more values than its archived row, so a pass can be
// repeated or cut short at any point, and an hour whose first minutes have left the files
// keeps its fuller row. Lives on the GUI thread; passes run one at a time on a worker thread
// with a database connection of their own.
class ArchiveUpdater : public QObject
{
    Q_OBJECT

public:
    struct PassResult
    {
        bool ok = true;
        bool stopped = false; // ended early by `stop`
        int rowsWritten = 0;
        qint64 fromHour = 0; // the hours written, [fromHour, toHour), when rowsWritten > 0
        qint64 toHour = 0;
        QString error;
        int resultCode = 0; // SQLite's primary result code of a database failure
    };

    // Hours (wall seconds) a backfill covers: every stamp the files can hold.
    static qint64 earliestHour();
    static qint64 latestHour();
    // Rows per transaction: short enough that another connection's commit on the same file
    // waits little.
    static constexpr int kRowsPerTransaction = 1000;

    explicit ArchiveUpdater(const QString &dataDirectory, QObject *parent = nullptr);
    ~ArchiveUpdater() override; // stops and waits for a running pass

    // Backfill: every hour the weekly files hold before now's hour.
    void start(const QDateTime &now);
    // Called after each minute write with that write's time. The first call in another hour
    // archives the hours minutes went into before it.
    void minuteRecorded(const QDateTime &now);
    bool isBusy() const { return running; }

    // One synchronous pass: the hours fromHour <= hour < toHour (wall seconds), hours at or
    // after currentHour left out as not complete. `stop` is asked now and then.
    static PassResult runPass(const QString &dataDirectory, qint64 fromHour, qint64 toHour,
                              qint64 currentHour, const std::function<bool()> &stop = {});

signals:
    void hoursWritten(qint64 fromHour, qint64 toHour); // wall seconds, [from, to)
    // Each pass's end, written or not (tests and the bench wait for it).
    void passFinished(bool ok);

private:
    void launch(qint64 currentHour);
    void finished();

    QString directory;
    QSet<qint64> pending;    // hours minutes went into, not yet archived
    QSet<qint64> inFlight;   // the pending hours the running pass covers
    bool backfillWanted = false;
    bool backfillRunning = false;
    bool running = false;
    bool queued = false;     // asked for while a pass ran
    qint64 queuedHour = 0;
    bool haveHour = false;
    qint64 lastHour = 0;
    QString reportedFailure;
    std::atomic<bool> stopping{false};
    QFutureWatcher<PassResult> watcher;
};
