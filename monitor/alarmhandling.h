#pragma once

#include "core/activealarm.h"
#include "core/alarmfilter.h"
#include "monitor/alarmacknowledgement.h"
#include "monitor/alarmdetector.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>
#include <array>

class AlarmJournal;
struct JournalEvent;

// What happens to an alarm once it is detected: its acknowledgement state, whether the tone
// is due, the journal entry, and the deadband and delay it is judged with. Knows no widget:
// the window writes the alarm table, repaints the rows it is told about and sounds the tone.
class AlarmHandling : public QObject
{
    Q_OBJECT

public:
    explicit AlarmHandling(AlarmJournal *journal, QObject *parent = nullptr);
    ~AlarmHandling() override;

    const AlarmFilterSettings &filters() const { return filterSettings; }
    AlarmAcknowledgement::State state(int row) const { return rows.state(row); }
    // "报警 3 │ 未确认 2"
    QString countText() const;
    // Some alarm is unacknowledged and not silenced: the tone is due. Told by countsChanged.
    bool sounding() const { return rows.sounding(); }
    AlarmJournal *journal() const { return alarmJournal; }
    // The alarms open or awaiting acknowledgement, by row, as the site is told of them.
    QVector<ActiveAlarm> activeAlarms() const;
    int openCount() const { return rows.openCount(); }
    int unacknowledgedCount() const { return rows.unacknowledgedCount(); }

    // One evaluation tick's events, at the time text the alarm table shows; one journal
    // transaction for all of them.
    void takeEvents(const QVector<AlarmDetector::Event> &events, const QString &timeText,
                    const QDateTime &now);
    // The rows chosen in the alarm list, or every unacknowledged one when none is chosen;
    // returns how many were acknowledged.
    int acknowledge(const QVector<int> &chosenRows, const QString &timeText, const QDateTime &now);
    void silence(const QString &timeText, const QDateTime &now);
    void clear(const QString &timeText, const QDateTime &now);
    // The station began or ended its run: reports count the link's availability over the
    // time it ran, and a start with no stop before it tells of a kill.
    void journalRun(bool started, const QString &timeText, const QDateTime &now);
    // Stored in the station database; false with the reason when it could not be.
    bool applyFilters(int firstDevice, int lastDevice, float temperatureDeadband,
                      float currentDeadband, int delaySeconds, QString *error);

    // What the operator must know of the station database, empty when nothing. A damaged file
    // set aside is told for the rest of the run: what it held is not in the new one.
    QString setAsideFault() const { return setAsideText; }
    // While the deadbands and delays could not be read and the defaults judge instead.
    QString settingsFault() const;

signals:
    void rowStateChanged(int row);
    void countsChanged();
    void databaseFaultsChanged();

private:
    void readFilters();
    JournalEvent stationEvent(const char *event, const QString &text, const QString &timeText,
                              const QDateTime &now) const;
    void stateChanged();

    struct Entry
    {
        int device = 0;
        int kind = 0;
        int level = AlarmDetector::Alarm;
        QString text;
        QDateTime since;
        CabinetGroup group;
    };

    AlarmAcknowledgement rows;
    std::array<Entry, AlarmDetector::kTableRows> entries;
    AlarmFilterSettings filterSettings;
    bool filtersRead = false;
    // Devices the operator gave settings to in this run, which a late reading leaves alone.
    std::array<bool, kDevices> filtersSetHere{};
    QString setAsideText;
    AlarmJournal *alarmJournal = nullptr;
};
