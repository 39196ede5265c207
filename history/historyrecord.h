#pragma once

#include "core/devicereadings.h"

#include <QString>
#include <QStringList>
#include <QVector>

// One minute line of the history files and the records in it:
// ID:007#温度:23.5#电流:1.25#状态:在线#时间:2024-05-01 08:00:00#;
class HistoryRecord
{
public:
    // General format, 6 significant digits, shortest form: 23.5, 1.5e+06, -5, nan, inf.
    static QString number(double value);

    // One record. A status holding the separators "#" or ";" (or a line break or NUL)
    // is stored with them replaced, so the line still parses; see storedStatus.
    // device is written as three digits ("%03d").
    static QString record(int device, float temperature, float current, const QString &status,
                          const QString &stamp);
    // How a status text is stored in a record: "#" becomes the full-width "＃" (U+FF03),
    // ";" the full-width "；" (U+FF1B), CR, LF and NUL a blank. A reader still sees what
    // was meant, and the file format, old files included, is unchanged.
    static QString storedStatus(const QString &status);

    // The records of every device whose temperature is fresh and not exactly 0, in device
    // order, a current that is not fresh as nan; empty when there is none.
    static QString line(const DeviceReadings &readings, const QString &stamp);

    // The records of a stored line, each cut into at most five fields (tags included,
    // without "#" and ";"). Only text before the first NUL counts; text after the last
    // ";" is not a record, nor a field the text between a record's last "#" and its ";".
    // Fields beyond the fifth come from a status an older station stored with "#" in
    // it: they are joined back into the fourth with "#", the last one is the fifth.
    // Never fails.
    static QVector<QStringList> parse(const QString &line);

    // The three digits after "ID:" in the first field; missing characters are NUL.
    static QString deviceText(const QStringList &fields);
    // The 19-character stamp after "时间:" in the fifth field (shorter when the field is;
    // empty without a fifth field).
    static QString timeText(const QStringList &fields);
    // The five fields joined by blanks, followed by ";".
    static QString displayText(const QStringList &fields);
    // The value of a field without its tag ("温度:23.5" gives "23.5"): the text after the
    // first ":", the whole field when there is none.
    static QString fieldValue(const QString &field);
};
