// The joint rules alone, as the evaluation tick will run them: 200 devices in 66 cabinet groups
// of three phases (two ambient devices shared among them), every rule on. A quiet pass with
// readings that hold still, then a flood where every group passes both phase-difference levels
// in one pass. Figures only.
//   bench_joint_rules [PASSES]   (default 2000)

#include "rules/jointrules.h"

#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char *argv[])
{
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    QVector<CabinetGroup> groups;
    for (int g = 0; g < 66; ++g)
        groups.append({QStringLiteral("%1号柜").arg(g + 1), {3 * g + 1, 3 * g + 2, 3 * g + 3}, g < 33 ? 199 : 200});
    JointRules rules;
    rules.setGroups(groups);
    JointRules::Settings settings;
    settings.rateOfRiseOn = true;
    settings.warningLimit.fill(70);
    std::array<float, kDevices> upper;
    upper.fill(80);
    DeviceReadings readings;
    readings.deviceTemperature.fill(45.5f);
    readings.deviceTemperature[198] = readings.deviceTemperature[199] = 30;

    std::vector<double> quiet;
    qint64 nowMs = 0;
    for (int pass = 0; pass < passes; ++pass, nowMs += 1000) {
        QElapsedTimer clock;
        clock.start();
        const auto events = rules.judge(readings, settings, upper, nowMs);
        quiet.push_back(clock.nsecsElapsed() / 1e6);
        if (!events.isEmpty())
            std::printf("unexpected events in a quiet pass: %d\n", int(events.size()));
    }
    std::sort(quiet.begin(), quiet.end());
    std::printf("quiet pass, 66 groups, every rule on: median %.4f ms, 99th percentile %.4f ms (%d passes)\n",
                quiet[quiet.size() / 2], quiet[quiet.size() * 99 / 100], passes);

    for (int g = 0; g < 66; ++g)
        readings.deviceTemperature[size_t(3 * g)] = 65.5f;
    QElapsedTimer clock;
    clock.start();
    const auto events = rules.judge(readings, settings, upper, nowMs);
    std::printf("flood: %d events in one pass, %.3f ms (the rules alone, no journal)\n",
                int(events.size()), clock.nsecsElapsed() / 1e6);
    return 0;
}
