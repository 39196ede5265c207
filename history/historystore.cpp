#include "history/historystore.h"

#include "core/wholefile.h"

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTextCodec>

#include <cstdio>

namespace {

const char *const kDayNames[HistoryStore::kDays] = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday",
};

// The first failure of a minute is the one the operator is told about.
void fail(HistoryStore::MinuteResult *result, const QFileDevice &file)
{
    if (result->failed)
        return;
    result->failed = true;
    // Qt files a refusal for want of space as a resource error.
    result->outOfSpace = file.error() == QFileDevice::ResourceError;
    result->reason = file.errorString();
}

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

// *count is left alone when the file cannot be opened; an empty file gives the count the
// day files show, never 0, which would truncate days that hold this week's lines.
bool readCounter(const QString &path, int *count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = DeviceSettingsFile::codec()->toUnicode(file.readAll());
    if (text.isEmpty())
        *count = HistoryStore::countFromDayFiles(QFileInfo(path).path());
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

// The stamp of the last line of a day file that has one, read from its end: a kill may
// have cut the very last line, so the lines before it are tried in turn.
QString lastStamp(QFile &file)
{
    constexpr qint64 kTail = 256 * 1024;
    const qint64 start = qMax<qint64>(0, file.size() - kTail);
    if (!file.seek(start))
        return QString();
    const QString tail = DeviceSettingsFile::codec()->toUnicode(file.read(kTail));
    const QStringList lines = tail.split(QLatin1Char('\n'));
    // The first piece is whole only when the tail is the whole file.
    for (int k = lines.size() - 1; k >= (start == 0 ? 0 : 1); --k) {
        const QVector<QStringList> records = HistoryRecord::parse(lines.at(k));
        const QString stamp = records.isEmpty() ? QString() : HistoryRecord::timeText(records.first());
        if (stamp.size() == 19)
            return stamp;
    }
    return QString();
}

int linesIn(QFile &file)
{
    if (!file.seek(0))
        return 0;
    int count = 0;
    char last = '\n';
    QByteArray chunk;
    while (!(chunk = file.read(1 << 20)).isEmpty()) {
        count += chunk.count('\n');
        last = chunk.back();
    }
    // A line a kill left unended is ended by the next write, so it counts.
    return last == '\n' ? count : count + 1;
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

int HistoryStore::orderingCount(const QString &dataDirectory)
{
    const int count = readStoredCount(dataDirectory);
    // Only a count on a day's last slot, or on the cycle's end, can stand before such a tick.
    if (count < kCycleLines && count % kLinesPerDay != kLinesPerDay - 1)
        return count;
    const int day = qBound(0, count, kCycleLines - 1) / kLinesPerDay;
    const int next = (day + 1) % kDays;
    const QDir dir(dataDirectory);
    QFile filling(dir.filePath(dayFileName(day)));
    QFile following(dir.filePath(dayFileName(next)));
    if (!filling.open(QIODevice::ReadOnly) || !following.open(QIODevice::ReadOnly))
        return count;
    // Otherwise the next day holds the last cycle's lines, a week older. A day's last tick
    // writes one line into both days; the cycle's end begins Monday with a later one.
    const QString begun = lastStamp(following);
    const QString last = lastStamp(filling);
    const bool newer = !begun.isEmpty() && (begun > last || (next != 0 && begun == last));
    return newer ? next * kLinesPerDay : count;
}

int HistoryStore::countFromDayFiles(const QString &dataDirectory)
{
    const QDir dir(dataDirectory);
    int newestDay = -1;
    QString newest;
    for (int day = 0; day < kDays; ++day) {
        QFile file(dir.filePath(dayFileName(day)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString stamp = lastStamp(file);
        // On a tie the later day wins: the tick that fills a day also starts the next.
        if (!stamp.isEmpty() && stamp >= newest) {
            newest = stamp;
            newestDay = day;
        }
    }
    if (newestDay < 0)
        return 0;
    QFile file(dir.filePath(dayFileName(newestDay)));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return newestDay * kLinesPerDay + qMin(linesIn(file), int(kLinesPerDay));
}

HistoryStore::MinuteResult HistoryStore::recordHistoryMinute(const DeviceReadings &readings,
                                                             const QDateTime &now)
{
    MinuteResult result;
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
            appendLine(day, bytes, &result);
            if (!bytes.isEmpty())
                ++lineCount;
        }
    }

    storeCount(&result);
    return result;
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

void HistoryStore::appendLine(int day, const QByteArray &bytes, MinuteResult *result) const
{
    QFile file(filePath(dayFileName(day)));
    // Unbuffered: the whole line goes out in one write, so a kill never leaves half of it,
    // and a write the disk refuses is known here, not lost in a later flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        report("Open failed1.");
        if (!bytes.isEmpty())
            fail(result, file);
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
    if (WholeFile::writeAll(file, ending + bytes)) {
        result->lineWritten = true;
        return;
    }
    // A line cut short (disk full) would run into the next one: take it back. Shrinking
    // needs no space, so the file is as it was before this minute.
    fail(result, file);
    file.resize(previousSize);
}

void HistoryStore::storeCount(MinuteResult *result) const
{
    // Replaced whole, so a crash or a full disk cannot leave an empty counter and restart
    // the cycle.
    QString error;
    if (!WholeFile::write(filePath(counterFileName()), QByteArray::number(lineCount) + "\r\n",
                          &error)) {
        report("Open failed1.");
        if (!result->failed) {
            result->failed = true;
            result->reason = error;
        }
    }
}
