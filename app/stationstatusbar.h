#pragma once

#include <QObject>

class QLabel;
class QStatusBar;
class Station;

// What the station tells the operator in the status bar: the link and its counters, alarm
// counts, the site link, and in red whatever fails (journal, minute history, other faults).
// Each in a label of its own, so one change repaints only its own text.
class StationStatusBar : public QObject
{
    Q_OBJECT

public:
    StationStatusBar(Station *station, QStatusBar *bar, QObject *parent = nullptr);

private:
    static void showWhenSaid(QLabel *label, const QString &text);
    QLabel *addLabel(const char *objectName, bool fault, bool permanent = true);
    void showLinkState();
    void showAlarmCounts();
    void showHistoryWrites();

    Station *station;
    QStatusBar *bar;
    QLabel *linkLabel = nullptr;
    QLabel *alarmLabel = nullptr;
    QLabel *historyLabel = nullptr;
};
