#include "history/historyrecord.h"

#include <QtNumeric>

namespace {

constexpr int kFields = 5;
constexpr int kStatusField = 3;
constexpr int kTimeTagLength = 3; // "时间:"
constexpr int kStampLength = 19;  // "yyyy-MM-dd hh:mm:ss"

// A field beyond the fifth can only come from a status holding "#", as older stations
// stored it: it goes back into the status, and the last field stays the time.
void addField(QStringList *fields, QString field)
{
    if (fields->size() < kFields) {
        fields->append(std::move(field));
        return;
    }
    QString &status = (*fields)[kStatusField];
    status += QLatin1Char('#');
    status += fields->at(kFields - 1);
    (*fields)[kFields - 1] = std::move(field);
}

} // namespace

QString HistoryRecord::number(double value)
{
    return QString::number(value, 'g', 6);
}

QString HistoryRecord::storedStatus(const QString &status)
{
    QString stored = status;
    for (QChar &c : stored) {
        switch (c.unicode()) {
        case u'#':
            c = QChar(0xFF03);
            break;
        case u';':
            c = QChar(0xFF1B);
            break;
        case u'\r':
        case u'\n':
        case u'\0':
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
    }
    return stored;
}

QString HistoryRecord::record(int device, float temperature, float current, const QString &status,
                              const QString &stamp)
{
    QString text;
    text.reserve(48 + status.size() + stamp.size());
    text += QStringLiteral("ID:");
    text += QStringLiteral("%1").arg(device, 3, 10, QLatin1Char('0'));
    text += QStringLiteral("#温度:");
    text += number(temperature);
    text += QStringLiteral("#电流:");
    text += number(current);
    text += QStringLiteral("#状态:");
    text += storedStatus(status);
    text += QStringLiteral("#时间:");
    text += stamp;
    text += QStringLiteral("#;");
    return text;
}

QString HistoryRecord::line(const DeviceReadings &readings, const QString &stamp)
{
    QString text;
    for (int index = 0; index < kDevices; ++index) {
        // NaN is "not 0" and is recorded, as the panels showed something. A temperature
        // nobody heard lately is not: it would read as measured this minute; nor is such a
        // current, which is written as not a number.
        const int device = index + 1;
        if (readings.deviceTemperature[index] != 0.0f
            && readings.isFresh(PanelQuantity::Temperature, device)) {
            if (text.isEmpty())
                text.reserve(kDevices * 72);
            const float current = readings.isFresh(PanelQuantity::Current, device)
                                      ? readings.deviceCurrent[index] : float(qQNaN());
            text += record(device, readings.deviceTemperature[index], current,
                           readings.deviceStatusText[index], stamp);
        }
    }
    return text;
}

QVector<QStringList> HistoryRecord::parse(const QString &line)
{
    QVector<QStringList> records;
    const QChar *text = line.constData();
    QStringList fields;
    int fieldStart = 0;
    // One pass: a hostile line of separators stays linear.
    for (int i = 0; i < line.size() && text[i] != QChar(0); ++i) {
        if (text[i] == QLatin1Char('#')) {
            addField(&fields, line.mid(fieldStart, i - fieldStart));
            fieldStart = i + 1;
        } else if (text[i] == QLatin1Char(';')) {
            // Text between the last "#" and ";" was never cut off by a "#": not a field.
            records.append(fields);
            fields.clear();
            fieldStart = i + 1;
        }
    }
    return records;
}

QString HistoryRecord::deviceText(const QStringList &fields)
{
    const QString first = fields.isEmpty() ? QString() : fields.first();
    QString digits(3, QChar(0));
    for (int k = 0; k < 3 && 3 + k < first.size(); ++k)
        digits[k] = first.at(3 + k);
    return digits;
}

QString HistoryRecord::timeText(const QStringList &fields)
{
    return fields.size() < kFields ? QString() : fields.at(kFields - 1).mid(kTimeTagLength, kStampLength);
}

QString HistoryRecord::displayText(const QStringList &fields)
{
    return fields.join(QLatin1Char(' ')) + QLatin1Char(';');
}

QString HistoryRecord::fieldValue(const QString &field)
{
    const int colon = field.indexOf(QLatin1Char(':'));
    return colon < 0 ? field : field.mid(colon + 1);
}
