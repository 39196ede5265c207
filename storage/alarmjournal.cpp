#include "storage/alarmjournal.h"

#include "storage/alarmoutbox.h"

#include "core/servicelog.h"
#include "storage/stationdatabase.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

namespace {

constexpr int kSqliteFull = 13;

} // namespace

AlarmJournal::AlarmJournal(StationDatabase &database, QObject *parent, int retryMs)
    : QObject(parent), db(database)
{
    retryTimer.setInterval(retryMs);
    connect(&retryTimer, &QTimer::timeout, this, &AlarmJournal::flush);
    drainTimer.setSingleShot(true);
    drainTimer.setInterval(0);
    connect(&drainTimer, &QTimer::timeout, this, &AlarmJournal::flush);
    flush();
}

// A backlog still going out is finished; what cannot be written is at least counted.
AlarmJournal::~AlarmJournal()
{
    QString reason;
    int code = 0;
    while (!waiting.empty() && db.isOpen() && writeOldest(&reason, &code)) {
    }
    if (waitingEvents > 0)
        ServiceLog::write("journal", tr("报警日志关闭，%1 条事件未能写入").arg(waitingEvents));
}

QString AlarmJournal::fault() const
{
    return currentFault;
}

int AlarmJournal::pendingCount() const
{
    return waitingEvents;
}

StationDatabase *AlarmJournal::database()
{
    return &db;
}

bool AlarmJournal::append(const QVector<JournalEvent> &events)
{
    if (events.isEmpty())
        return true;
    waiting.push_back(events);
    waitingEvents += events.size();
    // Whole ticks go, so what is written later is still tick by tick.
    while (waitingEvents > pendingLimit && waiting.size() > 1) {
        waitingEvents -= waiting.front().size();
        dropped += waiting.front().size();
        waiting.pop_front();
    }
    return flush();
}

bool AlarmJournal::flush()
{
    QString reason;
    int code = 0;
    // Corruption found while writing is set aside once, and the events go to a fresh file.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!db.isOpen() && !db.open(&reason)) {
            reportSetAside();
            reportFault(db.lastResultCode(), reason);
            return false;
        }
        reportSetAside();
        if (writeOldest(&reason, &code)) {
            reportRecovered();
            emit written();
            if (waiting.empty())
                return true;
            drainTimer.start();
            return false;
        }
        if (!StationDatabase::isCorruption(code) || !db.setAside(&reason))
            break;
    }
    reportFault(code, reason);
    return false;
}

// The oldest waiting ticks in one transaction, all of them or none.
bool AlarmJournal::writeOldest(QString *reason, int *code)
{
    if (waiting.empty())
        return true;
    std::size_t ticks = 0;
    int events = 0;
    while (ticks < waiting.size() && events < kEventsPerTransaction)
        events += waiting.at(ticks++).size();
    const QSqlDatabase connection = db.database();
    QSqlQuery insert(connection);
    QSqlError failure;
    bool done = insert.exec(QStringLiteral("BEGIN IMMEDIATE"));
    done = done && insert.prepare(QStringLiteral(
        "INSERT INTO alarm_journal (device, kind, event, time_text, epoch_ms, value, limit_value,"
        " text, began_ms, level, cabinet_group, group_devices)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QVariant firstId;
    for (auto tick = waiting.cbegin(); done && tick != waiting.cbegin() + ticks; ++tick) {
        for (const JournalEvent &event : *tick) {
            insert.bindValue(0, event.device);
            insert.bindValue(1, event.kind);
            insert.bindValue(2, event.event);
            insert.bindValue(3, event.timeText);
            insert.bindValue(4, event.epochMs);
            insert.bindValue(5, StationDatabase::realOrNull(event.value));
            insert.bindValue(6, StationDatabase::realOrNull(event.limit));
            insert.bindValue(7, event.text);
            insert.bindValue(8, event.beganMs == 0 ? QVariant(QVariant::LongLong) : QVariant(event.beganMs));
            insert.bindValue(9, event.kind == 0 ? QVariant(QVariant::Int) : QVariant(event.level));
            const bool grouped = !event.group.name.isEmpty();
            insert.bindValue(10, grouped ? QVariant(event.group.name) : QVariant(QVariant::String));
            insert.bindValue(11, grouped ? QVariant(JournalEvent::groupDevices(event.group))
                                         : QVariant(QVariant::String));
            if (!(done = insert.exec()))
                break;
            if (firstId.isNull())
                firstId = insert.lastInsertId();
        }
    }
    failure = insert.lastError();
    insert.finish();
    if (done && outboxEnabled && !firstId.isNull())
        done = AlarmOutbox::addFrom(connection, firstId.toLongLong(), &failure);
    if (done && notifyPolicy.any() && !firstId.isNull())
        done = NotifyOutbox::addFrom(connection, firstId.toLongLong(), notifyPolicy,
                                     QDateTime::currentMSecsSinceEpoch(), &failure);
    if (!StationDatabase::finishTransaction(connection, done, &failure)) {
        *code = StationDatabase::resultCode(failure);
        *reason = StationDatabase::reasonOf(failure);
        return false;
    }
    waiting.erase(waiting.begin(), waiting.begin() + ticks);
    waitingEvents -= events;
    return true;
}

void AlarmJournal::reportFault(int code, const QString &reason)
{
    const QString text = code == kSqliteFull ? tr("报警日志无法写入：磁盘空间不足")
                                             : tr("报警日志无法写入：%1").arg(reason);
    if (text == currentFault)
        return;
    if (currentFault.isEmpty()) {
        ServiceLog::write("journal", code == kSqliteFull ? text + QStringLiteral(" (") + reason + QLatin1Char(')') : text);
        retryTimer.start();
    }
    currentFault = text;
    emit faultChanged(currentFault);
}

void AlarmJournal::reportRecovered()
{
    if (currentFault.isEmpty())
        return;
    retryTimer.stop();
    currentFault.clear();
    QString line = tr("报警日志恢复写入");
    if (dropped > droppedReported)
        line += tr("，等待时丢弃 %1 条").arg(dropped - droppedReported);
    droppedReported = dropped;
    ServiceLog::write("journal", line);
    emit faultChanged(currentFault);
}

void AlarmJournal::reportSetAside()
{
    if (db.setAsidePath().isEmpty() || db.setAsidePath() == reportedSetAside)
        return;
    reportedSetAside = db.setAsidePath();
    ServiceLog::write("journal", tr("报警日志文件损坏，已移至 %1，另建新文件").arg(QFileInfo(reportedSetAside).fileName()));
    emit setAside(reportedSetAside);
}
