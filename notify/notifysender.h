#pragma once

#include "notify/notifymessage.h"
#include "notify/notifysettings.h"
#include "notify/smtpmailer.h"
#include "storage/notifyoutbox.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QStringList>
#include <array>
#include <atomic>
#include <memory>

class QNetworkAccessManager;

// Hands one message to a channel without holding up the GUI thread (the mail through libcurl
// on a worker, the webhook by Qt Network) and says by signal whether the channel took it. The
// notifier sends through one; the settings dialog's test buttons through another.
class NotifySender : public QObject
{
    Q_OBJECT

public:
    explicit NotifySender(QObject *parent = nullptr);
    // A mail in flight ends at once, not taken.
    ~NotifySender() override;

    void setSettings(const NotifySettings &settings, const QString &smtpPassword, const QString &webhookSecret);
    const NotifySettings &settings() const { return current; }
    bool isBusy(int channel) const { return busy[size_t(channel)]; }

    // One at a time per channel (NotifyOutbox::Mail, NotifyOutbox::Webhook): false, with
    // nothing sent, while the channel is busy.
    bool sendMail(const NotifyEvent &event, const QStringList &to, const QString &messageId);
    // siteAlarm: the site link's JSON of the event, for the generic format.
    bool sendWebhook(const NotifyEvent &event, const QByteArray &siteAlarm);

    // "测试消息" from the station through one channel, as its messages go; false while busy.
    bool sendTest(int channel, const QString &station);

    // For tests that cannot wait 20 s for a receiver that never answers.
    void setWebhookTimeout(int ms) { webhookTimeoutMs = ms; }

signals:
    // error is empty when accepted.
    void finished(int channel, bool accepted, const QString &error);

private:
    void done(int channel, bool accepted, const QString &error);

    NotifySettings current;
    QString password;
    QString secret;
    QList<QSslCertificate> siteAuthorities;
    std::array<bool, 2> busy{};
    int webhookTimeoutMs = 20000;
    QFutureWatcher<SmtpMailer::Result> mailWatcher;
    std::shared_ptr<std::atomic<bool>> closing = std::make_shared<std::atomic<bool>>(false);
    QNetworkAccessManager *web;
};
