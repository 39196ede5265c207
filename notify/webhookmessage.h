#pragma once

#include "notify/notifymessage.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// What a chat webhook is sent, and how its answer says it took the message.
class WebhookMessage
{
public:
    // generic: the site link's alarm JSON with the station's name and the device's name and
    // location; wecom and dingtalk: a text message of the line; telegram: sendMessage to a chat.
    enum class Format { Generic, WeCom, DingTalk, Telegram };

    // "generic", "wecom", "dingtalk", "telegram"; anything else is Generic.
    static Format formatFromText(const QString &text);

    // siteAlarm is the site link's JSON object of the journal event, for Generic.
    static QByteArray body(Format format, const NotifyEvent &event, const QByteArray &siteAlarm,
                           const QString &telegramChat);

    // The robot's URL with "&timestamp=<ms>&sign=<HMAC-SHA256 of "<ms>\n<secret>" keyed by the
    // secret, in base64, URL-encoded>", as a robot with a signing secret requires; the URL as it
    // is when there is no secret.
    static QUrl signedUrl(const QUrl &url, const QString &secret, qint64 epochMs);

    // Taken only on a 2xx answer that, for the chat services, also reports success in its own
    // terms ({"errcode":0} or {"ok":true}): they answer 200 to a refused message too.
    static bool accepted(Format format, int httpStatus, const QByteArray &reply);
};
