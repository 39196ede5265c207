#include "core/servicelog.h"

#include <QLocale>
#include <cstdio>

namespace ServiceLog {

QString line(const QDateTime &when, const char *source, const QString &text)
{
    return QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QLatin1Char(' ')
        + QLatin1String(source) + QStringLiteral(": ") + text;
}

void writeLine(const QString &line)
{
    std::fputs((line.toLocal8Bit() + '\n').constData(), stderr);
    std::fflush(stderr);
}

void write(const char *source, const QString &text)
{
    writeLine(line(QDateTime::currentDateTime(), source, text));
}

} // namespace ServiceLog
