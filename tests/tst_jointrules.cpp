// The joint rules on ticks "seconds device:temperature... => events; ...", "~" a stale reading.
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

void tst_jointrules::rules_data()
{
    QTest::addColumn<JointRules::Settings>("settings");
    QTest::addColumn<QStringList>("ticks");
    const JointRules::Settings plain;
    QTest::newRow("phase difference, both levels, rise over ambient") << plain << QStringList{
        "0 4:50 5:52 6:50 11:40", "1 5:54 => phase 1号柜 warning raised 4",
        "2 5:66 => ambient 1号柜/5 warning raised 26; phase 1号柜 alarm raised 16",
        "3 5:53 => ambient 1号柜/5 warning recovered 13; phase 1号柜 alarm recovered 3; "
        "phase 1号柜 warning recovered 3"};
    QTest::newRow("idle cabinets are not judged") << plain << QStringList{
        "0 4:30 5:36 6:30 11:28 7:30 8:38", "1 8:45 => phase 2号柜 warning raised 15"};
    const QString raised = "phase 2号柜 warning raised 20; phase 2号柜 alarm raised 20";
    const QString recovered = "phase 2号柜 alarm recovered 0; phase 2号柜 warning recovered 0";
    QTest::newRow("a stale phase leaves the alarms")
        << plain << QStringList{"0 7:50 8:70 => " + raised, "1 ~8:40", "2 8:50 => " + recovered};
    // Reordered groups keep their alarms; what still holds after a forget is raised at once.
    QTest::newRow("kept through a regroup, raised again after a forget") << plain << QStringList{
        "0 7:50 8:70 => " + raised, "1 regroup", "2 forget => " + raised, "3 8:50 => " + recovered};
    JointRules::Settings slow;
    slow.phaseDifference.deadband = 1;
    slow.phaseDifference.delaySeconds = 2;
    QTest::newRow("deadband and delay") << slow << QStringList{"0 7:50 8:54", "1",
        "2 => phase 2号柜 warning raised 4", "3 8:53", "4 8:52 => phase 2号柜 warning recovered 2"};
    JointRules::Settings rate;
    rate.rateOfRiseOn = true;
    QTest::newRow("rate of rise over the window") << rate << QStringList{"0 9:20", "100 9:30",
        "150 9:22.5 => rate 9 warning raised 1", "300 9:35 => rate 9 alarm raised 3", "301 ~9:35",
        "600 9:35 => rate 9 alarm recovered 0; rate 9 warning recovered 0"};
    JointRules::Settings warning;
    warning.warningLimit[12 - 1] = 70;
    warning.warningLimit[13 - 1] = 80;
    QTest::newRow("a warning limit below the upper one")
        << warning << QStringList{"0 12:71 13:90 => warning 12 warning raised 71",
                                  "1 12:70 => warning 12 warning recovered 70"};
}

void tst_jointrules::rules()
{
    QFETCH(JointRules::Settings, settings);
    QFETCH(QStringList, ticks);
    QVector<CabinetGroup> groups{{QStringLiteral("1号柜"), {4, 5, 6}, 11},
                                 {QStringLiteral("2号柜"), {7, 8, 0}, 0}};
    QSet<int> open;
    JointRules rules;
    rules.setGroups(groups);
    std::array<float, kDevices> upper;
    upper.fill(80);
    DeviceReadings readings;
    readings.staleQuantities.fill(0x0F);
    for (const QString &tick : ticks) {
        const QStringList fields = tick.section(QStringLiteral(" =>"), 0, 0).split(' ');
        for (const QString &field : fields.mid(1)) {
            if (field == QLatin1String("regroup")) {
                rules.setGroups(groups = QVector<CabinetGroup>(groups.crbegin(), groups.crend()));
            } else if (field == QLatin1String("forget")) {
                rules.forget(open);
            } else {
                const QStringList pair = QString(field).remove('~').split(':');
                const size_t index = size_t(pair.at(0).toInt() - 1);
                readings.deviceTemperature[index] = pair.at(1).toFloat();
                readings.staleQuantities[index] = field.startsWith('~') ? 0x0F : 0;
            }
        }
        QStringList got;
        for (const JointRules::Event &event :
             rules.judge(readings, settings, upper, fields.at(0).toLongLong() * 1000)) {
            static const char *const kinds[] = {"phase", "ambient", "rate", "warning"};
            QString subject =
                event.group < 0 ? QString::number(event.device) : groups.at(event.group).name;
            if (event.rule == JointRules::AmbientRise)
                subject += '/' + QString::number(event.device);
            got << QStringList{kinds[event.rule - JointRules::PhaseDifference], subject,
                               event.level == JointRules::Warning ? "warning" : "alarm",
                               event.recovery ? "recovered" : "raised",
                               QString::number(double(event.value), 'g', 4)}.join(' ');
            QVERIFY(event.recovery ? open.remove(event.code) : !open.contains(event.code));
            if (!event.recovery)
                open.insert(event.code);
        }
        QCOMPARE(got.join(QStringLiteral("; ")), tick.section(QStringLiteral("=> "), 1));
    }
}

KESTRO_TEST_MAIN(tst_jointrules)

#include "tst_jointrules.moc"
