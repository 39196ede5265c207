// What a report's figures cost to gather: yesterday's day report for 200 devices from a full
// week of history files (goal 2 s) and last month's from the hourly archive (goal 3 s), beside
// a journal of a year of alarms, then both made into
// their PDF and XLSX off the GUI thread, with the longest the GUI thread waited meanwhile
// (goal 50 ms). Figures only.
//   bench_report_build WEEK_DIRECTORY   (as bench_make_history_week leaves it; not changed:
//   its files are linked into a temporary folder that gets the database)

#include "core/walltime.h"
#include "history/historystore.h"
#include "report/reportbuilder.h"
#include "report/reportscheduler.h"
#include "storage/hourlyarchive.h"
#include "storage/stationdatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBenchDevices = 200;

// A year before now: each device two temperature alarms a day, acknowledged and recovered,
// and a link outage a day.
bool writeJournal(StationDatabase &db, const QDateTime &now)
{
    QSqlQuery query(db.database());
    bool done =
        query.exec("BEGIN") &&
        query.prepare("INSERT INTO alarm_journal (device, kind, event, time_text, epoch_ms,"
                      " value, limit_value, text, level) VALUES (?, ?, ?, ?, ?, ?, 40, ?, 1)");
    int rows = 0;
    for (int day = 365; done && day >= 1; --day) {
        const QDateTime midnight(now.date().addDays(-day), QTime(0, 0));
        for (int device = 0; done && device <= kBenchDevices; ++device) {
            for (int k = 0; done && k < (device ? 2 : 1); ++k) {
                const QDateTime start = midnight.addSecs(device * 397 + k * 43200);
                const char *events[] = {"alarm", "acknowledge", "recovery"};
                for (int e = 0; done && e < 3; ++e) {
                    const QDateTime when = start.addSecs(e * 600);
                    query.bindValue(0, device);
                    query.bindValue(1, device ? 1 : 4);
                    query.bindValue(2, events[e]);
                    query.bindValue(3, when.toString("yyyy-MM-dd hh:mm:ss"));
                    query.bindValue(4, when.toMSecsSinceEpoch());
                    query.bindValue(5, 41.5 - e);
                    query.bindValue(6, QString::number(device) + events[e]);
                    done = query.exec();
                    ++rows;
                }
            }
        }
    }
    done = done && query.exec("COMMIT");
    std::printf("journal: %d rows over a year\n", rows);
    return done;
}

// Every hour of last month for every device.
bool writeArchive(StationDatabase &db, const QDate &firstDay)
{
    QVector<ArchiveHour> rows;
    const qint64 first = QDateTime(firstDay, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const qint64 end = QDateTime(firstDay.addMonths(1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    for (int device = 1; device <= kBenchDevices; ++device) {
        for (qint64 hour = first; hour < end; hour += 3600) {
            const double base = 15 + (device * 37 + hour / 3600 * 11) % 400 / 10.0;
            rows.append({device, hour, hour, 60, base - 1.25, base, base + 2.5, 60, 0.5, 1, 2});
        }
    }
    std::printf("archive: %d hours of %d devices\n", int(rows.size()), kBenchDevices);
    return HourlyArchive(&db).write(rows);
}

double timed(const QString &directory, const ReportPeriod &period, const QDateTime &now, ReportData *data)
{
    QElapsedTimer clock;
    clock.start();
    *data = ReportBuilder::build(directory, period, QStringLiteral("bench"), now);
    return clock.nsecsElapsed() / 1e6;
}

void measure(const char *what, const QString &directory, const ReportPeriod &period,
             const QDateTime &now, double goalMs)
{
    std::vector<double> ms;
    ReportData data;
    for (int run = 0; run < 5; ++run)
        ms.push_back(timed(directory, period, now, &data));
    std::sort(ms.begin(), ms.end());
    static const char *const sources[] = {"minute files", "hourly archive", "none"};
    std::printf("%s %s (%s): median %.0f ms, min %.0f, max %.0f (goal %.0f ms) | %d devices,"
                " %d alarms, hottest %d (device %d), link %.4f, notes %d, device 1: %d minutes\n",
                what, qPrintable(period.text()), sources[int(data.source)], ms[ms.size() / 2],
                ms.front(), ms.back(), goalMs, int(data.devices.size()),
                int(data.alarms.size()), int(data.hottest.size()), data.hottest.value(0).device,
                data.link.availableShare, int(data.notes.size()),
                data.devices.isEmpty() ? 0 : data.devices.at(0).temperature.minutes);
}

// A report's files made as the window makes them, a 5 ms timer on the GUI thread meanwhile.
void filesBesideTheGui(const QString &directory, const ReportPeriod &period)
{
    QTemporaryDir out;
    ReportScheduler reports(directory);
    QTimer beat;
    QElapsedTimer sinceBeat;
    QElapsedTimer clock;
    double longestMs = 0;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longestMs = std::max(longestMs, sinceBeat.nsecsElapsed() / 1e6);
        sinceBeat.start();
    });
    QObject::connect(&reports, &ReportScheduler::finished, [&](const ReportOutcome &outcome, bool) {
        qint64 bytes[2] = {};
        for (int k = 0; k < outcome.files.size() && k < 2; ++k)
            bytes[k] = QFileInfo(outcome.files.at(k)).size();
        std::printf("%s files beside the GUI: %.0f ms, written %d (PDF %lld bytes, XLSX %lld), longest"
                    " GUI-thread wait %.1f ms (goal 50 ms)%s\n",
                    qPrintable(period.text()), clock.nsecsElapsed() / 1e6, int(outcome.written()),
                    bytes[0], bytes[1], longestMs, qPrintable(outcome.error));
        QCoreApplication::quit();
    });
    sinceBeat.start();
    beat.start();
    clock.start();
    reports.make(period, out.path());
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // The PDF's fonts; the station's settings of the test user, not the real one's.
    QStandardPaths::setTestModeEnabled(true);
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WEEK_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir week(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir dir;
    QStringList names = {HistoryStore::counterFileName()};
    for (int day = 0; day < HistoryStore::kDays; ++day)
        names << HistoryStore::dayFileName(day);
    for (const QString &name : names) {
        if (!QFile::link(week.absoluteFilePath(name), dir.filePath(name))) {
            std::fprintf(stderr, "cannot link %s\n", qPrintable(week.absoluteFilePath(name)));
            return 1;
        }
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QDate lastMonth = now.date().addMonths(-1);
    const ReportPeriod yesterday = ReportPeriod::day(now.date().addDays(-1));
    const ReportPeriod month = ReportPeriod::month(lastMonth.year(), lastMonth.month());
    {
        StationDatabase db(dir.path());
        QElapsedTimer clock;
        clock.start();
        if (!db.open() || !writeJournal(db, now) || !writeArchive(db, month.firstDay())) {
            std::fprintf(stderr, "cannot write the database\n");
            return 1;
        }
        std::printf("database written in %.1f s\n", clock.elapsed() / 1000.0);
    }
    measure("day", dir.path(), yesterday, now, 2000);
    measure("month", dir.path(), month, now, 3000);
    filesBesideTheGui(dir.path(), yesterday);
    filesBesideTheGui(dir.path(), month);
    return 0;
}
