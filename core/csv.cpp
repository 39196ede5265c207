#include "core/csv.h"

#include <algorithm>

namespace {

QByteArray record(const QStringList &fields)
{
    QStringList written;
    written.reserve(fields.size());
    for (const QString &text : fields)
        written << Csv::field(text);
    return written.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace

QByteArray Csv::document(const QStringList &heading, const QList<QStringList> &rows)
{
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += record(heading);
    for (const QStringList &row : rows) {
        const bool hasText = std::any_of(row.begin(), row.end(),
                                         [](const QString &text) { return !text.isEmpty(); });
        if (hasText)
            bytes += record(row);
    }
    return bytes;
}

QString Csv::field(const QString &text)
{
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                             text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
