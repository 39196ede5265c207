#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtNumeric>

// One alarm event as a person is told of it, in plain values: what the journal holds, with the
// device's name and install location and the station's name.
struct NotifyEvent
{
    QString station;  // "站1"
    int device = 0;   // 0 for the whole station or a cabinet group
    QString name;     // the device's name and install location, as its settings hold them
    QString location;
    int kind = 0;     // the journal's kind: 1 temperature, 2 voltage, 3 current, 4 link, 5..8 rules
    QString text;     // "5温度异常"
    double value = qQNaN();
    double limit = qQNaN();
    QDateTime time;
    QString state;    // said after the time when not empty: "未确认，已 30 分钟"
};

// The words of a notification: one line for a chat, and an e-mail around it.
class NotifyMessage
{
public:
    // "[站1] 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ 2026-12-08 10:49:25"; a part
    // that is empty (no name, no value) is left out with its space.
    static QString line(const NotifyEvent &event);
    // "95.0℃", "2100mV", "60.50A", "3.2℃/分" as the kind measures; empty for NaN.
    static QString quantity(int kind, double value);

    // An RFC 2047 header value: as it is when it is printable ASCII, else UTF-8 in base64
    // encoded-words of 64 characters at most, split between characters, folded onto lines of
    // their own.
    static QByteArray encodedHeader(const QString &text);

    // An RFC 5322 message, text/plain in UTF-8 (base64), its subject "[站1] 5温度异常" and
    // its body the line; date and messageId as given, so the same event gives the same
    // message when sent again.
    static QByteArray mail(const NotifyEvent &event, const QString &from, const QStringList &to,
                           const QDateTime &date, const QString &messageId);
};
