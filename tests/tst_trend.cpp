// The trend window driven as the operator drives it, offscreen: literal history lines and
// archive rows in a data folder of its own, loaded through the controller, looked at in what
// the window holds and what it exports.

#include "testsupport.h"

#include "storage/hourlyarchive.h"
#include "storage/stationdatabase.h"
#include "trend/trendchart.h"
#include "trend/trendcontroller.h"
#include "trend/trendwindow.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>

namespace {

// Tuesday is read first while nothing says which file is being filled.
const char *const kFile = "History_Tuesday_value.txt";

const QByteArray kLines =
    "ID:005#温度:23.5#电流:1.25#状态:在线#时间:2024-05-01 08:00:00#;"
    "ID:006#温度:nan#电流:2#状态:在线#时间:2024-05-01 08:00:00#;"
    "ID:007#温度:1.5e+06#电流:inf#状态:在线#时间:2024-05-01 08:00:00#;\r\n"
    // Garbage: a short number, a NUL ending what counts, bad stamps, broken UTF-8 values.
    "#;;##ID:#;ID:05#温度:9#电流:9#状态:x#时间:2024-05-01 08:00:30#;"
    + QByteArray("\0", 1) + "ID:005#温度:77#电流:7#状态:在线#时间:2024-05-01 08:00:50#;\r\n"
    "ID:005#温度:99#电流:9#状态:在线#时间:2024-05-01 25:00:00#;"
    "ID:006#温度:98#电流:9#状态:在线#时间:2024-05-01 08:0x:00#;\r\n"
    "ID:005#\xE6\xB8#b#\xE5#时间:2024-05-01 08:00:40#\xE6;\xE6\x97\r\n"
    "ID:005#温度:abc#电流:-5#状态:在线#时间:2024-05-01 08:01:00#;\r\n"
    "ID:005#温度:1#电流:1#状态:在线#时间:2024-04-20 08:00:00#;\r\n";

QDateTime local(int day, const char *time)
{
    return QDateTime(QDate(2024, 5, day), QTime::fromString(QString::fromLatin1(time), "HH:mm:ss"));
}

qint64 wallSeconds(int month, int day, int hour)
{
    return QDateTime(QDate(2024, month, day), QTime(hour, 0), Qt::UTC).toSecsSinceEpoch();
}

QString stampOf(double wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(wallMs), Qt::UTC).toString("yyyy-MM-dd HH:mm:ss");
}

// "2024-05-01 08:00:00 23.5 1.25", an hour "... 21 [20..22] 2 [1..3]".
QStringList points(const TrendSeries &s)
{
    QStringList list;
    for (int k = 0; k < s.x.size(); ++k) {
        auto v = [k](const QVector<double> &values) { return QString::number(values.at(k)); };
        list << (k >= s.temperatureMin.size()
                     ? QStringLiteral("%1 %2 %3").arg(stampOf(s.x.at(k)), v(s.temperature), v(s.current))
                     : QStringLiteral("%1 %2 [%3..%4] %5 [%6..%7]")
                           .arg(stampOf(s.x.at(k)), v(s.temperature), v(s.temperatureMin),
                                v(s.temperatureMax), v(s.current), v(s.currentMin), v(s.currentMax)));
    }
    return list;
}

ArchiveHour hour(int device, qint64 start, int minutes, double tMin, double tMean, double tMax,
                 double cMin, double cMean, double cMax)
{
    ArchiveHour row;
    row.device = device;
    row.hour = row.utc = start;
    row.temperatureMinutes = minutes;
    row.currentMinutes = 60;
    if (minutes > 0) {
        row.temperatureMin = tMin;
        row.temperatureMean = tMean;
        row.temperatureMax = tMax;
    }
    row.currentMin = cMin;
    row.currentMean = cMean;
    row.currentMax = cMax;
    return row;
}

bool writeArchive(const QString &dir, const QVector<ArchiveHour> &rows)
{
    StationDatabase database(dir);
    QString error;
    const bool done = database.open(&error) && HourlyArchive(&database).write(rows, &error);
    if (!done)
        qWarning("archive: %s", qPrintable(error));
    return done;
}

} // namespace

class TrendTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void historyPageRangeGivesTheStoredPoints();
    void typedDevicesGiveOneLabelledSeriesEach_data();
    void typedDevicesGiveOneLabelledSeriesEach();
    void badDeviceTextLoadsNothing_data();
    void badDeviceTextLoadsNothing();
    void newRequestSupersedesRunningOne();
    void pickerAndReopeningKeepTheChoice();
    void csvHoldsWhatIsPlotted();
    void liveRangeFollowsEachMinute();
    void longRangeComesFromTheArchive();
    void weekTheFilesLostComesFromTheArchive_data();
    void weekTheFilesLostComesFromTheArchive();
    void pictureIsTitled_data();
    void pictureIsTitled();
    void closedWhileADateIsTypedIn();

private:
    // Runs action and waits for the window to show what it asked for.
    bool shown(const std::function<void()> &action);
    void show(const QString &devices, int preset);

    QTemporaryDir *dir = nullptr;
    TrendController *controller = nullptr;
};

void TrendTest::init()
{
    dir = new QTemporaryDir;
    QVERIFY(writeFileBytes(QDir(dir->path()).filePath(kFile), kLines));
    controller = new TrendController(dir->path(), nullptr);
    controller->setClock([]() { return local(1, "08:01:30"); });
    controller->setDeviceNames([](int device) {
        return device == 5 ? QStringLiteral("进线柜A相") : device == 7 ? QStringLiteral(" 出线 ") : QString();
    });
    controller->setLimits([](int device) {
        TrendLimits limits;
        limits.upperTemperature = 70 + device;
        return limits;
    });
    // As the history page opens it: device 5 over a custom range.
    QVERIFY(shown([this]() {
        controller->openFor(5, local(1, "07:30:00"), local(1, "08:30:00"));
    }));
}

void TrendTest::cleanup()
{
    delete controller;
    delete dir;
}

bool TrendTest::shown(const std::function<void()> &action)
{
    // The first action makes the window; what it loads is shown through the event loop.
    const bool made = !controller->window();
    if (made)
        action();
    QSignalSpy spy(controller->window(), &TrendWindow::dataShown);
    if (!made)
        action();
    return spy.wait(5000);
}

void TrendTest::show(const QString &devices, int preset)
{
    TrendWindow *window = controller->window();
    window->setDeviceText(devices);
    window->setPreset(preset);
    window->findChild<QPushButton *>("trend_show_button")->click();
}

void TrendTest::historyPageRangeGivesTheStoredPoints()
{
    const TrendData data = controller->window()->data();
    QVERIFY(!data.hourly);
    QCOMPARE(data.series.size(), 1);
    QCOMPARE(data.series[0].label, QStringLiteral("005 进线柜A相"));
    QCOMPARE(points(data.series[0]), (QStringList{"2024-05-01 08:00:00 23.5 1.25",
                                                  "2024-05-01 08:00:40 nan nan",
                                                  "2024-05-01 08:01:00 nan -5"}));
    QCOMPARE(data.limits.value(0).upperTemperature, 75.0);
    QCOMPARE(controller->window()->statusText(),
             QStringLiteral("周历史文件 │ 2024-05-01 07:30:00 至 2024-05-01 08:30:00 │ "
                            "共 3 个分钟值（005：3）"));
    QVERIFY(controller->window()->isVisible());
    QCOMPARE(controller->window()->windowTitle(), QStringLiteral("趋势"));
}

void TrendTest::typedDevicesGiveOneLabelledSeriesEach_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("firstPoints");
    const QStringList ordered = {"005 进线柜A相", "006", "007 出线"};
    const QStringList points = {"2024-05-01 08:00:00 23.5 1.25", "2024-05-01 08:00:00 nan 2",
                                "2024-05-01 08:00:00 1.5e+06 nan"};
    QTest::newRow("list") << "5,6,7" << ordered << points;
    QTest::newRow("range") << "5-7" << ordered << points;
    QTest::newRow("as typed, once each")
        << "7，6 5,7" << QStringList{ordered[2], ordered[1], ordered[0]}
        << QStringList{points[2], points[1], points[0]};
}

void TrendTest::typedDevicesGiveOneLabelledSeriesEach()
{
    QFETCH(QString, text);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, firstPoints);
    QVERIFY(shown([&]() { show(text, 2); }));
    TrendWindow *window = controller->window();
    QStringList gotLabels, gotPoints;
    for (const TrendSeries &series : window->data().series) {
        gotLabels << series.label;
        gotPoints << points(series).value(0);
    }
    QCOMPARE(gotLabels, labels);
    QCOMPARE(gotPoints, firstPoints);
}

void TrendTest::badDeviceTextLoadsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << "  " << "请输入设备号，如 5,6,7 或 5-8";
    QTest::newRow("no number") << "5,abc" << "无法识别的设备号：abc";
    QTest::newRow("open range") << "5-" << "无法识别的设备号：5-";
    QTest::newRow("zero") << "0" << "设备号须在 1 到 200 之间：0";
    QTest::newRow("negative") << "-5" << "设备号须在 1 到 200 之间：-5";
    QTest::newRow("201") << "7,201" << "设备号须在 1 到 200 之间：201";
    QTest::newRow("huge range") << "1-2000000000" << "设备号须在 1 到 200 之间：1-2000000000";
    QTest::newRow("nine") << "1,2,3,4,5,6,7,8,9" << "最多可同时显示 8 台设备";
    QTest::newRow("nine in a range") << "1-9" << "最多可同时显示 8 台设备";
}

void TrendTest::badDeviceTextLoadsNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    TrendWindow *window = controller->window();
    QSignalSpy loaded(window, &TrendWindow::dataShown);
    show(text, 2);
    QCOMPARE(window->statusText(), message);
    QVERIFY(!loaded.wait(300));
    QCOMPARE(window->data().series.size(), 1); // what was shown stays
}

void TrendTest::newRequestSupersedesRunningOne()
{
    controller->openFor(5, local(1, "07:30:00"), local(1, "08:30:00"));
    QSignalSpy loaded(controller->window(), &TrendWindow::dataShown);
    controller->openFor(6, local(1, "07:30:00"), local(1, "08:30:00"));
    QVERIFY(loaded.wait(5000));
    QVERIFY(!loaded.wait(300));
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(controller->window()->data().series.value(0).device, 6);
}

void TrendTest::pickerAndReopeningKeepTheChoice()
{
    TrendWindow *window = controller->window();
    window->findChild<QPushButton *>("trend_pick_button")->click();
    auto *list = window->findChild<QListWidget *>("trend_picker_list");
    QCOMPARE(list->count(), 200);
    QCOMPARE(list->item(4)->text(), QStringLiteral("005 进线柜A相"));
    QCOMPARE(list->item(4)->checkState(), Qt::Checked); // what the device box holds
    list->item(4)->setCheckState(Qt::Unchecked);
    for (int row : {5, 6, 7})
        list->item(row)->setCheckState(Qt::Checked);
    QVERIFY(shown([&]() { window->findChild<QDialog *>("trend_picker")->accept(); }));
    QCOMPARE(window->deviceText(), QStringLiteral("6-8"));
    QCOMPARE(window->data().series.size(), 3);

    // A new start opens with the last choice: those devices over the same custom range.
    delete controller;
    controller = new TrendController(dir->path(), nullptr);
    QVERIFY(shown([this]() { controller->open(); }));
    QCOMPARE(controller->window()->deviceText(), QStringLiteral("6-8"));
    QCOMPARE(controller->window()->preset(), int(TrendWindow::kCustom));
    QCOMPARE(stampOf(controller->window()->data().fromMs), QStringLiteral("2024-05-01 07:30:00"));
}

void TrendTest::csvHoldsWhatIsPlotted()
{
    QVERIFY(shown([&]() { show("5,6", TrendWindow::kCustom); }));
    TrendWindow *window = controller->window();
    window->findChild<QCheckBox *>("trend_current")->setChecked(true);
    const QString path = QDir(dir->path()).filePath("trend.csv");
    QSignalSpy exported(window, &TrendWindow::csvExported);
    QVERIFY(window->exportCsv(path));
    QVERIFY(exported.wait(5000));
    QCOMPARE(exported.at(0).at(1).toString(), QString());
    QCOMPARE(fileBytes(path), QByteArray("\xEF\xBB\xBF"
                                         "时间,005 进线柜A相 温度,005 进线柜A相 电流,006 温度,006 电流\r\n"
                                         "2024-05-01 08:00:00,23.5,1.25,,2\r\n"
                                         "2024-05-01 08:00:40,,,,\r\n"
                                         "2024-05-01 08:01:00,,-5,,\r\n"));

    // A zoomed view exports only what it shows, temperature alone without the current.
    window->findChild<QCheckBox *>("trend_current")->setChecked(false);
    window->chart()->setView(QDateTime(QDate(2024, 5, 1), QTime(8, 0, 30), Qt::UTC).toMSecsSinceEpoch(),
                             QDateTime(QDate(2024, 5, 1), QTime(8, 0, 59), Qt::UTC).toMSecsSinceEpoch());
    QVERIFY(window->exportCsv(path));
    QVERIFY(exported.wait(5000));
    QCOMPARE(fileBytes(path), QByteArray("\xEF\xBB\xBF"
                                         "时间,005 进线柜A相 温度,006 温度\r\n"
                                         "2024-05-01 08:00:40,,\r\n"));
}

void TrendTest::liveRangeFollowsEachMinute()
{
    QVERIFY(shown([&]() { show("5", 0); })); // 最近1小时
    TrendWindow *window = controller->window();
    QCOMPARE(points(window->data().series.value(0)).size(), 3);

    QFile file(QDir(dir->path()).filePath(kFile));
    QVERIFY(file.open(QIODevice::Append));
    file.write("ID:005#温度:30.25#电流:3#状态:在线#时间:2024-05-01 08:02:00#;\r\n");
    file.close();
    controller->setClock([]() { return local(1, "08:02:00"); });
    QVERIFY(shown([&]() { controller->minuteRecorded(local(1, "08:02:00")); }));
    const TrendData data = window->data();
    QCOMPARE(points(data.series.value(0)),
             (QStringList{"2024-05-01 08:00:00 23.5 1.25", "2024-05-01 08:00:40 nan nan",
                          "2024-05-01 08:01:00 nan -5", "2024-05-01 08:02:00 30.25 3"}));
    QCOMPARE(stampOf(data.fromMs), QStringLiteral("2024-05-01 07:02:00"));
    QCOMPARE(stampOf(data.toMs), QStringLiteral("2024-05-01 08:02:00"));

    // An hour later the start has slid past every point but the newest.
    file.open(QIODevice::Append);
    file.write("ID:005#温度:31#电流:3#状态:在线#时间:2024-05-01 09:01:00#;\r\n");
    file.close();
    QVERIFY(shown([&]() { controller->minuteRecorded(local(1, "09:01:00")); }));
    QCOMPARE(points(window->data().series.value(0)),
             (QStringList{"2024-05-01 08:01:00 nan -5", "2024-05-01 08:02:00 30.25 3",
                          "2024-05-01 09:01:00 31 3"}));
}

void TrendTest::longRangeComesFromTheArchive()
{
    QVERIFY(writeArchive(dir->path(),
                         {hour(5, wallSeconds(4, 20, 10), 60, 20, 21.5, 23, 1, 2, 3),
                          hour(5, wallSeconds(4, 20, 11), 0, 0, 0, 0, 1, 1.5, 2),
                          hour(6, wallSeconds(4, 20, 10), 30, -5, -4.25, -3, 0, 0, 0),
                          hour(5, wallSeconds(3, 1, 0), 60, 1, 1, 1, 1, 1, 1),
                          hour(9, wallSeconds(4, 20, 10), 60, 1, 1, 1, 1, 1, 1)}));
    QVERIFY(shown([&]() { show("5,6", 4); })); // 最近30天
    TrendWindow *window = controller->window();
    QVERIFY(window->data().hourly);
    QCOMPARE(points(window->data().series.value(0)),
             (QStringList{"2024-04-20 10:00:00 21.5 [20..23] 2 [1..3]",
                          "2024-04-20 11:00:00 nan [nan..nan] 1.5 [1..2]"}));
    QCOMPARE(points(window->data().series.value(1)),
             (QStringList{"2024-04-20 10:00:00 -4.25 [-5..-3] 0 [0..0]"}));
    QVERIFY(window->statusText().startsWith(QStringLiteral("小时归档 │ 2024-04-01 08:01:30 至 2024-05-01 08:01:30 │ 共 3 个小时值")));

    const QString path = QDir(dir->path()).filePath("hours.csv");
    QSignalSpy exported(window, &TrendWindow::csvExported);
    QVERIFY(window->exportCsv(path));
    QVERIFY(exported.wait(5000));
    QCOMPARE(fileBytes(path),
             QByteArray("\xEF\xBB\xBF时间,005 进线柜A相 温度最小值,005 进线柜A相 温度平均值,"
                        "005 进线柜A相 温度最大值,006 温度最小值,006 温度平均值,006 温度最大值\r\n"
                        "2024-04-20 10:00:00,20,21.5,23,-5,-4.25,-3\r\n"
                        "2024-04-20 11:00:00,,,,,,\r\n"));

    // New hours in the archive reach a range that ends now.
    QVERIFY(writeArchive(dir->path(), {hour(6, wallSeconds(5, 1, 7), 60, 8, 9, 10, 0, 0, 0)}));
    QVERIFY(shown([&]() { controller->archiveUpdated(); }));
    QCOMPARE(points(window->data().series.value(1)).value(1),
             QStringLiteral("2024-05-01 07:00:00 9 [8..10] 0 [0..0]"));
}

void TrendTest::weekTheFilesLostComesFromTheArchive_data()
{
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QStringList>("hours");
    QTest::addColumn<QString>("archivePart");
    QTest::newRow("archive") << true
                             << QStringList{"2024-04-24 09:00:00 21 [20..22] 2 [1..3]",
                                            "2024-04-24 10:00:00 22 [21..23] 2.5 [2..3]",
                                            "2024-04-24 11:00:00 23 [22..24] 3 [3..3]"}
                             << "取自小时归档：共 3 个小时值";
    QTest::newRow("archive unreadable") << false << QStringList() << "小时归档无法读取：";
}

void TrendTest::weekTheFilesLostComesFromTheArchive()
{
    QFETCH(bool, readable);
    QFETCH(QStringList, hours);
    QFETCH(QString, archivePart);
    // Tuesday is being filled, so Wednesday's lines are the oldest: from 24 April 12:00, the
    // first hours of the week are gone from the files, not from the archive.
    const QDir data(dir->path());
    QVERIFY(writeFileBytes(data.filePath("profile.txt"), "1500\r\n"));
    QVERIFY(writeFileBytes(data.filePath("History_Wednesday_value.txt"),
                           "ID:005#温度:24#电流:2#状态:在线#时间:2024-04-24 12:00:00#;\r\n"
                           "ID:005#温度:24.5#电流:2#状态:在线#时间:2024-04-24 12:01:00#;\r\n"));
    // The hour of 08:00 starts before the range; that of 12:00 is in the files.
    if (readable)
        QVERIFY(writeArchive(dir->path(), {hour(5, wallSeconds(4, 24, 8), 60, 1, 1, 1, 1, 1, 1),
                                           hour(5, wallSeconds(4, 24, 9), 60, 20, 21, 22, 1, 2, 3),
                                           hour(5, wallSeconds(4, 24, 10), 60, 21, 22, 23, 2, 2.5, 3),
                                           hour(5, wallSeconds(4, 24, 11), 30, 22, 23, 24, 3, 3, 3),
                                           hour(5, wallSeconds(4, 24, 12), 60, 9, 9, 9, 9, 9, 9)}));
    else
        QVERIFY(QFile::remove(data.filePath("kestro.db")) && data.mkdir("kestro.db"));
    QVERIFY(shown([&]() { show("5", 3); })); // 最近7天
    TrendWindow *window = controller->window();
    const QStringList minutes{"2024-04-24 12:00:00 24 2", "2024-04-24 12:01:00 24.5 2",
                              "2024-05-01 08:00:00 23.5 1.25", "2024-05-01 08:00:40 nan nan",
                              "2024-05-01 08:01:00 nan -5"};
    QCOMPARE(points(window->data().series.value(0)), hours + minutes);
    QVERIFY2(window->statusText().startsWith(
                 "周历史文件 │ 2024-04-24 08:01:30 至 2024-05-01 08:01:30 │ 共 5 个分钟值（005：5） │ "
                 "2024-04-24 08:01:30 至 2024-04-24 12:00:00 的分钟值已不在周历史文件中，"
                 + archivePart),
             qPrintable(window->statusText()));
}

void TrendTest::pictureIsTitled_data()
{
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("title");
    const QString rest = " 趋势 │ 005 进线柜A相 │ 2024-05-01 07:30:00 至 2024-05-01 08:30:00";
    QTest::newRow("the site link's name") << "1号配电站" << "1号配电站" + rest;
    QTest::newRow("none: the computer's") << " " << QSysInfo::machineHostName() + rest;
}

void TrendTest::pictureIsTitled()
{
    QFETCH(QString, station);
    QFETCH(QString, title);
    controller->setStationName([station]() { return station; });
    TrendWindow *window = controller->window();
    const QString path = QDir(dir->path()).filePath("trend.png");
    QString error;
    QVERIFY(window->exportPng(path, &error));
    QCOMPARE(window->pictureTitle(), title);
    QVERIFY(QImage(path).height() > window->chart()->height() + 10);
}

// The station goes while the operator is half-way through a date: the date edit, hidden as
// the window is destroyed, commits its text and signals. Caught by the sanitizer build.
void TrendTest::closedWhileADateIsTypedIn()
{
    QPointer<TrendWindow> window = controller->window();
    window->show();
    auto *from = window->findChild<QDateTimeEdit *>(QStringLiteral("trend_from"));
    from->setFocus();
    QTest::keyClick(from, Qt::Key_End);
    QTest::keyClicks(from, QStringLiteral("\b\b5"));
    delete controller;
    controller = nullptr;
    QVERIFY(window.isNull());
}

KESTRO_TEST_MAIN(TrendTest)
#include "tst_trend.moc"
