#include "history/historyquery.h"

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"
#include "history/historystore.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextCodec>
#include <cstddef>
#include <cstring>

namespace {

constexpr int kDays = HistoryStore::kDays;

const char *const kDayFailures[kDays] = {
    "读取星期一文件失败", "读取星期二文件失败", "读取星期三文件失败", "读取星期四文件失败",
    "读取星期五文件失败", "读取星期六文件失败", "读取星期天文件失败"};

// What every record is judged against, worked out once per query.
struct Target
{
    Target(const QString &device, const QString &head, const QString &tail)
        : device(device), head(head), tail(tail), codec(DeviceSettingsFile::codec())
    {
        // A record's device text is always three characters.
        impossible = device.size() != 3 || head > tail;
        for (int k = 0; k < 3 && !impossible; ++k) {
            const ushort c = device.at(k).unicode();
            ascii = ascii && c > 0 && c < 0x80;
            digits[k] = static_cast<char>(c);
        }
    }

    const QString device;
    const QString head;
    const QString tail;
    QTextCodec *const codec;
    bool impossible = false;
    bool ascii = true; // false: every record is left to the parse
    char digits[3] = {};
};

// Adds the matching records of one parsed stretch; false once the list is full and one more
// matched, which ends the query.
bool take(const QVector<QStringList> &records, const Target &target, HistoryQuery::Result *result)
{
    for (const QStringList &fields : records) {
        if (HistoryRecord::deviceText(fields) != target.device)
            continue;
        const QString time = HistoryRecord::timeText(fields);
        if (time < target.head || target.tail < time)
            continue;
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
    }
    return true;
}

// Whether the record at p (size bytes, without its ";") could carry the device text. Its
// first six bytes, when all ASCII, are its first six characters in any ASCII-based code page;
// anything else is left to the parse.
bool couldMatch(const char *p, std::ptrdiff_t size, const Target &target)
{
    if (!target.ascii)
        return true;
    if (size < 6)
        return false; // fewer than six characters: the device text holds a NUL
    if (p[3] == target.digits[0] && p[4] == target.digits[1] && p[5] == target.digits[2])
        return true;
    for (int k = 0; k < 6; ++k) {
        if (static_cast<unsigned char>(p[k]) >= 0x80)
            return true;
    }
    return false;
}

void matchLinesOf(const char *data, int size, const Target &target, HistoryQuery::Result *result)
{
    const char *end = data + size;
    for (const char *line = data; line < end;) {
        const void *found = std::memchr(line, '\n', static_cast<size_t>(end - line));
        const char *lineEnd = found ? static_cast<const char *>(found) : end;
        std::ptrdiff_t length = lineEnd - line;
        if (length > 0 && line[length - 1] == '\r')
            --length;
        const QString text = target.codec->toUnicode(line, static_cast<int>(length));
        if (!take(HistoryRecord::parse(text), target, result))
            return;
        line = lineEnd + 1;
    }
}

// Records are the stretches up to each ";" that start at a line start or after a ";"; as
// both bytes are ASCII they are character boundaries in every code page the files use.
void matchRecordsOf(const char *data, int size, const Target &target, HistoryQuery::Result *result)
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
            if (couldMatch(p, stop - p, target)) {
                const QString text = target.codec->toUnicode(p, static_cast<int>(stop + 1 - p));
                if (!take(HistoryRecord::parse(text), target, result))
                    return;
            }
            p = stop + 1;
        }
        p = lineEnd + 1;
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

HistoryQuery::Result HistoryQuery::run(const QString &dataDirectory, const QString &idText,
                                       const QString &timeHead, const QString &timeTail,
                                       const std::function<void(int)> &progress)
{
    Result result;
    const QString device = deviceText(idText);
    const QDir directory(dataDirectory);
    const QVector<int> days = dayOrder(HistoryStore::readStoredCount(dataDirectory));
    for (int k = 0; k < days.size(); ++k) {
        QFile file(directory.filePath(HistoryStore::dayFileName(days[k])));
        if (file.open(QIODevice::ReadOnly)) {
            matchBytes(file.readAll(), device, timeHead, timeTail, &result);
        } else {
            qDebug().noquote() << QString::fromUtf8(kDayFailures[days[k]]);
        }
        if (result.dropped)
            break;
        if (progress)
            progress((k + 1) * kProgressEnd / kDays);
    }
    if (result.dropped && progress)
        progress(kProgressEnd);
    return result;
}

void HistoryQuery::matchBytes(const QByteArray &bytes, const QString &device, const QString &head,
                              const QString &tail, Result *result)
{
    const Target target(device, head, tail);
    if (target.impossible || result->dropped)
        return;
    // Only text before a NUL of a line counts; the line-by-line path knows where lines are.
    if (std::memchr(bytes.constData(), '\0', static_cast<size_t>(bytes.size())))
        matchLinesOf(bytes.constData(), bytes.size(), target, result);
    else
        matchRecordsOf(bytes.constData(), bytes.size(), target, result);
}

void HistoryQuery::matchLines(const QByteArray &bytes, const QString &device, const QString &head,
                              const QString &tail, Result *result)
{
    const Target target(device, head, tail);
    if (!result->dropped)
        matchLinesOf(bytes.constData(), bytes.size(), target, result);
}
