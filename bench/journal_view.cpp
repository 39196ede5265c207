// How long the alarm journal view takes to show its first page over a journal of a million
// events (200 devices over 30 days; device 200 has three events, device 0 a station event
// every 997), for one typical device, the sparse device and all devices, and how long a page
// of scrolling and an export take. Reports figures only; never fails on time.
//   bench_journal_view [DIRECTORY]   (default: a temporary folder, removed afterwards)

#include "monitor/alarmjournaldialog.h"
#include "storage/journalmodel.h"
#include "storage/stationdatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kEvents = 1000000;
constexpr qint64 kSpanMs = 30LL * 24 * 3600 * 1000;

bool fill(QSqlDatabase database, qint64 nowMs)
{
    QElapsedTimer timer;
    timer.start();
    database.transaction();
    QSqlQuery insert(database);
    insert.prepare("INSERT INTO alarm_journal (device, kind, event, time_text, epoch_ms, value, "
                   "limit_value, text, began_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    quint32 seed = 12345;
    for (int i = 0; i < kEvents; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const qint64 ms = nowMs - kSpanMs + kSpanMs / kEvents * i;
        int device = 1 + int(seed >> 8) % 199;
        int kind = 1 + int(seed >> 4) % 3;
        QString event = (seed & 1) ? QStringLiteral("alarm") : QStringLiteral("recovery");
        if (i % 997 == 0) {
            device = kind = 0;
            event = QStringLiteral("silence");
        } else if (i % 333333 == 1) {
            device = 200;
        }
        insert.addBindValue(device);
        insert.addBindValue(kind);
        insert.addBindValue(event);
        insert.addBindValue(QDateTime::fromMSecsSinceEpoch(ms).toString(format));
        insert.addBindValue(ms);
        insert.addBindValue(device ? QVariant(85.5) : QVariant());
        insert.addBindValue(device ? QVariant(80.0) : QVariant());
        insert.addBindValue(QString::number(device) + QStringLiteral("温度异常"));
        insert.addBindValue(event == QLatin1String("alarm") ? QVariant(ms - 5000) : QVariant());
        if (!insert.exec()) {
            std::fprintf(stderr, "insert failed: %s\n", qPrintable(insert.lastError().text()));
            return false;
        }
    }
    const bool committed = database.commit();
    std::printf("wrote %d events in one transaction: %.1f s\n", kEvents, timer.elapsed() / 1000.0);
    return committed;
}

JournalFilter devices(int first, int last, qint64 fromMs = 0, int kind = 0)
{
    JournalFilter filter;
    filter.firstDevice = first;
    filter.lastDevice = last;
    filter.fromMs = fromMs;
    filter.kind = kind;
    return filter;
}

// The first run on a fresh connection (nothing in SQLite's cache), then the median of five.
void timeFirstPage(const char *what, StationDatabase *station, const JournalFilter &filter)
{
    QElapsedTimer reopen;
    reopen.start();
    station->close();
    station->open();
    static bool told = false;
    if (!told)
        std::printf("closing and opening the database again: %.1f s\n", reopen.elapsed() / 1000.0);
    told = true;
    QVector<double> ms;
    int rows = 0;
    for (int run = 0; run < 6; ++run) {
        QElapsedTimer timer;
        timer.start();
        JournalModel model(station->database(), filter);
        ms << timer.nsecsElapsed() / 1e6;
        rows = model.rowCount();
        if (!model.error().isEmpty())
            std::printf("  query failed: %s\n", qPrintable(model.error()));
    }
    const double first = ms.takeFirst();
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s %4d rows   first %6.1f ms   median %6.1f ms\n", what, rows, first,
                ms.at(ms.size() / 2));
}

void timeScrolling(StationDatabase *station, int pages)
{
    JournalModel model(station->database(), devices(1, 200));
    QElapsedTimer timer;
    timer.start();
    double worst = 0;
    for (int page = 0; page < pages && model.canFetchMore(QModelIndex()); ++page) {
        QElapsedTimer one;
        one.start();
        model.fetchMore(QModelIndex());
        worst = std::max(worst, one.nsecsElapsed() / 1e6);
    }
    std::printf("%-44s %d rows   mean %.1f ms a page, worst %.1f ms\n",
                "all devices, scrolling 200 more pages:", model.rowCount(),
                timer.nsecsElapsed() / 1e6 / pages, worst);
}

void timeExport(const char *what, StationDatabase *station, const JournalFilter &filter)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray document;
    QString error;
    if (!AlarmJournalDialog::csvDocument(station->database(), filter, &document, &error))
        std::printf("  export failed: %s\n", qPrintable(error));
    std::printf("%-44s %d lines, %.1f MB   %.0f ms (on the export's worker)\n", what,
                int(document.count('\n')), document.size() / 1e6, timer.nsecsElapsed() / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    StationDatabase station(directory);
    QString error;
    if (!station.open(&error)) {
        std::fprintf(stderr, "cannot open the database in %s: %s\n", qPrintable(directory),
                     qPrintable(error));
        return 1;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!fill(station.database(), now))
        return 1;

    const qint64 weekAgo = now - 7LL * 24 * 3600 * 1000;
    timeFirstPage("opening: all devices, last 7 days:", &station, devices(1, 200, weekAgo));
    timeFirstPage("device 57 (about 5000 events):", &station, devices(57, 57));
    timeFirstPage("device 200 (3 events):", &station, devices(200, 200));
    timeFirstPage("device 200, kind temperature (none or few):", &station,
                  devices(200, 200, 0, 1));
    timeFirstPage("devices 150 to 200:", &station, devices(150, 200));
    timeFirstPage("all devices, all time:", &station, devices(1, 200));
    timeFirstPage("all devices, kind current:", &station, devices(1, 200, 0, 3));
    timeScrolling(&station, 200);
    timeExport("export, device 57:", &station, devices(57, 57));
    timeExport("export, whole journal:", &station, devices(1, 200));
    return 0;
}
