#include "serial/responsecollector.h"

#include "serial/modbusframe.h"

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

QList<QByteArray> ResponseCollector::takeDeclared(QByteArray &buffer)
{
    QList<QByteArray> answers;
    while (ModbusFrame::beginsWithResponse(buffer)) {
        answers.append(buffer.left(ModbusFrame::kResponseSize));
        buffer.remove(0, ModbusFrame::kResponseSize);
    }
    return answers;
}

void ResponseCollector::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    appendBounded(buffer, bytes);
    // An answer whose declared size is in goes on at once; bytes behind it begin the next
    // burst, so an answer that follows hard on another is judged as one of its own.
    const QList<QByteArray> answers = takeDeclared(buffer);
    if (buffer.isEmpty())
        quietTimer.stop();
    for (const QByteArray &answer : answers)
        emit responseCollected(answer);
    if (!buffer.isEmpty())
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
