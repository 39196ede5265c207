#include "notify/notifymessage.h"

#include "monitor/alarmdetector.h"

#include <QLocale>

namespace {

// A base64 encoded-word of 39 bytes is 64 characters with its "=?UTF-8?B?" and "?=", so even
// the first, after "Subject: ", keeps its line within the 76 that RFC 2047 allows.
constexpr int kWordBytes = 39;

QByteArray wrapped(const QByteArray &base64)
{
    QByteArray lines;
    for (int at = 0; at < base64.size(); at += 76)
        lines += base64.mid(at, 76) + "\r\n";
    return lines;
}

bool printableAscii(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

} // namespace

QString NotifyMessage::quantity(int kind, double value)
{
    if (qIsNaN(value))
        return QString();
    const QLocale c = QLocale::c();
    switch (kind) {
    case AlarmDetector::Voltage:
        return c.toString(value, 'f', 0) + QStringLiteral("mV");
    case AlarmDetector::Current:
        return c.toString(value, 'f', 2) + QStringLiteral("A");
    case AlarmDetector::RateOfRise:
        return c.toString(value, 'f', 1) + QStringLiteral("℃/分");
    case AlarmDetector::Temperature:
    default:
        return c.toString(value, 'f', 1) + QStringLiteral("℃");
    }
}

QString NotifyMessage::line(const NotifyEvent &event)
{
    QStringList parts{QLatin1Char('[') + event.station + QLatin1Char(']'), event.text, event.name,
                      event.location};
    const QString value = quantity(event.kind, event.value);
    const QString limit = quantity(event.kind, event.limit);
    parts << (limit.isEmpty() ? value : value + QLatin1Char('/') + limit);
    parts << QLocale::c().toString(event.time, QStringLiteral("yyyy-MM-dd hh:mm:ss")) << event.state;
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

QByteArray NotifyMessage::encodedHeader(const QString &text)
{
    if (printableAscii(text))
        return text.toLatin1();
    QByteArrayList words;
    QByteArray chunk;
    // By code points, so no character is split between two words.
    const QVector<uint> points = text.toUcs4();
    for (const uint point : points) {
        const QByteArray bytes = QString::fromUcs4(&point, 1).toUtf8();
        if (chunk.size() + bytes.size() > kWordBytes) {
            words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    return words.join("\r\n ");
}

QByteArray NotifyMessage::mail(const NotifyEvent &event, const QString &from, const QStringList &to,
                               const QDateTime &date, const QString &messageId)
{
    // An escalation says so where a phone shows it first.
    QString subject = QLatin1Char('[') + event.station + QStringLiteral("] ") + event.text;
    if (!event.state.isEmpty())
        subject += QLatin1Char(' ') + event.state;
    QByteArray message;
    message += "Date: " + QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")).toLatin1();
    const int offset = date.offsetFromUtc() / 60;
    message += (offset < 0 ? '-' : '+')
        + QByteArray::number(qAbs(offset) / 60 * 100 + qAbs(offset) % 60).rightJustified(4, '0') + "\r\n";
    message += "From: " + from.toUtf8() + "\r\n";
    message += "To: " + to.join(QStringLiteral(", ")).toUtf8() + "\r\n";
    message += "Subject: " + encodedHeader(subject) + "\r\n";
    message += "Message-ID: <" + messageId.toUtf8() + ">\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: base64\r\n\r\n";
    message += wrapped((line(event) + QStringLiteral("\r\n")).toUtf8().toBase64());
    return message;
}
