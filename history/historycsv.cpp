#include "history/historycsv.h"

#include "core/wholefile.h"

#include "core/csv.h"

#include <QLocale>

namespace {

void appendRow(QByteArray *bytes, const QStringList &fields)
{
    QStringList written;
    written.reserve(fields.size());
    for (const QString &text : fields)
        written << Csv::field(text);
    *bytes += written.join(QLatin1Char(',')).toUtf8();
    *bytes += "\r\n";
}

} // namespace

QByteArray HistoryCsv::document(const QVector<QStringList> &rows)
{
    QByteArray bytes("\xEF\xBB\xBF");
    bytes.reserve(64 + rows.size() * 64);
    appendRow(&bytes, {QStringLiteral("设备号"), QStringLiteral("温度"), QStringLiteral("电流"),
                       QStringLiteral("状态"), QStringLiteral("时间")});
    for (const QStringList &row : rows)
        appendRow(&bytes, row);
    return bytes;
}

bool HistoryCsv::write(const QString &path, const QVector<QStringList> &rows, QString *error)
{
    return WholeFile::write(path, document(rows), error);
}

QString HistoryCsv::fileName(const QString &deviceText, const QDateTime &when)
{
    return QStringLiteral("history-%1-%2.csv")
        .arg(deviceText, QLocale::c().toString(when, QStringLiteral("yyyyMMdd-hhmmss")));
}
