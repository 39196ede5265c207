#pragma once

#include "monitor/alarmdetector.h"

#include <QString>
#include <QVector>
#include <array>

// The acknowledgement state of each alarm-table row, and whether the station should sound.
// Plain state, no timers and no widgets: the window feeds it what detection entered and
// what the operator did. Counts are kept as rows change, so asking is cheap every second.
class AlarmAcknowledgement
{
public:
    enum State { Empty, Unacknowledged, Acknowledged, RecoveredUnacknowledged, Done };

    // A new alarm in row (replaces whatever was there): Unacknowledged, not silenced.
    void raised(int row);
    // Unacknowledged -> RecoveredUnacknowledged, Acknowledged -> Done; else nothing.
    void recovered(int row);
    // Acknowledges the given rows, or every unacknowledged row when rows is empty; returns
    // the rows whose state changed, ascending.
    QVector<int> acknowledge(const QVector<int> &rows);
    // Silences every row unacknowledged now; returns whether anything was silenced. A later
    // raised() sounds again.
    bool silence();
    // Every row Empty.
    void clear();

    State state(int row) const;
    // Unacknowledged + Acknowledged.
    int openCount() const { return counts[Unacknowledged] + counts[Acknowledged]; }
    // Unacknowledged + RecoveredUnacknowledged.
    int unacknowledgedCount() const
    {
        return counts[Unacknowledged] + counts[RecoveredUnacknowledged];
    }
    // Some Unacknowledged or RecoveredUnacknowledged row not silenced: an alarm that returned
    // to normal unseen still calls for someone to look.
    bool sounding() const { return unsilenced > 0; }

    // "未确认", "已确认", "已恢复未确认", "已恢复已确认", and nothing for Empty.
    static QString stateText(State state);

private:
    static constexpr int kRows = AlarmDetector::kTableRows;

    static bool inRange(int row) { return row >= 0 && row < kRows; }
    static bool awaitsAcknowledgement(State state)
    {
        return state == Unacknowledged || state == RecoveredUnacknowledged;
    }
    void set(int row, State state, bool silenced);

    std::array<State, kRows> states{};
    std::array<bool, kRows> silencedRows{};
    std::array<int, Done + 1> counts{kRows};
    int unsilenced = 0;
};
