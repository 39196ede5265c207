#include "notify/notifier.h"

#include "notify/notifymessage.h"
#include "notify/notifysender.h"
#include "site/sitemessages.h"
#include "storage/alarmjournal.h"
#include "storage/stationdatabase.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr qint64 kHourMs = 3600 * 1000;
const char *const kSentEvents[] = {"mailed", "posted"};
const char *const kSentTexts[] = {"邮件已发送：", "推送已发送："};

// The local clock's hour, so a summary goes out when the station's clock turns the hour.
qint64 hourStartMs(qint64 epochMs)
{
    QDateTime at = QDateTime::fromMSecsSinceEpoch(epochMs);
    at.setTime(QTime(at.time().hour(), 0));
    return at.toMSecsSinceEpoch();
}

QString clockText(qint64 epochMs)
{
    return QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(epochMs), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

Notifier::Notifier(AlarmJournal *journal, QObject *parent)
    : QObject(parent), alarmJournal(journal), channels(new NotifySender(this))
{
    for (int channel = 0; channel < 2; ++channel) {
        dueTimers[size_t(channel)].setSingleShot(true);
        connect(&dueTimers[size_t(channel)], &QTimer::timeout, this, [this, channel] { pump(channel); });
    }
    connect(alarmJournal, &AlarmJournal::written, this, &Notifier::wake);
    // A mail still in flight when the station closes stays queued for the next start.
    connect(channels, &NotifySender::finished, this, &Notifier::finished);
}

void Notifier::configure(const NotifySettings &settings, const QString &station, const DeviceNames &names)
{
    current = settings;
    stationName = station;
    deviceNames = names;
    channels->setSettings(current, password, secret);
    if (!current.mailOn())
        setProblem(NotifyOutbox::Mail, QString());
    if (!current.webhookOn())
        setProblem(NotifyOutbox::Webhook, QString());
    alarmJournal->setNotifyPolicy({settings.mailOn(), settings.webhookOn(), settings.minLevel, settings.recoveries});
    wake();
}

void Notifier::setSecrets(const QString &smtpPassword, const QString &webhookSecret)
{
    password = smtpPassword;
    secret = webhookSecret;
    // What a station stopped or killed meanwhile left is tried at once: the pause it waited
    // out was its old server's, and the fault may have gone with the restart.
    if (!secretsRead && alarmJournal->database()->open())
        NotifyOutbox::bringForward(alarmJournal->database()->database(), QDateTime::currentMSecsSinceEpoch());
    secretsRead = true;
    channels->setSettings(current, password, secret);
    wake();
}

void Notifier::wake()
{
    pump(NotifyOutbox::Mail);
    pump(NotifyOutbox::Webhook);
}

qint64 Notifier::retryDelayMs(int attempts, double jitter, qint64 firstMs)
{
    const qint64 base = qMin<qint64>(firstMs << qBound(0, attempts, 6), 30 * 60 * 1000);
    return qint64(double(base) * (1.0 + 0.2 * qBound(-1.0, jitter, 1.0)));
}

void Notifier::pump(int channel)
{
    const size_t c = size_t(channel);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (busy[c] || !secretsRead || !(channel == NotifyOutbox::Mail ? current.mailOn() : current.webhookOn()))
        return;
    if (now < restingUntil[c]) {
        // A coarse timer may wake a little early.
        dueTimers[c].start(int(restingUntil[c] - now + 1));
        return;
    }
    StationDatabase *db = alarmJournal->database();
    if (!db->open()) {
        dueTimers[c].start(10000); // the journal tells of the database itself
        return;
    }
    const QSqlDatabase connection = db->database();
    const qint64 hour = hourStartMs(now);

    const QVector<NotifyOutbox::Row> held = NotifyOutbox::heldBefore(connection, channel, hour);
    if (!held.isEmpty()) {
        Sending summary;
        const NotifyEvent event = summaryOf(held, hour);
        summary.text = event.text;
        summary.createdMs = held.first().createdMs;
        for (const NotifyOutbox::Row &row : held) {
            summary.ids << row.id;
            summary.attempts = qMax(summary.attempts, row.attempts);
        }
        sending[c] = summary;
        busy[c] = true;
        if (channel == NotifyOutbox::Mail)
            channels->sendMail(event, current.mailTo, QStringLiteral("kestro-summary-%1@kestro").arg(held.first().id));
        else
            channels->sendWebhook(event, QByteArray());
        return;
    }

    NotifyOutbox::Row row;
    if (!NotifyOutbox::nextDue(connection, channel, now, &row)) {
        schedule(channel, now);
        return;
    }
    if (sentThisHour(channel, hour) >= current.hourlyCap) {
        // Folded, not dropped: all of this hour's go out as one message when it ends.
        NotifyOutbox::holdBackDue(connection, channel, now, hour);
        dueTimers[c].start(int(qBound<qint64>(1000, hour + kHourMs - now + 1000, kHourMs + 1000)));
        return;
    }
    const NotifyEvent event = eventOf(row);
    sending[c] = {{row.id}, event.text, row.createdMs, row.attempts};
    busy[c] = true;
    if (channel == NotifyOutbox::Mail) {
        const QStringList to = row.escalation && !current.escalateTo.isEmpty() ? current.escalateTo : current.mailTo;
        channels->sendMail(event, to, QStringLiteral("kestro-%1-%2@kestro").arg(row.journalId).arg(row.id));
    } else {
        channels->sendWebhook(event, SiteMessages::alarm(stationName, row.journalId, row.event));
    }
}

void Notifier::schedule(int channel, qint64 nowMs)
{
    const qint64 due = NotifyOutbox::nextDueMs(alarmJournal->database()->database(), channel);
    if (due >= 0)
        dueTimers[size_t(channel)].start(int(qBound<qint64>(0, due - nowMs, kHourMs)));
}

void Notifier::finished(int channel, bool accepted, const QString &error)
{
    const size_t c = size_t(channel);
    const Sending done = sending[c];
    const QSqlDatabase connection = alarmJournal->database()->database();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // Still busy while the journal is written, so its signal starts nothing meanwhile.
    QString told;
    setProblem(channel, accepted ? QString() : error);
    if (accepted) {
        NotifyOutbox::remove(connection, done.ids);
        told = QString::fromUtf8(kSentTexts[c]) + done.text;
        journal(kSentEvents[c], told);
    } else if (now - done.createdMs >= kGiveUpMs) {
        NotifyOutbox::remove(connection, done.ids);
        told = tr("通知失败：%1（%2）").arg(done.text, error);
        journal("notify_failed", told);
    } else {
        const qint64 delay = retryDelayMs(done.attempts, QRandomGenerator::global()->generateDouble() * 2 - 1,
                                          firstRetryMs);
        for (const qint64 id : done.ids)
            NotifyOutbox::postpone(connection, id, now + delay, error);
        restingUntil[c] = now + delay;
        dueTimers[c].start(int(delay));
    }
    busy[c] = false;
    if (!told.isEmpty())
        emit delivered(channel, told);
    pump(channel);
}

NotifyEvent Notifier::eventOf(const NotifyOutbox::Row &row) const
{
    NotifyEvent event;
    event.station = stationName;
    event.device = row.event.device;
    if (event.device > 0 && deviceNames) {
        const QPair<QString, QString> names = deviceNames(event.device);
        event.name = names.first;
        event.location = names.second;
    }
    event.kind = row.event.kind;
    event.text = row.event.text;
    event.value = row.event.value;
    event.limit = row.event.limit;
    event.time = QDateTime::fromMSecsSinceEpoch(row.event.epochMs);
    if (row.escalation)
        event.state = tr("未确认，已 %1 分钟").arg((row.createdMs - row.event.epochMs) / 60000);
    return event;
}

NotifyEvent Notifier::summaryOf(const QVector<NotifyOutbox::Row> &rows, qint64 hourMs) const
{
    QStringList listed;
    for (const NotifyOutbox::Row &row : rows)
        listed << row.event.text + QLatin1Char(' ')
                      + QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(row.event.epochMs), QStringLiteral("hh:mm:ss"));
    NotifyEvent event;
    event.station = stationName;
    event.text = tr("另有 %1 条报警：").arg(rows.size()) + listed.join(QStringLiteral("；"));
    event.time = QDateTime::fromMSecsSinceEpoch(hourMs);
    return event;
}

int Notifier::sentThisHour(int channel, qint64 hourMs) const
{
    QSqlQuery query(alarmJournal->database()->database());
    query.prepare(QStringLiteral("SELECT count(*) FROM alarm_journal WHERE device = 0 AND epoch_ms >= ?"
                                 " AND event = ?"));
    query.addBindValue(hourMs);
    query.addBindValue(QLatin1String(kSentEvents[channel]));
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

void Notifier::escalate(const QVector<ActiveAlarm> &alarms, const QDateTime &now)
{
    if (current.escalateMinutes <= 0 || !(current.mailOn() || current.webhookOn()))
        return;
    QSet<QPair<QString, qint64>> standing;
    bool queued = false;
    const QSqlDatabase connection = alarmJournal->database()->database();
    for (const ActiveAlarm &alarm : alarms) {
        const QPair<QString, qint64> key{alarm.text, alarm.since.toMSecsSinceEpoch()};
        standing.insert(key);
        if (alarm.state != QStringLiteral("未确认") || escalated.contains(key)
            || alarm.since.msecsTo(now) < qint64(current.escalateMinutes) * 60000)
            continue;
        escalated.insert(key);
        QSqlQuery query(connection);
        query.prepare(QStringLiteral("SELECT id FROM alarm_journal WHERE event = 'alarm' AND text = ?"
                                     " AND epoch_ms >= ? ORDER BY id DESC LIMIT 1"));
        query.addBindValue(alarm.text);
        query.addBindValue(key.second - 1000);
        if (!query.exec() || !query.next())
            continue;
        const qint64 journalId = query.value(0).toLongLong();
        for (const int channel : {int(NotifyOutbox::Mail), int(NotifyOutbox::Webhook)})
            if (channel == NotifyOutbox::Mail ? current.mailOn() : current.webhookOn())
                queued = NotifyOutbox::addEscalation(connection, journalId, channel, now.toMSecsSinceEpoch(),
                                                     QDateTime::currentMSecsSinceEpoch())
                         || queued;
    }
    escalated.intersect(standing);
    if (queued)
        wake();
}

void Notifier::setProblem(int channel, const QString &text)
{
    const QString before = problems[0] + problems[1];
    problems[size_t(channel)] = text.isEmpty() ? QString()
                                : channel == NotifyOutbox::Mail ? tr("邮件通知未能发出，稍后重试：%1").arg(text)
                                                                : tr("推送通知未能发出，稍后重试：%1").arg(text);
    if (problems[0] + problems[1] != before) {
        QStringList both;
        for (const QString &problem : problems)
            if (!problem.isEmpty())
                both << problem;
        emit problemChanged(both.join(QStringLiteral("；")));
    }
}

void Notifier::journal(const char *event, const QString &text)
{
    JournalEvent entry;
    entry.event = QLatin1String(event);
    entry.epochMs = QDateTime::currentMSecsSinceEpoch();
    entry.timeText = clockText(entry.epochMs);
    entry.text = text;
    alarmJournal->append({entry});
}
