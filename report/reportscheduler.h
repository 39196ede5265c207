#pragma once

#include "report/reportfiles.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVector>
#include <atomic>
#include <memory>

// Makes reports off the GUI thread, one at a time: those the schedule asks for (the day before
// from 00:05, the month before from the 1st, as ReportSettings says), and any the operator asks
// for. A report the station missed while it was off is made at its next start. A scheduled one
// that fails is said until it is made, and tried again every quarter of an hour.
class ReportScheduler : public QObject
{
    Q_OBJECT

public:
    explicit ReportScheduler(const QString &dataDirectory, QObject *parent = nullptr);
    // Waits for a report being made: its PDF needs the application's fonts.
    ~ReportScheduler() override;

    // Looks for a report due at once, then every minute.
    void start();
    // A report on demand into folder; false while another is being made.
    bool make(const ReportPeriod &period, const QString &folder);
    void cancel();
    bool isBusy() const { return watcher.isRunning(); }

signals:
    // The progress of a report asked for with make().
    void progressed(int percent);
    void finished(const ReportOutcome &outcome, bool onDemand);
    // "定时报表未能生成：…" while a scheduled report fails; empty once it is made.
    void problemChanged(const QString &text);

private:
    void checkDue();
    // The first of periods whose files are not both there (on demand: the one period).
    void run(const QVector<ReportPeriod> &periods, const QString &folder, bool onDemand);
    void jobFinished();
    void setProblem(const QString &text);

    QString dataDir;
    QTimer dueTimer;
    QTimer progressTimer;
    QFutureWatcher<ReportOutcome> watcher;
    std::shared_ptr<std::atomic<bool>> cancelFlag;
    std::shared_ptr<std::atomic<int>> percent;
    int shownPercent = -1;
    bool runningOnDemand = false;
    // Scheduled periods with nothing recorded: not looked at again until the next start.
    QSet<QString> nothingRecorded;
    // Scheduled periods made by this run, whatever their files say of them afterwards.
    QSet<QString> madeHere;
    // What a killed report left in the folder is removed once, at the first look.
    bool tidied = false;
    // Scheduled periods that failed, and the time (ms since the epoch) of their next try.
    QHash<QString, qint64> retryAt;
    bool retryWaiting = false;
    QString problem;
};
