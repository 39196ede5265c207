#include "history/historyquery.h"

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"
#include "history/historystore.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTextCodec>
#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr int kDays = HistoryStore::kDays;
constexpr int kStampLength = 19;
constexpr int kNumbers = 1000; // every three-digit device text
constexpr int kStretchBytes = 1 << 20;

const char *const kDayFailures[kDays] = {
    "读取星期一文件失败", "读取星期二文件失败", "读取星期三文件失败", "读取星期四文件失败",
    "读取星期五文件失败", "读取星期六文件失败", "读取星期天文件失败"};

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// What every record is judged against, worked out once per query.
class Target
{
public:
    // One device text as the history page gives it; any text at all.
    Target(const QString &device, const QString &from, const QString &to) : Target(from, to)
    {
        // A record's device text is always three characters.
        impossible = impossible || device.size() != 3;
        if (impossible)
            return;
        const int number =
            numberOf(device.at(0).unicode(), device.at(1).unicode(), device.at(2).unicode());
        if (number >= 0) {
            wanted[number] = true;
            return;
        }
        oddText = device;
        oddBytes = device.toLatin1();
        // A NUL or non-ASCII device text can only be judged by the parse.
        parseAll = !isAscii(device) || device.contains(QChar(0));
    }

    Target(const QVector<int> &devices, const QString &from, const QString &to)
        : Target(from, to)
    {
        for (const int device : devices) {
            if (device >= HistoryQuery::kFirstDevice && device <= HistoryQuery::kLastDevice)
                wanted[device] = true;
        }
        if (devices.isEmpty())
            std::fill(wanted + HistoryQuery::kFirstDevice, wanted + HistoryQuery::kLastDevice + 1,
                      true);
    }

    // The device number a record with this device text is taken for, or -1 when it is not
    // wanted (0 for a wanted text that is no number).
    int deviceOf(const QString &text) const
    {
        if (text.size() == 3) {
            const int number =
                numberOf(text.at(0).unicode(), text.at(1).unicode(), text.at(2).unicode());
            if (number >= 0)
                return wanted[number] ? number : -1;
        }
        return !oddText.isEmpty() && text == oddText ? 0 : -1;
    }

    bool inRange(const QString &time) const { return !(time < head || tail < time); }

    // Whether the record at p (size bytes, without its ";") could be one to take. Its first
    // six bytes, when all ASCII, are its first six characters in any ASCII-based code page;
    // anything else is left to the parse.
    bool couldMatch(const char *p, std::ptrdiff_t size) const
    {
        if (parseAll)
            return true;
        if (size < 6)
            return false; // fewer than six characters: the device text holds a NUL
        for (int k = 0; k < 6; ++k) {
            if (static_cast<unsigned char>(p[k]) >= 0x80)
                return true;
        }
        const int number = numberOf(p[3], p[4], p[5]);
        const bool device =
            number >= 0 ? wanted[number]
                        : oddBytes.size() == 3 && std::memcmp(p + 3, oddBytes.constData(), 3) == 0;
        return device && !stampOutside(p, size);
    }

    const QString head;
    const QString tail;
    QTextCodec *const codec;
    bool impossible = false;

private:
    Target(const QString &from, const QString &to)
        : head(from), tail(to), codec(DeviceSettingsFile::codec()),
          tag(codec->fromUnicode(QStringLiteral("#时间:")))
    {
        impossible = head > tail;
        // A record too short for a time field has the empty time, which only an empty head
        // lets through; with ASCII ends the stamp bytes compare as its characters do.
        stampFilter = !head.isEmpty() && isAscii(head) && isAscii(tail);
        if (stampFilter) {
            asciiHead = head.toLatin1();
            asciiTail = tail.toLatin1();
        }
    }

    static int numberOf(ushort a, ushort b, ushort c)
    {
        auto digit = [](ushort d) { return d >= '0' && d <= '9'; };
        if (!digit(a) || !digit(b) || !digit(c))
            return -1;
        return (a - '0') * 100 + (b - '0') * 10 + (c - '0');
    }

    static int compare(const char *stamp, const QByteArray &end)
    {
        const int common = std::min(kStampLength, end.size());
        const int order = std::memcmp(stamp, end.constData(), static_cast<size_t>(common));
        return order != 0 ? order : kStampLength - end.size();
    }

    // Whether a record ending "#时间:" + 19 ASCII bytes + "#" holds a stamp outside the
    // range; such a record's last field is the time field (the one with more than five
    // fields included) and those bytes are its time text. Every other shape is left to
    // the parse. "#" is a character boundary as ";" is: no code page the files use has an
    // ASCII trail byte below "@".
    bool stampOutside(const char *p, std::ptrdiff_t size) const
    {
        if (!stampFilter || size < 2 + tag.size() + kStampLength || p[size - 1] != '#')
            return false;
        const char *stamp = p + size - 1 - kStampLength;
        if (std::memcmp(stamp - tag.size(), tag.constData(), static_cast<size_t>(tag.size())) != 0)
            return false;
        for (int k = 0; k < kStampLength; ++k) {
            if (static_cast<unsigned char>(stamp[k]) >= 0x80 || stamp[k] == '#')
                return false;
        }
        return compare(stamp, asciiHead) < 0 || compare(stamp, asciiTail) > 0;
    }

    bool wanted[kNumbers] = {};
    // A device text of the history page that is no number ("-07"): taken as device 0.
    QString oddText;
    QByteArray oddBytes;
    bool parseAll = false; // every record is left to the parse
    QByteArray tag;
    bool stampFilter = false;
    QByteArray asciiHead;
    QByteArray asciiTail;
};

// Hands the matching records of one parsed stretch to take(device, fields); false once take
// refuses one, which ends the pass.
template <typename Take>
bool offer(const QVector<QStringList> &records, const Target &target, Take &take)
{
    for (const QStringList &fields : records) {
        const int device = target.deviceOf(HistoryRecord::deviceText(fields));
        if (device < 0 || !target.inRange(HistoryRecord::timeText(fields)))
            continue;
        if (!take(device, fields))
            return false;
    }
    return true;
}

template <typename Take>
bool matchLinesOf(const char *data, std::ptrdiff_t size, const Target &target, Take &take)
{
    const char *end = data + size;
    for (const char *line = data; line < end;) {
        const void *found = std::memchr(line, '\n', static_cast<size_t>(end - line));
        const char *lineEnd = found ? static_cast<const char *>(found) : end;
        std::ptrdiff_t length = lineEnd - line;
        if (length > 0 && line[length - 1] == '\r')
            --length;
        const QString text = target.codec->toUnicode(line, static_cast<int>(length));
        if (!offer(HistoryRecord::parse(text), target, take))
            return false;
        line = lineEnd + 1;
    }
    return true;
}

// Records are the stretches up to each ";" that start at a line start or after a ";"; as
// both bytes are ASCII they are character boundaries in every code page the files use.
template <typename Take>
bool matchRecordsOf(const char *data, std::ptrdiff_t size, const Target &target, Take &take)
{
    const char *end = data + size;
    const char *p = data;
    while (p < end) {
        const void *found = std::memchr(p, '\n', static_cast<size_t>(end - p));
        const char *lineEnd = found ? static_cast<const char *>(found) : end;
        while (p < lineEnd) {
            const void *semicolon = std::memchr(p, ';', static_cast<size_t>(lineEnd - p));
            if (!semicolon)
                break; // text after the last ";" is not a record
            const char *stop = static_cast<const char *>(semicolon);
            if (target.couldMatch(p, stop - p)) {
                const QString text = target.codec->toUnicode(p, static_cast<int>(stop + 1 - p));
                if (!offer(HistoryRecord::parse(text), target, take))
                    return false;
            }
            p = stop + 1;
        }
        p = lineEnd + 1;
    }
    return true;
}

template <typename Take>
bool matchBytesOf(const char *data, std::ptrdiff_t size, const Target &target, Take &take)
{
    if (target.impossible)
        return true;
    // Only text before a NUL of a line counts; the line-by-line path knows where lines are.
    if (std::memchr(data, '\0', static_cast<size_t>(size)))
        return matchLinesOf(data, size, target, take);
    return matchRecordsOf(data, size, target, take);
}

// The matches appended to a page result: false once it is full and one more matched.
struct ResultTake
{
    HistoryQuery::Result *result;
    bool operator()(int, const QStringList &fields) const
    {
        if (result->displayTexts.size() >= HistoryQuery::kResultSlots) {
            result->dropped = true;
            return false;
        }
        result->displayTexts.append(HistoryRecord::displayText(fields));
        QStringList values;
        for (const QString &field : fields)
            values.append(HistoryRecord::fieldValue(field));
        while (values.size() < 5)
            values.append(QString());
        result->fieldValues.append(values);
        return true;
    }
};

enum class FileEnd
{
    Read,
    Missing,
    Taken,
    Stopped
};

// One day file in stretches of whole lines, so a long file is never held whole and `stop`
// is heard within one stretch.
template <typename Take>
FileEnd matchFile(const QString &path, const Target &target, Take &take,
                  const std::function<bool()> &stop)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileEnd::Missing;
    QByteArray buffer;
    for (;;) {
        const int kept = buffer.size();
        buffer.resize(kept + kStretchBytes);
        const qint64 read = file.read(buffer.data() + kept, kStretchBytes);
        buffer.resize(kept + static_cast<int>(std::max<qint64>(read, 0)));
        const bool atEnd = read <= 0;
        // What was kept holds no line end, so the stretch ends at the last one just read.
        int usable = buffer.size();
        if (!atEnd) {
            while (usable > kept && buffer.at(usable - 1) != '\n')
                --usable;
            if (usable == kept)
                usable = 0;
        }
        if (usable > 0) {
            if (!matchBytesOf(buffer.constData(), usable, target, take))
                return FileEnd::Taken;
            buffer.remove(0, usable);
        }
        if (atEnd)
            return FileEnd::Read;
        if (stop && stop())
            return FileEnd::Stopped;
    }
}

} // namespace

QString HistoryQuery::deviceText(const QString &idText)
{
    return QString::asprintf("%03d", idText.toInt());
}

QVector<int> HistoryQuery::dayOrder(int storedCount)
{
    const int filling =
        qBound(0, storedCount, HistoryStore::kCycleLines - 1) / HistoryStore::kLinesPerDay;
    QVector<int> days;
    for (int k = 1; k <= kDays; ++k)
        days.append((filling + k) % kDays);
    return days;
}

QString HistoryQuery::stamp(const QDateTime &when)
{
    return QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

HistoryQuery::Result HistoryQuery::run(const QString &dataDirectory, const QString &idText,
                                       const QString &timeHead, const QString &timeTail,
                                       const std::function<void(int)> &progress)
{
    Result result;
    const Target target(deviceText(idText), timeHead, timeTail);
    ResultTake take{&result};
    const QDir directory(dataDirectory);
    const QVector<int> days = dayOrder(HistoryStore::orderingCount(dataDirectory));
    for (int k = 0; k < days.size(); ++k) {
        const FileEnd end =
            matchFile(directory.filePath(HistoryStore::dayFileName(days[k])), target, take, {});
        if (end == FileEnd::Missing)
            qDebug().noquote() << QString::fromUtf8(kDayFailures[days[k]]);
        if (result.dropped)
            break;
        if (progress)
            progress((k + 1) * kProgressEnd / kDays);
    }
    if (result.dropped && progress)
        progress(kProgressEnd);
    return result;
}

bool HistoryQuery::scan(const QString &dataDirectory, const QVector<int> &devices,
                        const QString &head, const QString &tail, const RecordSink &sink,
                        const std::function<bool()> &stop)
{
    const Target target(devices, head, tail);
    if (target.impossible)
        return true;
    auto take = [&sink](int device, const QStringList &fields) {
        sink(device, fields);
        return true;
    };
    const QDir directory(dataDirectory);
    for (const int day : dayOrder(HistoryStore::orderingCount(dataDirectory))) {
        if (matchFile(directory.filePath(HistoryStore::dayFileName(day)), target, take, stop) ==
            FileEnd::Stopped)
            return false;
    }
    return true;
}

void HistoryQuery::scanBytes(const QByteArray &bytes, const QVector<int> &devices,
                             const QString &head, const QString &tail, const RecordSink &sink)
{
    const Target target(devices, head, tail);
    auto take = [&sink](int device, const QStringList &fields) {
        sink(device, fields);
        return true;
    };
    matchBytesOf(bytes.constData(), bytes.size(), target, take);
}

void HistoryQuery::matchBytes(const QByteArray &bytes, const QString &device, const QString &head,
                              const QString &tail, Result *result)
{
    const Target target(device, head, tail);
    ResultTake take{result};
    if (!result->dropped)
        matchBytesOf(bytes.constData(), bytes.size(), target, take);
}

void HistoryQuery::matchLines(const QByteArray &bytes, const QString &device, const QString &head,
                              const QString &tail, Result *result)
{
    const Target target(device, head, tail);
    ResultTake take{result};
    if (!result->dropped && !target.impossible)
        matchLinesOf(bytes.constData(), bytes.size(), target, take);
}
