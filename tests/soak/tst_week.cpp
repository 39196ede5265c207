#include "app/mainwindow.h"
#include "forms/panelcolumn.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "storage/archiveupdater.h"
#include "testsupport.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>

namespace {

const char *const kFiles[7] = {
    "History_Monday_value.txt",   "History_Tuesday_value.txt", "History_Wednesday_value.txt",
    "History_Thursday_value.txt", "History_Friday_value.txt",  "History_Saturday_value.txt",
    "History_Sunday_value.txt",
};

// Minute 0 of the run; in the past, so the station's own clock ticks never land in the window.
const QDateTime kStart(QDate(2025, 3, 2), QTime(23, 50), Qt::UTC);
const int kOldLines = 3;

QString stampOf(const QDateTime &at)
{
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// The slot scheme written out on its own: seven files of 1440 slots, a file emptied when
// the count reaches its first slot, the slot-filling tick writing its minute twice.
// Lines are minute numbers; negative numbers stand for a previous cycle's lines.
struct SlotModel
{
    int count = 0;
    QVector<QVector<int>> files = QVector<QVector<int>>(7);

    void tick(int minute)
    {
        if (count == 10080) {
            files[0].clear();
            count = 0;
        }
        files[count / 1440].append(minute);
        ++count;
        if (count % 1440 == 0 && count < 10080) {
            files[count / 1440].clear();
            files[count / 1440].append(minute);
            ++count;
        }
    }
};

// The device typed into a panel in a minute, and its temperature: a record only that
// minute's line can carry.
int typedDevice(int minute) { return 1 + minute % 200; }
int typedTemperature(int minute) { return 10 + minute % 50; }

QString oldStamp(int day, int k)
{
    return QStringLiteral("2020-01-0%1 00:0%2:00").arg(day + 1).arg(k);
}

QString oldLine(int day, int k)
{
    return QStringLiteral("ID:001#温度:1#电流:0#状态:在线#时间:%1#;").arg(oldStamp(day, k));
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Open descriptors, those on the station database (kestro.db and its -wal and -shm) apart:
// SQLite keeps a closed connection's descriptor for reuse while another connection of the
// process holds the file, so their number depends on whether an archive pass has run since
// the last restart. They are bounded separately.
struct Descriptors
{
    int other = 0;
    int database = 0;
};

Descriptors openDescriptors()
{
    Descriptors open;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().contains(QLatin1String("/kestro.db")))
            ++open.database;
        else
            ++open.other;
    }
    return open;
}

// An archive pass reads the history files, and every pool thread holds its event
// dispatcher's descriptor until it expires: descriptors are counted with no pass running
// and no pool thread left.
void settleThreads(MainWindow *window)
{
    QTRY_VERIFY_WITH_TIMEOUT(!window->archiveUpdaterOf()->isBusy(), 60000);
    QThreadPool::globalInstance()->waitForDone();
}

bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

class WeekTest : public QObject
{
    Q_OBJECT

public:
    WeekTest()
    {
        // The whole week is one test function; QtTest's five minutes would cut it short.
        if (qEnvironmentVariableIntValue("KESTRO_SOAK") == 1 &&
            !qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
            qputenv("QTEST_FUNCTION_TIMEOUT", "7200000");
    }

private slots:
    void aWeekOfMinutesKeepsTheSlotSchemeTheCurveAndTheResources();

private:
    MainWindow *startStation();
    void stopStation();
    void checkFile(int day, const QVector<int> &expected);

    // In memory when it can be: the counter file is synced on every write, and a week of
    // syncs would measure the disk, not the station.
    QTemporaryDir dataDir{QDir(QStringLiteral("/dev/shm")).exists()
                              ? QStringLiteral("/dev/shm/tst_week-XXXXXX")
                              : QDir::tempPath() + QStringLiteral("/tst_week-XXXXXX")};
    MainWindow *window = nullptr;
    LinkCounters polled;
};

MainWindow *WeekTest::startStation()
{
    window = new MainWindow(nullptr, dataDir.path());
    window->setPollStepInterval(300);
    // The minute writes come from the simulated clock alone; a real minute tick would add
    // a line the model does not know of.
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(window);
    for (const auto &timer : timers) {
        if (timer.interval == 60000)
            window->killTimer(timer.timerId);
    }
    return window;
}

void WeekTest::stopStation()
{
    const LinkCounters seen = window->link()->counters();
    polled.validAnswers += seen.validAnswers;
    polled.noAnswer += seen.noAnswer;
    polled.badCrc += seen.badCrc;
    delete window;
    window = nullptr;
}

void WeekTest::checkFile(int day, const QVector<int> &expected)
{
    QFile file(dataDir.filePath(QLatin1String(kFiles[day])));
    if (expected.isEmpty()) {
        QVERIFY2(!file.exists() || file.size() == 0, kFiles[day]);
        return;
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), kFiles[day]);
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.endsWith(QStringLiteral("\r\n")), kFiles[day]);
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    static const QRegularExpression stampPattern(
        QStringLiteral("#时间:(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)#;"));

    QStringList expectedStamps, foundStamps;
    for (int minute : expected) {
        expectedStamps << (minute < 0 ? oldStamp(day, -minute - 1)
                                      : stampOf(kStart.addSecs(60LL * minute)));
    }
    for (const QString &line : lines)
        foundStamps << stampPattern.match(line).captured(1);
    const QByteArray name(kFiles[day]);
    QCOMPARE(QByteArray(name + " lines " + QByteArray::number(foundStamps.size())),
             QByteArray(name + " lines " + QByteArray::number(expectedStamps.size())));
    QCOMPARE(foundStamps.first(), expectedStamps.first());
    QCOMPARE(foundStamps.last(), expectedStamps.last());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(foundStamps.at(i), expectedStamps.at(i));
        const int minute = expected.at(i);
        if (minute >= 0) {
            const QString typed = QStringLiteral("ID:%1#温度:%2#")
                                      .arg(typedDevice(minute), 3, 10, QLatin1Char('0'))
                                      .arg(typedTemperature(minute));
            QVERIFY2(lines.at(i).contains(typed), qPrintable(name + " line " + QByteArray::number(i)));
        }
    }
}

void WeekTest::aWeekOfMinutesKeepsTheSlotSchemeTheCurveAndTheResources()
{
    const bool full = qEnvironmentVariableIntValue("KESTRO_SOAK") == 1;
    // Quick: from just before the wrap through the first day boundary of the next cycle.
    const int startCount = full ? 0 : 10070;
    const int minutes = full ? 10080 + 300 : 1500;
    // Every simulated second is drawn for this many minutes, one point a minute after.
    const int curveMinutes = full ? 10080 : underAddressSanitizer() ? 30 : 300;
    const int warmUpMinutes = 60;

    QVERIFY(dataDir.isValid());
    LinkMemory::forget();
    SlotModel model;
    model.count = startCount;
    for (int day = 0; day < 7; ++day) {
        QByteArray old;
        for (int k = 0; k < kOldLines; ++k) {
            old += oldLine(day, k).toUtf8() + "\r\n";
            model.files[day].append(-k - 1);
        }
        QVERIFY(writeFileBytes(dataDir.filePath(QLatin1String(kFiles[day])), old));
    }
    QVERIFY(writeFileBytes(dataDir.filePath(QStringLiteral("profile.txt")),
                           QByteArray::number(startCount) + "\r\n"));

    PtyPair pty;
    Simulator simulator;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    QVERIFY2(simulator.start(pty.concentratorEnd(), {QStringLiteral("--static")}, &error),
             qPrintable(error));
    startStation();
    QVERIFY(openPortAsOperator(window, pty.stationEnd()));

    QElapsedTimer wall;
    wall.start();
    qint64 rssStart = 0;
    Descriptors fdStart;
    int restarts = 0;
    qint64 curvePoints = 0;
    for (int minute = 0; minute < minutes; ++minute) {
        if (minute == warmUpMinutes) {
            rssStart = residentKb();
            settleThreads(window);
            fdStart = openDescriptors();
        }
        typeIntoPanel(window, PanelPrefix::Temperature, typedDevice(minute),
                      QString::number(typedTemperature(minute)));
        window->evaluateNow();
        const QDateTime at = kStart.addSecs(60LL * minute);
        window->recordHistoryAt(at);
        model.tick(minute);
        QCOMPARE(window->historyLineCount(), model.count);
        if (minute < curveMinutes) {
            for (int second = 0; second < 60; ++second)
                window->drawCurveAt(at.addSecs(second));
            curvePoints += 60;
        } else {
            window->drawCurveAt(at);
            ++curvePoints;
        }
        // The boundaries where a restart must pick up exactly where the counter file says.
        if (model.count == 1439 || model.count == 10079 || model.count == 10080) {
            stopStation();
            startStation();
            ++restarts;
            QVERIFY(window->port()->isOpen());
        }
        QCoreApplication::processEvents();
    }
    const qint64 rssEnd = residentKb();
    settleThreads(window);
    const Descriptors fdEnd = openDescriptors();
    const qint64 elapsed = wall.elapsed();

    // Only what the last drawn second's window holds.
    QtCharts::QSplineSeries *series = window->temperatureCurve().series();
    const QtCharts::QDateTimeAxis *axis = window->temperatureCurve().axisX();
    const double low = static_cast<double>(axis->min().toMSecsSinceEpoch());
    const double high = static_cast<double>(axis->max().toMSecsSinceEpoch());
    QVERIFY(series->count() >= 1);
    QVERIFY2(series->count() <= 11, qPrintable(QString::number(series->count())));
    for (const QPointF &point : series->pointsVector())
        QVERIFY(point.x() >= low && point.x() <= high);
    stopStation();

    for (int day = 0; day < 7; ++day) {
        checkFile(day, model.files[day]);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(QString::fromLatin1(fileBytes(dataDir.filePath(QStringLiteral("profile.txt")))).trimmed(),
             QString::number(model.count));
    // Polling ran alongside, so the week was not spent on a quiet line.
    QVERIFY2(polled.validAnswers > 0, "the simulator was never polled successfully");

    qInfo("week: %.2f simulated days (%d minutes, %lld curve seconds, %d restarts) in %.1f s; "
          "RSS %lld kB -> %lld kB after warm-up; descriptors %d -> %d (database %d -> %d); "
          "polled %d valid, %d silent",
          minutes / 1440.0, minutes, curvePoints, restarts, elapsed / 1000.0, rssStart, rssEnd,
          fdStart.other, fdEnd.other, fdStart.database, fdEnd.database, polled.validAnswers,
          polled.noAnswer);
    QCOMPARE(fdEnd.other, fdStart.other);
    // The journal's connection and, while a pass runs or after one, the archive's: three each.
    QVERIFY2(fdEnd.database <= 6, qPrintable(QString::number(fdEnd.database)));
    if (!underAddressSanitizer())
        QVERIFY2(rssEnd - rssStart < 5 * 1024, "resident memory grew by 5 MB or more");
}

KESTRO_TEST_MAIN(WeekTest)
#include "tst_week.moc"
