#include "monitor/alarmacknowledgement.h"

#include <QCoreApplication>

void AlarmAcknowledgement::raised(int row)
{
    if (inRange(row))
        set(row, Unacknowledged, false);
}

void AlarmAcknowledgement::recovered(int row)
{
    if (!inRange(row))
        return;
    if (states[row] == Unacknowledged)
        set(row, RecoveredUnacknowledged, silencedRows[row]);
    else if (states[row] == Acknowledged)
        set(row, Done, false);
}

QVector<int> AlarmAcknowledgement::acknowledge(const QVector<int> &rows)
{
    std::array<bool, kRows> chosen{};
    if (rows.isEmpty())
        chosen.fill(true);
    for (int row : rows)
        if (inRange(row))
            chosen[row] = true;
    QVector<int> changed;
    for (int row = 0; row < kRows; ++row) {
        if (!chosen[row] || !awaitsAcknowledgement(states[row]))
            continue;
        set(row, states[row] == Unacknowledged ? Acknowledged : Done, false);
        changed.append(row);
    }
    return changed;
}

bool AlarmAcknowledgement::silence()
{
    if (unsilenced == 0)
        return false;
    for (int row = 0; row < kRows; ++row)
        if (awaitsAcknowledgement(states[row]))
            set(row, states[row], true);
    return true;
}

void AlarmAcknowledgement::clear()
{
    states.fill(Empty);
    silencedRows.fill(false);
    counts = {kRows};
    unsilenced = 0;
}

AlarmAcknowledgement::State AlarmAcknowledgement::state(int row) const
{
    return inRange(row) ? states[row] : Empty;
}

QString AlarmAcknowledgement::stateText(State state)
{
    static const char *const texts[] = {"", "未确认", "已确认", "已恢复未确认", "已恢复已确认"};
    return state == Empty ? QString()
                          : QCoreApplication::translate("AlarmAcknowledgement", texts[state]);
}

void AlarmAcknowledgement::set(int row, State state, bool silenced)
{
    const auto sounds = [this](int r) {
        return awaitsAcknowledgement(states[r]) && !silencedRows[r];
    };
    --counts[states[row]];
    unsilenced -= sounds(row);
    states[row] = state;
    silencedRows[row] = silenced;
    ++counts[state];
    unsilenced += sounds(row);
}
