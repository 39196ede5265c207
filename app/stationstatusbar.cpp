#include "app/stationstatusbar.h"

#include "app/throttledtext.h"
#include "monitor/alarmhandling.h"
#include "serial/concentratorlink.h"
#include "serial/linkstatustext.h"
#include "site/sitelink.h"
#include "station/station.h"
#include "station/stationfaults.h"
#include "storage/alarmjournal.h"

#include <QLabel>
#include <QStatusBar>

StationStatusBar::StationStatusBar(Station *owner, QStatusBar *statusBar, QObject *parent)
    : QObject(parent), station(owner), bar(statusBar)
{
    ConcentratorLink *link = station->link();
    linkLabel = addLabel("link_state", false, false);
    auto *counters = new ThrottledText(addLabel("link_counters", false), this);
    connect(link, &ConcentratorLink::stateChanged, this, &StationStatusBar::showLinkState);
    connect(link, &ConcentratorLink::countersChanged, counters, [counters](const LinkCounters &now) {
        counters->setText(LinkStatusText::countersText(now));
    });
    showLinkState();

    QLabel *faults = addLabel("station_faults", true);
    connect(station->faults(), &StationFaults::changed, faults,
            [faults](const QString &text) { showWhenSaid(faults, text); });
    showWhenSaid(faults, station->faults()->text());

    alarmLabel = addLabel("alarm_counts", false);
    // Room for three-digit counts in a wider CJK face than this one, so it never jumps.
    alarmLabel->setMinimumWidth(
        alarmLabel->fontMetrics().horizontalAdvance(tr("报警 999 │ 未确认 999")) * 5 / 4);
    connect(station->alarmHandling(), &AlarmHandling::countsChanged, this,
            &StationStatusBar::showAlarmCounts);
    showAlarmCounts();

    QLabel *journal = addLabel("journal_state", true);
    connect(station->journal(), &AlarmJournal::faultChanged, journal,
            [journal](const QString &fault) { showWhenSaid(journal, fault); });
    showWhenSaid(journal, station->journal()->fault());

    QLabel *site = addLabel("site_state", false);
    connect(station->siteLink(), &SiteLink::statusChanged, site,
            [site](const QString &text) { showWhenSaid(site, text); });
    showWhenSaid(site, station->siteLink()->statusText());

    // Shown only while minute lines fail to reach the disk.
    historyLabel = addLabel("history_write_state", true);
    historyLabel->hide();
    connect(station, &Station::historyMinuteRecorded, this, &StationStatusBar::showHistoryWrites);
}

// Hidden while there is nothing to say. A long text (a server's whole error) is cut to a third
// of the window, whole in its tooltip, so it never pushes the alarm counts out of sight.
void StationStatusBar::showWhenSaid(QLabel *label, const QString &text)
{
    // The window's width, which is set before it shows; the bar's is not.
    const int room = label->window()->width() / 3;
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, room);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
    label->setVisible(!text.isEmpty());
}

// A permanent label, so a passing message does not hide it.
QLabel *StationStatusBar::addLabel(const char *objectName, bool fault, bool permanent)
{
    auto *label = new QLabel(bar);
    label->setObjectName(QLatin1String(objectName));
    if (fault) {
        label->setStyleSheet(QStringLiteral("color: red;"));
        label->hide();
    }
    if (permanent)
        bar->addPermanentWidget(label);
    else
        bar->addWidget(label, 1);
    return label;
}

void StationStatusBar::showLinkState()
{
    const ConcentratorLink *link = station->link();
    linkLabel->setText(LinkStatusText::stateText(link->state(), link->portName(), link->silentSince()));
}

void StationStatusBar::showAlarmCounts()
{
    const AlarmHandling *handling = station->alarmHandling();
    alarmLabel->setText(handling->countText());
    const QString style = handling->unacknowledgedCount() > 0 ? QStringLiteral("color: red;") : QString();
    // A style sheet is costly to apply; only when it changes.
    if (alarmLabel->styleSheet() != style)
        alarmLabel->setStyleSheet(style);
}

void StationStatusBar::showHistoryWrites()
{
    showWhenSaid(historyLabel, station->historyWrites().statusText());
}
