#pragma once

#include "core/activealarm.h"
#include "notify/notifymessage.h"
#include "notify/notifysettings.h"
#include "storage/notifyoutbox.h"

#include <QDateTime>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QTimer>
#include <array>
#include <functional>

class AlarmJournal;
class NotifySender;

// Tells people of alarms by e-mail and webhook, from the NotifyOutbox the journal fills: one
// message at a time per channel, sent off the GUI thread (the mail on a worker, the webhook by
// Qt Network), removed only once its channel took it, tried again with growing pauses, and
// given up (journalled so) after a day. Past the hourly cap a channel's messages wait for one
// summary at the end of the hour. Every delivery is journalled.
class Notifier : public QObject
{
    Q_OBJECT

public:
    // A device's name and install location, as its settings hold them.
    using DeviceNames = std::function<QPair<QString, QString>(int device)>;

    static constexpr qint64 kGiveUpMs = 24 * 3600 * 1000;

    explicit Notifier(AlarmJournal *journal, QObject *parent = nullptr);

    // In force at once: the journal queues by these settings from its next write.
    void configure(const NotifySettings &settings, const QString &station, const DeviceNames &names);
    // Nothing is sent before the first call: the secrets are read in their store's own time,
    // and a message tried without them would only be refused.
    void setSecrets(const QString &smtpPassword, const QString &webhookSecret);
    const NotifySettings &settings() const { return current; }

    // The alarms open and awaiting acknowledgement now; one unacknowledged for the escalation
    // time is queued once more, marked with how long it has waited.
    void escalate(const QVector<ActiveAlarm> &alarms, const QDateTime &now);

    // Pauses before the next try of a failed message: firstMs (30 s) doubling to 30 min,
    // within ±20 %.
    static qint64 retryDelayMs(int attempts, double jitter, qint64 firstMs = 30000);
    // For tests that cannot wait half a minute.
    void setFirstRetryPause(qint64 ms) { firstRetryMs = ms; }
    NotifySender *sender() const { return channels; }

signals:
    // A message its channel took, or gave up on: what the journal was told.
    void delivered(int channel, const QString &journalText);
    // Why a channel's last try failed, for the status bar; empty once both deliver again.
    void problemChanged(const QString &text);

private:
    struct Sending
    {
        QVector<qint64> ids;
        QString text;       // what was told, for the journal
        qint64 createdMs = 0;
        int attempts = 0;
    };

    void wake();
    void pump(int channel);
    void finished(int channel, bool accepted, const QString &error);
    NotifyEvent eventOf(const NotifyOutbox::Row &row) const;
    NotifyEvent summaryOf(const QVector<NotifyOutbox::Row> &rows, qint64 hourMs) const;
    int sentThisHour(int channel, qint64 hourMs) const;
    void schedule(int channel, qint64 nowMs);
    void journal(const char *event, const QString &text);
    void setProblem(int channel, const QString &text);

    AlarmJournal *alarmJournal;
    NotifySettings current;
    NotifySender *channels;
    QString password;
    QString secret;
    bool secretsRead = false;
    QString stationName;
    DeviceNames deviceNames;
    std::array<bool, 2> busy{};
    std::array<Sending, 2> sending;
    std::array<QTimer, 2> dueTimers;
    // After a failure the channel rests until then, so a dead server is not asked again at
    // once for the next message either.
    std::array<qint64, 2> restingUntil{};
    std::array<QString, 2> problems;
    qint64 firstRetryMs = 30000;
    // Alarms already escalated, by text and start: once each.
    QSet<QPair<QString, qint64>> escalated;
};
