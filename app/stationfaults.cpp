#include "app/stationfaults.h"

#include "app/servicelog.h"

StationFaults::StationFaults(QObject *parent) : QObject(parent)
{
}

void StationFaults::set(const char *source, const QString &text)
{
    const QString key = QLatin1String(source);
    if (faults.value(key) == text)
        return;
    if (text.isEmpty()) {
        faults.remove(key);
        ServiceLog::write(source, tr("恢复正常"));
    } else {
        faults.insert(key, text);
        ServiceLog::write(source, text);
    }
    emit changed(this->text());
}

QString StationFaults::text() const
{
    QStringList present;
    for (const QString &fault : faults)
        present << fault;
    return present.join(QStringLiteral(" │ "));
}
