#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// The listed history records as a CSV file that spreadsheet programs open with Chinese intact.
class HistoryCsv
{
public:
    // UTF-8 with a byte-order mark: the heading "设备号","温度","电流","状态","时间", then one
    // row per entry of rows in order, fields quoted where CSV needs it, each row ending in CR LF.
    static QByteArray document(const QVector<QStringList> &rows);

    // The document replaces path as a whole or not at all; false with the reason otherwise.
    static bool write(const QString &path, const QVector<QStringList> &rows, QString *error);

    // history-NNN-yyyyMMdd-hhmmss.csv, NNN the three-digit device text.
    static QString fileName(const QString &deviceText, const QDateTime &when);
};
