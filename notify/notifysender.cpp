#include "notify/notifysender.h"

#include "notify/webhookmessage.h"
#include "site/sitemessages.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QtConcurrent>

NotifySender::NotifySender(QObject *parent)
    : QObject(parent), web(new QNetworkAccessManager(this))
{
    connect(&mailWatcher, &QFutureWatcher<SmtpMailer::Result>::finished, this, [this] {
        const SmtpMailer::Result result = mailWatcher.result();
        done(NotifyOutbox::Mail, result.accepted, result.error);
    });
}

NotifySender::~NotifySender()
{
    closing->store(true);
    mailWatcher.waitForFinished();
}

void NotifySender::setSettings(const NotifySettings &settings, const QString &smtpPassword,
                               const QString &webhookSecret)
{
    current = settings;
    password = smtpPassword;
    secret = webhookSecret;
    siteAuthorities = settings.caFile.isEmpty() ? QList<QSslCertificate>()
                                                : QSslCertificate::fromPath(settings.caFile);
}

bool NotifySender::sendMail(const NotifyEvent &event, const QStringList &to, const QString &messageId)
{
    if (busy[NotifyOutbox::Mail])
        return false;
    busy[NotifyOutbox::Mail] = true;
    SmtpMailer::Server server;
    server.host = current.smtpHost;
    server.port = current.smtpPort;
    server.security = SmtpMailer::securityFromText(current.smtpSecurity);
    server.user = current.smtpUser;
    server.password = password;
    server.caFile = current.caFile;
    const QString from = current.mailFrom.isEmpty() ? QStringLiteral("kestro@localhost") : current.mailFrom;
    const QByteArray message = NotifyMessage::mail(event, from, to, QDateTime::currentDateTime(), messageId);
    const std::shared_ptr<std::atomic<bool>> cancel = closing;
    mailWatcher.setFuture(QtConcurrent::run([server, from, to, message, cancel] {
        return SmtpMailer::send(server, from, to, message, cancel.get());
    }));
    return true;
}

bool NotifySender::sendWebhook(const NotifyEvent &event, const QByteArray &siteAlarm)
{
    if (busy[NotifyOutbox::Webhook])
        return false;
    busy[NotifyOutbox::Webhook] = true;
    const WebhookMessage::Format format = WebhookMessage::formatFromText(current.webhookFormat);
    QString url = current.webhookUrl;
    // A bot token is a secret: the URL may name its place, and the password store holds it.
    url.replace(QLatin1String("{token}"), secret);
    QUrl target(url);
    if (format == WebhookMessage::Format::DingTalk)
        target = WebhookMessage::signedUrl(target, secret, QDateTime::currentMSecsSinceEpoch());
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(webhookTimeoutMs);
    if (!siteAuthorities.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(tls.caCertificates() + siteAuthorities);
        request.setSslConfiguration(tls);
    }
    QNetworkReply *reply = web->post(request, WebhookMessage::body(format, event, siteAlarm, current.telegramChat));
    connect(reply, &QNetworkReply::finished, this, [this, reply, format] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // A reply that timed out is closed already.
        const bool accepted = reply->isOpen() && WebhookMessage::accepted(format, status, reply->readAll());
        QString error;
        if (!accepted)
            error = reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                              : QStringLiteral("HTTP %1").arg(status);
        done(NotifyOutbox::Webhook, accepted, error);
    });
    return true;
}

bool NotifySender::sendTest(int channel, const QString &station)
{
    NotifyEvent event;
    event.station = station;
    event.text = tr("测试消息");
    event.time = QDateTime::currentDateTime();
    if (channel == NotifyOutbox::Mail)
        return sendMail(event, current.mailTo, QStringLiteral("kestro-test-%1@kestro").arg(event.time.toMSecsSinceEpoch()));
    JournalEvent test;
    test.event = QStringLiteral("test");
    test.epochMs = event.time.toMSecsSinceEpoch();
    test.text = event.text;
    return sendWebhook(event, SiteMessages::alarm(station, 0, test));
}

void NotifySender::done(int channel, bool accepted, const QString &error)
{
    busy[size_t(channel)] = false;
    emit finished(channel, accepted, error);
}
