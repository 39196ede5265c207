#include "monitor/alarmhandling.h"

#include "storage/alarmjournal.h"
#include "storage/alarmsettingsstore.h"

#include <QDateTime>

AlarmHandling::AlarmHandling(AlarmJournal *journal, QObject *parent)
    : QObject(parent), alarmJournal(journal)
{
    // Without the database the defaults judge, and the operator is told, until a write of the
    // journal gets through and they can be read after all.
    readFilters();
    connect(alarmJournal, &AlarmJournal::written, this, &AlarmHandling::readFilters);
    auto setAside = [this] {
        setAsideText = tr("报警日志文件损坏，已另建新文件");
        emit databaseFaultsChanged();
    };
    if (!alarmJournal->setAsidePath().isEmpty())
        setAside();
    connect(alarmJournal, &AlarmJournal::setAside, this, setAside);
}

QString AlarmHandling::settingsFault() const
{
    return filtersRead ? QString() : tr("回差延时设置无法读取，按 0 判断");
}

void AlarmHandling::readFilters()
{
    AlarmFilterSettings stored;
    if (filtersRead || !AlarmSettingsStore(alarmJournal->database()).load(&stored))
        return;
    for (int k = 0; k < kDevices; ++k) {
        if (filtersSetHere[k])
            continue;
        filterSettings.temperatureDeadband[k] = stored.temperatureDeadband[k];
        filterSettings.currentDeadband[k] = stored.currentDeadband[k];
        filterSettings.delaySeconds[k] = stored.delaySeconds[k];
    }
    filtersRead = true;
    emit databaseFaultsChanged();
}

AlarmHandling::~AlarmHandling() = default;

QString AlarmHandling::countText() const
{
    return tr("报警 %1 │ 未确认 %2").arg(rows.openCount()).arg(rows.unacknowledgedCount());
}

void AlarmHandling::takeEvents(const QVector<AlarmDetector::Event> &events,
                               const QString &timeText, const QDateTime &now)
{
    if (events.isEmpty())
        return;
    QVector<JournalEvent> journal;
    journal.reserve(events.size());
    for (const AlarmDetector::Event &event : events) {
        const int device = AlarmDetector::deviceOf(event);
        JournalEvent entry;
        entry.device = device;
        entry.kind = event.kind;
        entry.event = event.recovery ? QStringLiteral("recovery") : QStringLiteral("alarm");
        entry.timeText = timeText;
        entry.epochMs = now.toMSecsSinceEpoch();
        entry.value = double(event.value);
        entry.limit = double(event.limit);
        entry.text = AlarmDetector::eventText(event);
        entry.level = event.level;
        entry.group = event.group;
        if (!event.recovery) {
            entry.beganMs = event.beganMs > 0 ? event.beganMs : entry.epochMs;
            entries[event.row] = {device, event.kind, event.level, entry.text, now, event.group};
            rows.raised(event.row);
        } else {
            rows.recovered(event.row);
        }
        journal.append(entry);
        emit rowStateChanged(event.row);
    }
    alarmJournal->append(journal);
    stateChanged();
}

int AlarmHandling::acknowledge(const QVector<int> &chosenRows, const QString &timeText,
                               const QDateTime &now)
{
    const QVector<int> changed = rows.acknowledge(chosenRows);
    if (changed.isEmpty())
        return 0;
    QVector<JournalEvent> journal;
    for (int row : changed) {
        // The link alarm's texts stand for its outage alone; its acknowledgement is named apart.
        const bool link = entries[row].kind == AlarmDetector::Link;
        JournalEvent entry = stationEvent("acknowledge", link ? tr("集中器通讯报警") : entries[row].text,
                                          timeText, now);
        entry.device = entries[row].device;
        entry.kind = entries[row].kind;
        entry.level = entries[row].level;
        entry.group = entries[row].group;
        journal.append(entry);
        emit rowStateChanged(row);
    }
    alarmJournal->append(journal);
    stateChanged();
    return changed.size();
}

void AlarmHandling::silence(const QString &timeText, const QDateTime &now)
{
    if (!rows.silence())
        return;
    alarmJournal->append({stationEvent("silence", tr("消音"), timeText, now)});
    stateChanged();
}

void AlarmHandling::clear(const QString &timeText, const QDateTime &now)
{
    rows.clear();
    entries.fill(Entry());
    alarmJournal->append({stationEvent("clear", tr("清除数据"), timeText, now)});
    stateChanged();
}

void AlarmHandling::journalRun(bool started, const QString &timeText, const QDateTime &now)
{
    alarmJournal->append({started ? stationEvent("started", tr("监测站启动"), timeText, now)
                                  : stationEvent("stopped", tr("监测站停止"), timeText, now)});
}

bool AlarmHandling::applyFilters(int firstDevice, int lastDevice, float temperatureDeadband,
                                 float currentDeadband, int delaySeconds, QString *error)
{
    // In force at once, as the limits are; stored so they survive a restart.
    for (int device = qMax(firstDevice, 1); device <= qMin(lastDevice, kDevices); ++device) {
        filterSettings.temperatureDeadband[device - 1] = temperatureDeadband;
        filterSettings.currentDeadband[device - 1] = currentDeadband;
        filterSettings.delaySeconds[device - 1] = delaySeconds;
        filtersSetHere[device - 1] = true;
    }
    return AlarmSettingsStore(alarmJournal->database())
        .save(firstDevice, lastDevice, temperatureDeadband, currentDeadband, delaySeconds, error);
}

QVector<ActiveAlarm> AlarmHandling::activeAlarms() const
{
    QVector<ActiveAlarm> active;
    for (int row = 0; row < AlarmDetector::kTableRows; ++row) {
        const AlarmAcknowledgement::State state = rows.state(row);
        if (state == AlarmAcknowledgement::Empty || state == AlarmAcknowledgement::Done)
            continue;
        const Entry &entry = entries[row];
        active.append({entry.device, entry.kind, entry.text, AlarmAcknowledgement::stateText(state),
                       entry.since, entry.level, entry.group});
    }
    return active;
}

JournalEvent AlarmHandling::stationEvent(const char *event, const QString &text,
                                         const QString &timeText, const QDateTime &now) const
{
    JournalEvent entry;
    entry.event = QLatin1String(event);
    entry.timeText = timeText;
    entry.epochMs = now.toMSecsSinceEpoch();
    entry.text = text;
    return entry;
}

void AlarmHandling::stateChanged()
{
    emit countsChanged();
}
