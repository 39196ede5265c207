// The evaluation tick as the station runs it, on the GUI thread: a quiet tick (no alarm
// event, nothing written), without and with the joint rules (66 cabinets of three phases
// over all 200 devices, every rule on, a warning limit on every device); a flood of the rules
// (every cabinet's phase A up 50 °C: phase difference, rise over ambient and warning, each
// level, entered and journalled in one tick); and a flood of the fixed limits (every device
// over temperature, under voltage and over current: 600 alarms), then the tick after it.
// Figures only.
//   bench_alarm_tick [QUIET_TICKS]   (default 2000)

#include "app/mainwindow.h"
#include "bench/typedreadings.h"
#include "forms/panelcolumn.h"
#include "monitor/alarmhandling.h"
#include "station/station.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double timedTick(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    window.evaluateNow();
    return clock.nsecsElapsed() / 1e6;
}

double medianTick(MainWindow &window, int ticks, const char *what)
{
    std::vector<double> times;
    for (int tick = 0; tick < ticks; ++tick)
        times.push_back(timedTick(window));
    std::sort(times.begin(), times.end());
    std::printf("%s: median %.3f ms, 99th percentile %.3f ms, max %.3f ms (%d ticks)\n", what,
                times[times.size() / 2], times[times.size() * 99 / 100], times.back(), ticks);
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int quietTicks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.setPollStepInterval(24 * 3600 * 1000);
    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("25.5"));
    typeIntoAll(window, PanelPrefix::Voltage, QStringLiteral("3005"));
    typeIntoAll(window, PanelPrefix::Current, QStringLiteral("1.25"));
    window.evaluateNow();

    medianTick(window, quietTicks, "quiet tick");

    QVector<CabinetGroup> groups;
    for (int g = 0; g < 66; ++g)
        groups.append({QStringLiteral("%1号柜").arg(g + 1), {3 * g + 1, 3 * g + 2, 3 * g + 3}, 199 + g % 2});
    JointRuleSettings settings;
    settings.rateOfRiseOn = true;
    settings.warningLimit.fill(70);
    QString error;
    if (!window.station()->setJointRules(groups, settings, &error)) {
        std::printf("the rules could not be stored: %s\n", qPrintable(error));
        return 1;
    }
    medianTick(window, quietTicks, "quiet tick, every joint rule on");
    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("75.5"), 1, 3);
    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("25.5"), 199); // the air stays
    const double rules = timedTick(window);
    const int open = window.station()->alarmHandling()->openCount();
    std::printf("flood of the joint rules, every cabinet in 报警 (%d alarms open): %.2f ms; the tick"
                " after it: %.3f ms\n", open, rules, timedTick(window));
    // As before the rules, so the figures compare with earlier runs.
    if (!window.station()->setJointRules({}, JointRuleSettings(), &error))
        return 1;

    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("95.5"));
    typeIntoAll(window, PanelPrefix::Voltage, QStringLiteral("2100"));
    typeIntoAll(window, PanelPrefix::Current, QStringLiteral("60.5"));
    const double flood = timedTick(window);
    const double after = timedTick(window);
    std::printf("flood of 600 alarms in one tick: %.2f ms; the tick after it: %.3f ms\n", flood, after);
    return 0;
}
