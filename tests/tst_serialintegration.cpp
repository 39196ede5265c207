#include "app/mainwindow.h"
#include "config/stationsettings.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "forms/serialportform.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kStepMs = 250;
constexpr int kLateStepMs = 600; // a late answer and the right one 100 ms behind fit in one
constexpr int kCycleMs = 8 * kStepMs + 1000;
// Six pieces 30 ms apart, with room for a loaded machine, inside one window.
constexpr int kPiecesStepMs = 400;

// What the simulator's --static mode reports for an online device.
struct Expected
{
    QString voltage, temperature, current, status;
};

Expected staticReading(int device)
{
    return {QString::number(3000 + device), QString::number((200 + device) * 0.1, 'g', 6),
            QString::number((100 + device) * 0.01, 'g', 6), QStringLiteral("在线")};
}

// A device the concentrator reports offline.
const Expected kOffline{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                        QStringLiteral("离线")};
// A field no valid answer ever filled keeps its empty start.
const QString kNeverHeard;

} // namespace

class SerialIntegrationTest : public QObject, private StationRig
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void panelsShowTheConcentratorsReadings();
    void lostOrCorruptedAnswersShowNoReading_data() { paceRows(); }
    void lostOrCorruptedAnswersShowNoReading();
    void lateAnswerNeverLandsInAnotherColumn_data() { paceRows(); }
    void lateAnswerNeverLandsInAnotherColumn();
    void fastPollingJudgesEachAnswerAtOnce();
    void answersDeliveredInPiecesAreAssembled();
    void closingThePortClearsTheRegistersAtOnce();
    void pollingGoesOnWhileADialogIsOpen();

private:
    static void paceRows()
    {
        QTest::addColumn<bool>("fast"); // init() puts the row's pace in the settings by its name
        QTest::newRow("standard pace") << false;
        QTest::newRow("fast pace") << true;
    }
    // Empty when every listed device shows what is expected, else the first difference.
    QString mismatch(const QMap<int, Expected> &expected) const;
};

void SerialIntegrationTest::init()
{
    const auto settings = StationSettings::open();
    settings->remove(QStringLiteral("link/fast_polling")); // whatever the last case chose
    if (qstrcmp(QTest::currentDataTag(), "fast pace") == 0)
        settings->setValue(QStringLiteral("link/fast_polling"), true);
    QVERIFY(StationSettings::save(*settings));
    setUpRig();
}

void SerialIntegrationTest::cleanup()
{
    tearDownRig();
}

QString SerialIntegrationTest::mismatch(const QMap<int, Expected> &expected) const
{
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const int device = it.key();
        const QList<QPair<const char *, QString>> fields = {
            {PanelPrefix::Voltage, it->voltage},
            {PanelPrefix::Temperature, it->temperature},
            {PanelPrefix::Current, it->current},
            {PanelPrefix::Status, it->status}};
        for (const auto &field : fields) {
            const QString shown = panelField(window, field.first, device)->text();
            if (shown != field.second)
                return QStringLiteral("%1%2 shows '%3', expected '%4'")
                    .arg(QLatin1String(field.first))
                    .arg(device)
                    .arg(shown, field.second);
        }
    }
    return QString();
}

void SerialIntegrationTest::panelsShowTheConcentratorsReadings()
{
    QVERIFY(startStation({QStringLiteral("--static"), QStringLiteral("--offline"),
                          QStringLiteral("7,150")}, kStepMs));
    QMap<int, Expected> expected;
    for (int device : {1, 2, 100, 101, 199, 200})
        expected[device] = staticReading(device);
    expected[7] = kOffline;
    expected[150] = kOffline;
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)),
                              3 * kCycleMs);
    // And it stays so over a further full cycle.
    QTest::qWait(kCycleMs);
    QVERIFY2(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)));
}

void SerialIntegrationTest::lostOrCorruptedAnswersShowNoReading()
{
    // Temperatures of 1..100 are never answered, currents of 101..200 arrive damaged.
    QVERIFY(startStation({QStringLiteral("--static"), QStringLiteral("--fault"),
                          QStringLiteral("drop:30401"), QStringLiteral("--fault"),
                          QStringLiteral("bad-crc:30701")}, kStepMs));
    QMap<int, Expected> expected;
    for (int device : {1, 50, 100, 101, 150, 200}) {
        Expected e = staticReading(device);
        if (device <= 100)
            e.temperature = kNeverHeard;
        else
            e.current = kNeverHeard;
        expected[device] = e;
    }
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)),
                              3 * kCycleMs);
    QTest::qWait(kCycleMs);
    QVERIFY2(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)));
}

void SerialIntegrationTest::lateAnswerNeverLandsInAnotherColumn()
{
    // Answers 100 ms after each request, the voltage block of 1..100's 850 ms after: past its
    // window and first in the next, the temperature answer 100 ms behind. Two answers in one
    // window: neither is taken, unless the window is closed on the first one.
    QVERIFY(startStation(QStringLiteral("--static --turnaround-ms 100 --fault late:30201 "
                                        "--late-ms 750").split(' '), kLateStepMs));
    QMap<int, Expected> settled;
    for (int device : {101, 200})
        settled[device] = staticReading(device);
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(settled).isEmpty(), qPrintable(mismatch(settled)),
                              3 * (8 * kLateStepMs + 1000));
    for (int round = 0; round < 4; ++round) {
        for (int device : {1, 100}) {
            QCOMPARE(panelField(window, PanelPrefix::Voltage, device)->text(), kNeverHeard);
            const QString temperature = panelField(window, PanelPrefix::Temperature, device)->text();
            QVERIFY2(temperature == kNeverHeard ||
                         temperature == staticReading(device).temperature,
                     qPrintable(temperature));
        }
        QTest::qWait(kLateStepMs);
    }
}

void SerialIntegrationTest::fastPollingJudgesEachAnswerAtOnce()
{
    // Device 5 at 85 ℃, over the 80 ℃ limit. Polled at another address first: the first window
    // a concentrator answers is held open its whole length, in case an earlier answer trails in.
    QString error;
    QVERIFY2(pty->start(&error), qPrintable(error));
    QVERIFY2(simulator->start(pty->concentratorEnd(),
                              QStringLiteral("--static --register 30405=850").split(' '), &error),
             qPrintable(error));
    window = newWindow(kStepMs);
    window->form()->concentrator_id->setText(QStringLiteral("2"));
    QComboBox *pace = window->serialPortSettings()->form()->poll_pace_box;
    QCOMPARE(pace->currentText(), QStringLiteral("标准（每帧1秒）"));
    pace->setCurrentIndex(pace->findText(QStringLiteral("尽快")));
    QCOMPARE(StationSettings::open()->value(QStringLiteral("link/fast_polling")).toBool(), true);
    QVERIFY(openPortAsOperator(window, pty->stationEnd()));

    // Whether device 5 was judged before anything else ran after its reading was shown.
    QLineEdit *temperature5 = panelField(window, PanelPrefix::Temperature, 5);
    QObject watch;
    int judged = -1;
    connect(temperature5, &QLineEdit::textChanged, &watch, [&](const QString &text) {
        if (text == QStringLiteral("85") && judged < 0)
            QTimer::singleShot(0, &watch,
                               [&]() { judged = window->alarms().temperatureAlarmActive[4]; });
    });
    QTest::qWait(2 * kStepMs);
    QCOMPARE(temperature5->text(), kNeverHeard);
    window->form()->concentrator_id->setText(QStringLiteral("01"));
    QTRY_VERIFY_WITH_TIMEOUT(judged > 0, 3 * kCycleMs); // taken once, so a 0 fails

    pace->setCurrentIndex(pace->findText(QStringLiteral("标准（每帧1秒）")));
    QCOMPARE(StationSettings::open()->value(QStringLiteral("link/fast_polling")).toBool(), false);
}

void SerialIntegrationTest::answersDeliveredInPiecesAreAssembled()
{
    QVERIFY(startStation({QStringLiteral("--static"), QStringLiteral("--fault"),
                          QStringLiteral("chunks"), QStringLiteral("--chunk-size"),
                          QStringLiteral("40"), QStringLiteral("--chunk-gap-ms"),
                          QStringLiteral("30")}, kPiecesStepMs));
    QMap<int, Expected> expected;
    for (int device : {1, 100, 101, 200})
        expected[device] = staticReading(device);
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)),
                              3 * (8 * kPiecesStepMs + 1000));
}

void SerialIntegrationTest::closingThePortClearsTheRegistersAtOnce()
{
    QVERIFY(startStation({QStringLiteral("--static")}, kStepMs));
    const auto anyRegisterSet = [this]() {
        for (int value : window->registers())
            if (value != 0)
                return true;
        return false;
    };
    QMap<int, Expected> heard{{1, staticReading(1)}, {200, staticReading(200)}};
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(heard).isEmpty(), qPrintable(mismatch(heard)), 3 * kCycleMs);
    QTRY_VERIFY_WITH_TIMEOUT(anyRegisterSet(), kCycleMs);
    window->serialPortSettings()->form()->OpenSerialButton->click();
    QVERIFY(!window->port()->isOpen());
    QVERIFY(!anyRegisterSet());
    // With the port closed the last readings stay, and the devices are soon told unheard.
    Expected stale1 = staticReading(1), stale200 = staticReading(200);
    stale1.status = stale200.status = QStringLiteral("无应答");
    QMap<int, Expected> expected{{1, stale1}, {200, stale200}};
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)),
                              2 * kCycleMs);
}

void SerialIntegrationTest::pollingGoesOnWhileADialogIsOpen()
{
    QVERIFY(startStation({QStringLiteral("--static")}, kStepMs));
    QMap<int, Expected> expected{{1, staticReading(1)}, {200, staticReading(200)}};
    QTRY_VERIFY2_WITH_TIMEOUT(mismatch(expected).isEmpty(), qPrintable(mismatch(expected)),
                              3 * kCycleMs);

    // Typed-over panels must be rewritten by polling while the operator has a dialog open.
    QLineEdit *voltage1 = panelField(window, PanelPrefix::Voltage, 1);
    QLineEdit *status200 = panelField(window, PanelPrefix::Status, 200);
    voltage1->setText(QStringLiteral("typed"));
    status200->setText(QStringLiteral("typed"));
    bool refreshedWhileOpen = false;
    QTimer watch;
    watch.setInterval(50);
    QElapsedTimer openFor;
    connect(&watch, &QTimer::timeout, [&]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (!openFor.isValid())
            openFor.start();
        refreshedWhileOpen = voltage1->text() == staticReading(1).voltage &&
                             status200->text() == staticReading(200).status;
        if (refreshedWhileOpen || openFor.elapsed() > 2 * kCycleMs)
            static_cast<QDialog *>(modal)->reject();
    });
    watch.start();
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("Device_selection")),
                      Qt::LeftButton);
    watch.stop();
    QVERIFY(openFor.isValid());
    QVERIFY(refreshedWhileOpen);
}

KESTRO_TEST_MAIN(SerialIntegrationTest)
#include "tst_serialintegration.moc"
