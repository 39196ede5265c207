#include "serial/responsecollector.h"

ResponseCollector::ResponseCollector(QObject *parent) : QObject(parent)
{
    quietTimer.setSingleShot(true);
    quietTimer.setTimerType(Qt::PreciseTimer);
    quietTimer.setInterval(kQuietMs);
    connect(&quietTimer, &QTimer::timeout, this, &ResponseCollector::onQuiet);
}

void ResponseCollector::appendBounded(QByteArray &buffer, const QByteArray &bytes)
{
    const int room = kMaxBuffered + 1 - buffer.size();
    if (room > 0)
        buffer.append(bytes.left(room));
}

void ResponseCollector::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    appendBounded(buffer, bytes);
    quietTimer.start();
}

void ResponseCollector::reset()
{
    quietTimer.stop();
    buffer.clear();
}

void ResponseCollector::onQuiet()
{
    const QByteArray collected = buffer;
    buffer.clear();
    emit responseCollected(collected);
}
