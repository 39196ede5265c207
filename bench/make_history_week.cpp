// Fills a data directory with a full week of history as the station leaves it: 200
// devices reporting every minute, one line per slot, stamps one minute apart ending now,
// and the counter file. About 140 MB.
//   bench_make_history_week DIRECTORY [COUNT]
// COUNT (0 to 10080, default 10080) is the stored count: the day file it points into
// holds only the lines written since that file was truncated.

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"
#include "history/historystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QTextCodec>

#include <array>
#include <cstdio>
#include <memory>

namespace {

// Varied but never 0, so every device has its record; the texts vary in length as real
// readings do (23.4, 31.25, 0.5, 12).
DeviceReadings readingsAt(int minute)
{
    DeviceReadings readings;
    for (int index = 0; index < kDevices; ++index) {
        readings.deviceTemperature[index] = 15.0f + ((index * 37 + minute * 11) % 400) / 10.0f;
        readings.deviceCurrent[index] = ((index * 13 + minute * 7) % 500) / 100.0f;
        readings.deviceStatusText[index] = QStringLiteral("在线");
    }
    return readings;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool countOk = true;
    const int count = args.size() > 2 ? args.at(2).toInt(&countOk) : HistoryStore::kCycleLines;
    if (args.size() < 2 || !countOk || count < 0 || count > HistoryStore::kCycleLines) {
        std::fprintf(stderr, "usage: %s DIRECTORY [COUNT 0..10080]\n", argv[0]);
        return 2;
    }
    const QString directory = args.at(1);
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    std::array<std::unique_ptr<QFile>, HistoryStore::kDays> files;
    for (int day = 0; day < HistoryStore::kDays; ++day) {
        files[day].reset(new QFile(QDir(directory).filePath(HistoryStore::dayFileName(day))));
        if (!files[day]->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(files[day]->fileName()));
            return 1;
        }
    }

    // The day the count points into was truncated at its first slot: the previous cycle's
    // lines past the count are gone.
    const int fillingDay = count / HistoryStore::kLinesPerDay;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime newest = now.addSecs(-now.time().second());
    QTextCodec *codec = DeviceSettingsFile::codec();
    qint64 bytes = 0;
    int lines = 0;
    for (int age = HistoryStore::kCycleLines - 1; age >= 0; --age) {
        const int slot = ((count - 1 - age) % HistoryStore::kCycleLines + HistoryStore::kCycleLines)
                         % HistoryStore::kCycleLines;
        const int day = slot / HistoryStore::kLinesPerDay;
        if (day == fillingDay && slot >= count)
            continue;
        const QString stamp = QLocale::c().toString(newest.addSecs(-60LL * age),
                                                    QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QByteArray line =
            codec->fromUnicode(HistoryRecord::line(readingsAt(age), stamp) + QStringLiteral("\r\n"));
        if (files[day]->write(line) != line.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(files[day]->fileName()));
            return 1;
        }
        bytes += line.size();
        ++lines;
    }
    for (auto &file : files)
        file->close();

    QSaveFile counter(QDir(directory).filePath(HistoryStore::counterFileName()));
    if (!counter.open(QIODevice::WriteOnly) || counter.write(QByteArray::number(count) + "\r\n") < 0
        || !counter.commit()) {
        std::fprintf(stderr, "cannot write the counter file\n");
        return 1;
    }
    std::printf("history week: %d lines, %.1f MB in %s, count %d, newest %s, written in %.1f s\n",
                lines, bytes / 1e6, qPrintable(QDir(directory).absolutePath()), count,
                qPrintable(newest.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))),
                clock.elapsed() / 1000.0);
    return 0;
}
