// Feeds arbitrary bytes to the history line parser, decoded as UTF-8 and as Latin-1, and
// compares what it finds with a model built here from splits alone. Then builds records
// from values the same bytes choose and requires them to parse back to those values.
//
// Round-trip layout (missing bytes read as 0):
//   d t0..t3 c0..c3 y0 y1 m D h M s e  s0 s1 ...
//   d      device 1 + d % 200
//   t, c   temperature and current as float bit patterns (NaN and inf included)
//   y..s   stamp fields, each brought into its range
//   e      a second device e % 199 + 1 numbers after the first (wrapping at 200), with the
//          temperature negated
//   s0..   the status, UTF-16 code units taken two bytes at a time (any text at all)

#include "fuzzcheck.h"
#include "history/historyrecord.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kFuzzTarget[] = "fuzz_historyline";

// The record rules by splitting: records end at ";", fields at "#", text after the last
// separator of each kind is dropped, fields past the fifth rejoin the status.
QVector<QStringList> modelParse(const QString &line)
{
    const int nul = line.indexOf(QChar(0));
    QStringList pieces = (nul < 0 ? line : line.left(nul)).split(QLatin1Char(';'));
    pieces.removeLast();
    QVector<QStringList> records;
    for (const QString &piece : pieces) {
        QStringList fields = piece.split(QLatin1Char('#'));
        fields.removeLast();
        if (fields.size() > 5) {
            const QString time = fields.last();
            const QString status = fields.mid(3, fields.size() - 4).join(QLatin1Char('#'));
            fields = fields.mid(0, 3);
            fields << status << time;
        }
        records.append(fields);
    }
    return records;
}

void checkParse(const QString &line)
{
    const QVector<QStringList> records = HistoryRecord::parse(line);
    REQUIRE(records == modelParse(line), "parse differs from the split model");
    for (const QStringList &fields : records) {
        REQUIRE(fields.size() <= 5, "more than five fields");
        REQUIRE(HistoryRecord::deviceText(fields).size() == 3, "device text not 3 characters");
        REQUIRE(HistoryRecord::timeText(fields).size() <= 19, "time text longer than a stamp");
        const QString display = HistoryRecord::displayText(fields);
        REQUIRE(display.endsWith(QLatin1Char(';')), "display text without its ;");
        for (const QString &field : fields) {
            REQUIRE(!field.contains(QLatin1Char(';')), "a field holds ;");
            REQUIRE(HistoryRecord::fieldValue(field).size() <= field.size(), "value longer than field");
        }
    }
}

class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size) : data(data), size(size) {}
    uint8_t at(size_t index) const { return index < size ? data[index] : 0; }
    uint32_t word(size_t index) const
    {
        return uint32_t(at(index)) | uint32_t(at(index + 1)) << 8 | uint32_t(at(index + 2)) << 16
            | uint32_t(at(index + 3)) << 24;
    }
    float real(size_t index) const
    {
        const uint32_t bits = word(index);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    size_t length() const { return size; }

private:
    const uint8_t *data;
    size_t size;
};

// Whether the exact value lies halfway between two 6-digit decimals.
bool isTie(double value)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.120e", value);
    const char *digits = std::strchr(text, '.') + 6; // after the 6th significant digit
    if (*digits != '5')
        return false;
    while (*++digits == '0') {
    }
    return *digits == 'e';
}

// C's %g in the C locale (the fuzzer never sets a locale), except where Qt differs: every
// NaN is nan, a negative zero 0, and a tie rounds away from zero.
QString expectedNumber(float value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (value == 0.0f)
        return QStringLiteral("0");
    double shown = value;
    if (std::isfinite(shown) && isTie(shown))
        shown = std::nextafter(shown, shown > 0 ? HUGE_VAL : -HUGE_VAL);
    char text[32];
    std::snprintf(text, sizeof text, "%g", shown);
    return QString::fromLatin1(text);
}

QString expectedStatus(const QString &status)
{
    QString stored;
    for (const QChar c : status) {
        if (c == QLatin1Char('#'))
            stored += QChar(0xFF03);
        else if (c == QLatin1Char(';'))
            stored += QChar(0xFF1B);
        else if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            stored += QLatin1Char(' ');
        else
            stored += c;
    }
    return stored;
}

void checkRecord(const QStringList &fields, int device, float temperature, float current,
                 const QString &status, const QString &stamp)
{
    char id[8];
    std::snprintf(id, sizeof id, "%03d", device);
    REQUIRE(fields.size() == 5, "a built record does not give five fields");
    REQUIRE(fields.at(0) == QStringLiteral("ID:") + QLatin1String(id), "ID field");
    REQUIRE(HistoryRecord::deviceText(fields) == QLatin1String(id), "device text");
    REQUIRE(fields.at(1) == QStringLiteral("温度:") + expectedNumber(temperature), "temperature");
    REQUIRE(fields.at(2) == QStringLiteral("电流:") + expectedNumber(current), "current");
    REQUIRE(HistoryRecord::fieldValue(fields.at(3)) == expectedStatus(status), "status");
    REQUIRE(HistoryRecord::storedStatus(status) == expectedStatus(status), "stored status");
    REQUIRE(HistoryRecord::timeText(fields) == stamp, "time text");
}

void roundTrip(const Bytes &bytes)
{
    const int device = 1 + bytes.at(0) % 200;
    const float temperature = bytes.real(1);
    const float current = bytes.real(5);
    char stampText[32];
    std::snprintf(stampText, sizeof stampText, "%04d-%02d-%02d %02d:%02d:%02d",
                  1 + (bytes.at(9) | bytes.at(10) << 8) % 9999, 1 + bytes.at(11) % 12,
                  1 + bytes.at(12) % 31, bytes.at(13) % 24, bytes.at(14) % 60, bytes.at(15) % 60);
    const QString stamp = QString::fromLatin1(stampText);
    QString status;
    for (size_t i = 17; i + 1 < bytes.length(); i += 2)
        status += QChar(ushort(bytes.at(i) | bytes.at(i + 1) << 8));

    const QString record = HistoryRecord::record(device, temperature, current, status, stamp);
    const QVector<QStringList> one = HistoryRecord::parse(record);
    REQUIRE(one.size() == 1, "a built record does not give one record");
    checkRecord(one.first(), device, temperature, current, status, stamp);

    // Two devices through line(): records in device order, none for temperature 0.
    const int other = 1 + (device + bytes.at(16) % 199) % 200;
    DeviceReadings readings;
    readings.deviceTemperature[device - 1] = temperature;
    readings.deviceCurrent[device - 1] = current;
    readings.deviceStatusText[device - 1] = status;
    readings.deviceTemperature[other - 1] = -temperature;
    readings.deviceCurrent[other - 1] = current;
    readings.deviceStatusText[other - 1] = status;
    const QVector<QStringList> records = HistoryRecord::parse(HistoryRecord::line(readings, stamp));
    if (temperature == 0.0f) {
        REQUIRE(records.isEmpty(), "a device reading 0 was recorded");
        return;
    }
    REQUIRE(records.size() == 2, "line does not hold both devices");
    const bool deviceFirst = device < other;
    checkRecord(records.at(deviceFirst ? 0 : 1), device, temperature, current, status, stamp);
    checkRecord(records.at(deviceFirst ? 1 : 0), other, -temperature, current, status, stamp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    const int length = int(size);
    checkParse(QString::fromUtf8(text, length));
    checkParse(QString::fromLatin1(text, length));
    roundTrip(Bytes(data, size));
    return 0;
}
