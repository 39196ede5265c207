#include "history/historystore.h"

#include "config/wholefile.h"

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTextCodec>

#include <cstdio>

namespace {

const char *const kDayNames[HistoryStore::kDays] = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday",
};

void report(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A count outside the cycle would stop recording for good (above) or grow Monday without
// bound (below); taken to the nearest end it restarts the cycle instead.
int countOfLine(QString line)
{
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    bool ok = false;
    const qlonglong value = line.toLongLong(&ok, 10);
    if (!ok)
        return 0;
    return static_cast<int>(qBound<qlonglong>(0, value, HistoryStore::kCycleLines));
}

// *count is left alone when the file cannot be opened or holds no line.
bool readCounter(const QString &path, int *count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = DeviceSettingsFile::codec()->toUnicode(file.readAll());
    int start = 0;
    while (start < text.size()) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        *count = countOfLine(text.mid(start, end - start));
        start = end + 1;
    }
    return true;
}

} // namespace

HistoryStore::HistoryStore(const QString &dataDirectory) : directory(dataDirectory) {}

QString HistoryStore::dayFileName(int day)
{
    if (day < 0 || day >= kDays)
        return QString();
    return QStringLiteral("History_%1_value.txt").arg(QLatin1String(kDayNames[day]));
}

QString HistoryStore::counterFileName()
{
    return QStringLiteral("profile.txt");
}

int HistoryStore::readStoredCount(const QString &dataDirectory, bool *readable)
{
    int count = 0;
    const bool opened = readCounter(QDir(dataDirectory).filePath(counterFileName()), &count);
    if (readable)
        *readable = opened;
    return count;
}

void HistoryStore::recordHistoryMinute(const DeviceReadings &readings, const QDateTime &now)
{
    if (!readCounter(filePath(counterFileName()), &lineCount))
        report("Open failed2.");

    // The C locale keeps the digits ASCII whatever the system locale.
    const QString stamp =
        QLocale::c().toString(now.toLocalTime(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString line = HistoryRecord::line(readings, stamp);
    // CR LF everywhere: the files are shared with Windows stations.
    const QByteArray bytes =
        line.isEmpty() ? QByteArray()
                       : DeviceSettingsFile::codec()->fromUnicode(line + QStringLiteral("\r\n"));

    // Monday first; a day's write moves the count on before the next day is tested, so
    // the tick filling a day's last slot also starts the following day.
    for (int day = 0; day < kDays; ++day) {
        const int firstSlot = day * kLinesPerDay;
        if (day == 0 && lineCount == kCycleLines) {
            truncateDay(0);
            lineCount = 0;
        } else if (day > 0 && lineCount == firstSlot) {
            truncateDay(day);
        }
        if (lineCount >= firstSlot && lineCount < firstSlot + kLinesPerDay) {
            appendLine(day, bytes);
            if (!bytes.isEmpty())
                ++lineCount;
        }
    }

    storeCount();
}

QString HistoryStore::filePath(const QString &name) const
{
    return QDir(directory).filePath(name);
}

void HistoryStore::truncateDay(int day) const
{
    QFile file(filePath(dayFileName(day)));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void HistoryStore::appendLine(int day, const QByteArray &bytes) const
{
    QFile file(filePath(dayFileName(day)));
    // Unbuffered: the whole line goes out in one write, so a kill never leaves half of it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        report("Open failed1.");
        return;
    }
    if (bytes.isEmpty())
        return;
    const qint64 previousSize = file.size();
    // A kill can stop a write between two pages and leave the last line unended: it is
    // ended here, so its whole records stay readable and the new line starts its own.
    QByteArray ending;
    if (previousSize > 0) {
        QFile tail(file.fileName());
        if (tail.open(QIODevice::ReadOnly) && tail.seek(qMax<qint64>(0, previousSize - 2))) {
            const QByteArray last = tail.read(2);
            if (last.endsWith('\r'))
                ending = "\n";
            else if (!last.endsWith("\r\n"))
                ending = "\r\n";
        }
    }
    // A line cut short (disk full) would run into the next one: take it back.
    if (file.write(ending + bytes) != ending.size() + bytes.size())
        file.resize(previousSize);
}

void HistoryStore::storeCount() const
{
    // Replaced whole, so a crash cannot leave an empty counter and restart the cycle.
    if (!WholeFile::write(filePath(counterFileName()), QByteArray::number(lineCount) + "\r\n"))
        report("Open failed1.");
}
