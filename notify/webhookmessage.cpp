#include "notify/webhookmessage.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QUrlQuery>

namespace {

// The chat services refuse a longer text outright (WeCom 2048 bytes, Telegram 4096 characters,
// DingTalk 20000 bytes): a long summary is cut, its count of alarms kept at the front.
QString fitted(const QString &text, int maxUtf8Bytes)
{
    if (text.toUtf8().size() <= maxUtf8Bytes)
        return text;
    const QString ellipsis = QStringLiteral("…");
    QString cut = text;
    int bytes = cut.toUtf8().size() + ellipsis.toUtf8().size();
    while (bytes > maxUtf8Bytes && !cut.isEmpty()) {
        const int width = cut.size() >= 2 && cut.at(cut.size() - 1).isLowSurrogate() ? 2 : 1;
        bytes -= cut.right(width).toUtf8().size();
        cut.chop(width);
    }
    return cut + ellipsis;
}

QByteArray textMessage(const QString &content)
{
    const QJsonObject text{{QStringLiteral("content"), content}};
    return QJsonDocument(QJsonObject{{QStringLiteral("msgtype"), QStringLiteral("text")},
                                     {QStringLiteral("text"), text}})
        .toJson(QJsonDocument::Compact);
}

// The site link's object, closed again after three more keys.
QByteArray withNames(const QByteArray &siteAlarm, const NotifyEvent &event)
{
    QByteArray json = siteAlarm.trimmed();
    if (!json.endsWith('}'))
        json = "{}";
    json.chop(1);
    QJsonObject names{{QStringLiteral("station"), event.station},
                      {QStringLiteral("name"), event.name},
                      {QStringLiteral("location"), event.location}};
    // An escalation: the same alarm again, so the receiver must be told why.
    if (!event.state.isEmpty())
        names.insert(QStringLiteral("state"), event.state);
    QByteArray added = QJsonDocument(names).toJson(QJsonDocument::Compact);
    added.remove(0, 1); // its "{"
    return json + (json.size() > 1 ? "," : "") + added;
}

} // namespace

WebhookMessage::Format WebhookMessage::formatFromText(const QString &text)
{
    if (text == QLatin1String("wecom"))
        return Format::WeCom;
    if (text == QLatin1String("dingtalk"))
        return Format::DingTalk;
    if (text == QLatin1String("telegram"))
        return Format::Telegram;
    return Format::Generic;
}

QByteArray WebhookMessage::body(Format format, const NotifyEvent &event, const QByteArray &siteAlarm,
                                const QString &telegramChat)
{
    switch (format) {
    case Format::WeCom:
        return textMessage(fitted(NotifyMessage::line(event), 2048));
    case Format::DingTalk:
        return textMessage(fitted(NotifyMessage::line(event), 20000));
    case Format::Telegram:
        return QJsonDocument(QJsonObject{{QStringLiteral("chat_id"), telegramChat},
                                         {QStringLiteral("text"), fitted(NotifyMessage::line(event), 4096)}})
            .toJson(QJsonDocument::Compact);
    case Format::Generic:
        break;
    }
    return withNames(siteAlarm, event);
}

QUrl WebhookMessage::signedUrl(const QUrl &url, const QString &secret, qint64 epochMs)
{
    if (secret.isEmpty())
        return url;
    const QByteArray stamp = QByteArray::number(epochMs);
    const QByteArray sign = QMessageAuthenticationCode::hash(stamp + '\n' + secret.toUtf8(),
                                                             secret.toUtf8(), QCryptographicHash::Sha256)
                                .toBase64();
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("timestamp"), QString::fromLatin1(stamp));
    // Percent-encoded whole: '+', '/' and '=' of base64 must reach the service as they are.
    query.addQueryItem(QStringLiteral("sign"), QString::fromLatin1(sign.toPercentEncoding()));
    QUrl out = url;
    out.setQuery(query);
    return out;
}

bool WebhookMessage::accepted(Format format, int httpStatus, const QByteArray &reply)
{
    if (httpStatus < 200 || httpStatus > 299)
        return false;
    const QJsonObject answer = QJsonDocument::fromJson(reply).object();
    switch (format) {
    case Format::WeCom:
    case Format::DingTalk:
        return answer.contains(QStringLiteral("errcode")) && answer.value(QStringLiteral("errcode")).toInt(-1) == 0;
    case Format::Telegram:
        return answer.value(QStringLiteral("ok")).toBool();
    case Format::Generic:
        break;
    }
    return true;
}
