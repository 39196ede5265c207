#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

// Frames on the line are delimited by silence, so bytes are gathered until the line has been
// quiet for a while and then handed on as one response. An answer whose header declares the
// size asked for is handed on the moment its last byte is in: waiting out the silence after
// it would only delay it. A short or garbled burst still ends with the silence.
class ResponseCollector : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietMs = 100;
    // Far above any valid response; keeps line noise from growing the buffer.
    static constexpr int kMaxBuffered = 1024;

    explicit ResponseCollector(QObject *parent = nullptr);

    // Appends what still fits under kMaxBuffered + 1 bytes: enough to tell an
    // overlong burst from a whole response without holding all of it.
    static void appendBounded(QByteArray &buffer, const QByteArray &bytes);
    // Takes from the front of the buffer every answer whose declared size is in.
    static QList<QByteArray> takeDeclared(QByteArray &buffer);

    void append(const QByteArray &bytes);
    // Drops whatever was gathered and forgets any pending quiet period.
    void reset();
    bool isCollecting() const { return quietTimer.isActive(); }
    void setQuietInterval(int milliseconds) { quietTimer.setInterval(milliseconds); }

signals:
    void responseCollected(const QByteArray &bytes);

private:
    void onQuiet();

    QTimer quietTimer;
    QByteArray buffer;
};
