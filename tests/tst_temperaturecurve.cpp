#include "app/mainwindow.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "history/temperaturecurve.h"
#include "testsupport.h"

#include <QFile>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

class TemperatureCurveTest : public QObject
{
    Q_OBJECT

private slots:
    void chartIsSetUpForDeviceOne();
    void onlyTheVisibleWindowIsKept();
    void aQueryChoosesTheDeviceAndNamesTheSeries();
    void aBadDeviceNumberChangesNothing();
    void theClockTickPlotsTheChosenDevice();
    void aSecondStationOnTheSameFolderIsRefused();
    void aLockLeftByADeadStationIsTakenOver();
};

void TemperatureCurveTest::chartIsSetUpForDeviceOne()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    const TemperatureCurve &curve = window.temperatureCurve();
    QCOMPARE(curve.series()->name(), QStringLiteral("温度001"));
    QCOMPARE(curve.axisY()->min(), 0.0);
    QCOMPARE(curve.axisY()->max(), 70.0);
    QCOMPARE(curve.axisY()->tickCount(), 15);
    QVERIFY(!curve.axisY()->isGridLineVisible());
    QCOMPARE(curve.axisY()->titleText(), QStringLiteral("温度值"));
    QCOMPARE(curve.axisX()->tickCount(), 11);
    QCOMPARE(curve.axisX()->format(), QStringLiteral("hh:mm:ss"));
    QCOMPARE(curve.axisX()->titleText(), QStringLiteral("时间轴"));
    QCOMPARE(curve.axisX()->titleFont().pointSize(), 8);
    QCOMPARE(window.form()->widget->chart(), curve.series()->chart());
    QCOMPARE(curve.series()->attachedAxes().size(), 2);
    QCOMPARE(window.plottedDeviceIndex(), 0);
}

void TemperatureCurveTest::onlyTheVisibleWindowIsKept()
{
    QChartView view;
    TemperatureCurve curve;
    curve.Chart_Init(&view);
    const QDateTime start(QDate(2026, 5, 1), QTime(8, 0, 0));
    // Ten simulated minutes of ticks, one a second.
    for (int second = 0; second < 600; ++second)
        curve.addPoint(start.addSecs(second), second % 50);
    const QDateTime last = start.addSecs(599);
    QCOMPARE(curve.series()->count(), 11);
    QCOMPARE(curve.axisX()->min(), last);
    QCOMPARE(curve.axisX()->max(), last.addSecs(10));
    // The newest point sits at the right edge, the oldest at the left.
    QCOMPARE(curve.series()->at(10).x(), double(last.addSecs(10).toMSecsSinceEpoch()));
    QCOMPARE(curve.series()->at(10).y(), 49.0); // 599 % 50
    QCOMPARE(curve.series()->at(0).x(), double(last.toMSecsSinceEpoch()));

    // The clock set back ten minutes: nothing from the "future" lingers.
    curve.addPoint(start, 20.0);
    QCOMPARE(curve.series()->count(), 1);
    QCOMPARE(curve.series()->at(0).y(), 20.0);
}

void TemperatureCurveTest::aQueryChoosesTheDeviceAndNamesTheSeries()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.form()->Historical_curve_temperature_id->setText(QStringLiteral("5"));
    window.form()->Historical_curve_query_button->click();
    QCOMPARE(window.temperatureCurve().series()->name(), QStringLiteral("温度：5"));
    QCOMPARE(window.plottedDeviceIndex(), 4);
    window.form()->Historical_curve_temperature_id->setText(QStringLiteral("200"));
    window.form()->Historical_curve_query_button->click();
    QCOMPARE(window.temperatureCurve().series()->name(), QStringLiteral("温度：200"));
    QCOMPARE(window.plottedDeviceIndex(), 199);
}

void TemperatureCurveTest::aBadDeviceNumberChangesNothing()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.form()->Historical_curve_temperature_id->setText(QStringLiteral("9"));
    window.form()->Historical_curve_query_button->click();
    for (const char *typed : {"0", "201", "-3", "abc", "", "5.5", "99999999999"}) {
        window.form()->Historical_curve_temperature_id->setText(QLatin1String(typed));
        window.form()->Historical_curve_query_button->click();
        QCOMPARE(window.temperatureCurve().series()->name(), QStringLiteral("温度：9"));
        QCOMPARE(window.plottedDeviceIndex(), 8);
    }
}

void TemperatureCurveTest::theClockTickPlotsTheChosenDevice()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.setPollStepInterval(10 * 60 * 1000); // keep polling off the typed value
    window.form()->Historical_curve_temperature_id->setText(QStringLiteral("7"));
    window.form()->Historical_curve_query_button->click();
    typeIntoPanel(&window, PanelPrefix::Temperature, 7, QStringLiteral("42.5"));
    QSplineSeries *series = window.temperatureCurve().series();
    QTRY_VERIFY_WITH_TIMEOUT(series->count() > 0 && series->at(series->count() - 1).y() == 42.5,
                             3500);
}

void TemperatureCurveTest::aSecondStationOnTheSameFolderIsRefused()
{
    QTemporaryDir dir;
    {
        MainWindow first(nullptr, dir.path());
        QVERIFY(first.isSoleInstance());
        MainWindow second(nullptr, dir.path());
        QVERIFY(!second.isSoleInstance());
    }
    MainWindow later(nullptr, dir.path());
    QVERIFY(later.isSoleInstance());
}

void TemperatureCurveTest::aLockLeftByADeadStationIsTakenOver()
{
    QTemporaryDir dir;
    // A process that has ended stands for a station killed while holding the lock.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    QVERIFY(gone.waitForFinished(5000));
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    QFile lock(dir.filePath(QStringLiteral("kestro.lock")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\nkestro\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    MainWindow window(nullptr, dir.path());
    QVERIFY(window.isSoleInstance());
}

KESTRO_TEST_MAIN(TemperatureCurveTest)
#include "tst_temperaturecurve.moc"
