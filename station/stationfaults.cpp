#include "station/stationfaults.h"

#include "core/servicelog.h"

StationFaults::StationFaults(QObject *parent) : QObject(parent)
{
}

void StationFaults::set(const char *source, const QString &text)
{
    if (put(source, text))
        ServiceLog::write(source, text.isEmpty() ? tr("恢复正常") : text);
}

void StationFaults::show(const char *source, const QString &text)
{
    put(source, text);
}

bool StationFaults::put(const char *source, const QString &text)
{
    const QString key = QLatin1String(source);
    if (faults.value(key) == text)
        return false;
    if (text.isEmpty())
        faults.remove(key);
    else
        faults.insert(key, text);
    emit changed(this->text());
    return true;
}

QString StationFaults::text() const
{
    QStringList present;
    for (const QString &fault : faults)
        present << fault;
    return present.join(QStringLiteral(" │ "));
}
