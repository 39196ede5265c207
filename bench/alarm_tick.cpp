// The evaluation tick as the station runs it, on the GUI thread: a quiet tick (no alarm
// event, nothing written) and a flood (every device over temperature, under voltage and
// over current: 600 alarms entered, tabled, painted and journalled in one tick), then the
// tick after it. Figures only.
//   bench_alarm_tick [QUIET_TICKS]   (default 2000)

#include "app/mainwindow.h"
#include "forms/panelcolumn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void setAll(MainWindow &window, const char *prefix, const QString &text)
{
    // As typed: the station judges only readings it has heard or been given.
    for (int device = 1; device <= 200; ++device) {
        QLineEdit *field = window.findChild<QLineEdit *>(QString::fromLatin1(prefix) + QString::number(device));
        field->setText(text);
        emit field->textEdited(text);
    }
}

double timedTick(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    window.evaluateNow();
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int quietTicks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.setPollStepInterval(24 * 3600 * 1000);
    setAll(window, PanelPrefix::Temperature, QStringLiteral("25.5"));
    setAll(window, PanelPrefix::Voltage, QStringLiteral("3005"));
    setAll(window, PanelPrefix::Current, QStringLiteral("1.25"));
    window.evaluateNow();

    std::vector<double> quiet;
    for (int tick = 0; tick < quietTicks; ++tick)
        quiet.push_back(timedTick(window));
    std::sort(quiet.begin(), quiet.end());
    std::printf("quiet tick: median %.3f ms, 99th percentile %.3f ms, max %.3f ms (%d ticks)\n",
                quiet[quiet.size() / 2], quiet[quiet.size() * 99 / 100], quiet.back(), quietTicks);

    setAll(window, PanelPrefix::Temperature, QStringLiteral("95.5"));
    setAll(window, PanelPrefix::Voltage, QStringLiteral("2100"));
    setAll(window, PanelPrefix::Current, QStringLiteral("60.5"));
    const double flood = timedTick(window);
    const double after = timedTick(window);
    std::printf("flood of 600 alarms in one tick: %.2f ms; the tick after it: %.3f ms\n", flood, after);
    return 0;
}
