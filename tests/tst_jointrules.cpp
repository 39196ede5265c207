// The joint rules on rows of literal readings: each tick gives seconds and temperatures
// ("~" marks a reading nobody heard lately), and the events the tick must give.
#include "testsupport.h"
#include "rules/jointrules.h"

#include <QTest>

Q_DECLARE_METATYPE(JointRules::Settings)

class tst_jointrules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
};

namespace {

using Settings = JointRules::Settings;

QString eventLine(const JointRules::Event &event, const QVector<CabinetGroup> &groups)
{
    static const char *const rules[] = {"phase", "ambient", "rate", "warning"};
    QString subject = event.group < 0 ? QString::number(event.device) : groups.at(event.group).name;
    if (event.rule == JointRules::AmbientRise)
        subject += QLatin1Char('/') + QString::number(event.device);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(QLatin1String(rules[event.rule - JointRules::PhaseDifference]), subject,
             QLatin1String(event.level == JointRules::Warning ? "warning" : "alarm"),
             QLatin1String(event.recovery ? "recovered" : "raised"))
        .arg(double(event.value), 0, 'g', 4);
}

} // namespace

void tst_jointrules::rules_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("ticks");
    QTest::addColumn<QList<QStringList>>("expected");

    Settings plain;
    QTest::newRow("phase difference, both levels, rise over ambient")
        << plain << QStringList{"0 4:50 5:52 6:50 11:40", "1 5:54", "2 5:66", "3 5:53"}
        << QList<QStringList>{{},
                              {"phase 1号柜 warning raised 4"},
                              {"ambient 1号柜/5 warning raised 26", "phase 1号柜 alarm raised 16"},
                              {"ambient 1号柜/5 warning recovered 13", "phase 1号柜 alarm recovered 3",
                               "phase 1号柜 warning recovered 3"}};
    QTest::newRow("idle cabinets are not judged")
        << plain << QStringList{"0 4:30 5:36 6:30 11:28 7:30 8:38", "1 8:45"}
        << QList<QStringList>{{}, {"phase 2号柜 warning raised 15"}};
    QTest::newRow("a stale phase leaves the alarms")
        << plain << QStringList{"0 7:50 8:70", "1 ~8:40", "2 8:50"}
        << QList<QStringList>{{"phase 2号柜 warning raised 20", "phase 2号柜 alarm raised 20"},
                              {},
                              {"phase 2号柜 alarm recovered 0", "phase 2号柜 warning recovered 0"}};
    // Reordered groups keep their alarms; the list's clear forgets them, and what still holds
    // is raised again at once.
    QTest::newRow("kept through a regroup, raised again after a forget")
        << plain << QStringList{"0 7:50 8:70", "1 regroup", "2 forget", "3 8:50"}
        << QList<QStringList>{{"phase 2号柜 warning raised 20", "phase 2号柜 alarm raised 20"},
                              {},
                              {"phase 2号柜 warning raised 20", "phase 2号柜 alarm raised 20"},
                              {"phase 2号柜 alarm recovered 0", "phase 2号柜 warning recovered 0"}};
    Settings slow;
    slow.phaseDifference.deadband = 1;
    slow.phaseDifference.delaySeconds = 2;
    QTest::newRow("deadband and delay")
        << slow << QStringList{"0 7:50 8:54", "1", "2", "3 8:53", "4 8:52"}
        << QList<QStringList>{{}, {}, {"phase 2号柜 warning raised 4"}, {}, {"phase 2号柜 warning recovered 2"}};
    Settings rate;
    rate.rateOfRiseOn = true;
    QTest::newRow("rate of rise over the window")
        << rate << QStringList{"0 9:20", "100 9:30", "150 9:22.5", "300 9:35", "301 ~9:35", "600 9:35"}
        << QList<QStringList>{{}, {}, {"rate 9 warning raised 1"}, {"rate 9 alarm raised 3"}, {},
                              {"rate 9 alarm recovered 0", "rate 9 warning recovered 0"}};
    Settings warning;
    warning.warningLimit[12 - 1] = 70;
    warning.warningLimit[13 - 1] = 80;
    QTest::newRow("a warning limit below the upper one")
        << warning << QStringList{"0 12:71 13:90", "1 12:70"}
        << QList<QStringList>{{"warning 12 warning raised 71"}, {"warning 12 warning recovered 70"}};
}

void tst_jointrules::rules()
{
    QFETCH(Settings, settings);
    QFETCH(QStringList, ticks);
    QFETCH(QList<QStringList>, expected);
    QVector<CabinetGroup> groups{{QStringLiteral("1号柜"), {4, 5, 6}, 11},
                                 {QStringLiteral("2号柜"), {7, 8, 0}, 0}};
    QSet<int> open;
    JointRules rules;
    rules.setGroups(groups);
    std::array<float, kDevices> upper;
    upper.fill(80);
    DeviceReadings readings;
    readings.staleQuantities.fill(0x0F);
    for (int tick = 0; tick < ticks.size(); ++tick) {
        const QStringList fields = ticks.at(tick).split(QLatin1Char(' '));
        for (const QString &field : fields.mid(1)) {
            if (field == QLatin1String("regroup")) {
                std::reverse(groups.begin(), groups.end());
                rules.setGroups(groups);
                continue;
            }
            if (field == QLatin1String("forget")) {
                rules.forget(open);
                continue;
            }
            const bool stale = field.startsWith(QLatin1Char('~'));
            const QStringList pair = field.mid(stale ? 1 : 0).split(QLatin1Char(':'));
            const size_t index = size_t(pair.at(0).toInt() - 1);
            readings.deviceTemperature[index] = pair.at(1).toFloat();
            readings.staleQuantities[index] = stale ? 0x0F : 0;
        }
        QStringList got;
        for (const JointRules::Event &event :
             rules.judge(readings, settings, upper, fields.at(0).toLongLong() * 1000)) {
            got << eventLine(event, groups);
            QVERIFY(event.recovery ? open.remove(event.code) : !open.contains(event.code));
            if (!event.recovery)
                open.insert(event.code);
        }
        QCOMPARE(got, expected.at(tick));
    }
}

KESTRO_TEST_MAIN(tst_jointrules)

#include "tst_jointrules.moc"
