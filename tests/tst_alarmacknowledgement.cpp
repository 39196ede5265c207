#include "monitor/alarmacknowledgement.h"
#include "testsupport.h"

#include <QTest>

class tst_alarmacknowledgement : public QObject
{
    Q_OBJECT

private slots:
    void operatorAndDetectionEvents_data();
    void operatorAndDetectionEvents();
};

// Steps: +r raised, -r recovered, a / a1,2 acknowledge all / those rows, s silence, c clear.
// Expected: rows 0, 1, 2, 998 as . empty, U, A, R (recovered unacknowledged), D (done); the
// open and unacknowledged counts; whether it sounds; what each a and s answered.
void tst_alarmacknowledgement::operatorAndDetectionEvents_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");
    QTest::newRow("recovered unseen") << "+0 +998 -0"
                                      << "R..U 1 2 sounds";
    QTest::newRow("acknowledged, recovered") << "+0 a0 -0 a0"
                                             << "D... 0 0 quiet [0] []";
    QTest::newRow("all, recovered too") << "+0 +1 +2 -1 a a"
                                        << "ADA. 2 0 quiet [0,1,2] []";
    QTest::newRow("chosen") << "+0 +1 +998 a998,1,1,5,999,-1"
                            << "UA.A 3 1 sounds [1,998]";
    QTest::newRow("silenced") << "+0 +1 -1 s s -0"
                              << "RR.. 0 2 quiet yes no";
    QTest::newRow("new alarm sounds") << "+0 s +1"
                                      << "UU.. 2 2 sounds yes";
    QTest::newRow("reused row") << "+0 a -0 s +0"
                                << "U... 1 1 sounds [0] no";
    QTest::newRow("nothing there") << "-0 +1 a -1 -1 +999 +-1"
                                   << ".D.. 0 0 quiet [1]";
    QTest::newRow("clear") << "+0 +1 a1 s c"
                           << ".... 0 0 quiet [1] yes";
}

void tst_alarmacknowledgement::operatorAndDetectionEvents()
{
    QFETCH(QString, steps);
    AlarmAcknowledgement alarms;
    QStringList answers;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const QString argument = step.mid(1);
        if (step[0] == QLatin1Char('+'))
            alarms.raised(argument.toInt());
        else if (step[0] == QLatin1Char('-'))
            alarms.recovered(argument.toInt());
        else if (step[0] == QLatin1Char('s'))
            answers << QString::fromLatin1(alarms.silence() ? "yes" : "no");
        else if (step[0] == QLatin1Char('c'))
            alarms.clear();
        if (step[0] != QLatin1Char('a'))
            continue;
        QVector<int> rows;
        QStringList changed;
        for (const QString &row : argument.split(QLatin1Char(','), Qt::SkipEmptyParts))
            rows << row.toInt();
        for (int row : alarms.acknowledge(rows))
            changed << QString::number(row);
        answers << QLatin1Char('[') + changed.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    QString said;
    for (int row : {0, 1, 2, 998})
        said += QLatin1Char(".UARD"[alarms.state(row)]);
    said += QStringLiteral(" %1 %2 ").arg(alarms.openCount()).arg(alarms.unacknowledgedCount());
    answers.prepend(said + QLatin1String(alarms.sounding() ? "sounds" : "quiet"));
    QTEST(answers.join(QLatin1Char(' ')), "expected");
}

KESTRO_TEST_MAIN(tst_alarmacknowledgement)
#include "tst_alarmacknowledgement.moc"
