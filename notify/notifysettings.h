#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Who is told of alarms, and how: per user in the station's settings, group "notify". The
// SMTP password and the webhook's secret are not among them (PasswordStore keeps them).
struct NotifySettings
{
    Q_DECLARE_TR_FUNCTIONS(NotifySettings)

public:
    bool enabled = false;
    int minLevel = 1;            // "warning" 0 (预警 and up) or "alarm" 1 (报警 only)
    bool recoveries = true;      // recoveries are sent too
    int escalateMinutes = 0;     // an alarm unacknowledged this long is sent again; 0 off
    QStringList escalateTo;      // empty: the mail recipients
    int hourlyCap = 20;          // messages per channel per hour; the rest go as one summary
    QString smtpHost;            // no e-mail while empty
    int smtpPort = 587;          // key missing: 25, 587 or 465 by the security
    QString smtpSecurity = QStringLiteral("starttls"); // "none", "starttls" or "tls"
    QString smtpUser;
    QString mailFrom;
    QStringList mailTo;          // stored as "a@x;b@y"
    QString webhookUrl;          // no webhook while empty
    QString webhookFormat = QStringLiteral("generic"); // "generic", "wecom", "dingtalk", "telegram"
    QString telegramChat;
    QString caFile;              // a site's own authority, trusted besides the system's

    bool mailOn() const { return enabled && !smtpHost.isEmpty() && !mailTo.isEmpty(); }
    bool webhookOn() const { return enabled && !webhookUrl.isEmpty(); }

    // What is missing or wrong, in the operator's words; empty when they can be saved.
    QString problem() const;
    // The same for one channel's own keys alone, as its test message needs them.
    QString mailProblem() const;
    QString webhookProblem() const;

    static NotifySettings load();
    // False, with the operator's text in *problem, when they could not be written: the
    // settings stored stay as they were.
    bool save(QString *problem = nullptr) const;

    static int defaultPort(const QString &security);
    QString caProblem() const;
    // "a@x; b@y;" → {"a@x", "b@y"}
    static QStringList addresses(const QString &text);
};
