// The site link against a real broker: what a consumer receives, and that no alarm event is
// lost while the broker is down or when the station is killed.

#include "site/sitelink.h"
#include "storage/alarmjournal.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <ctime>

namespace {

// The journal ids of the alarm events among the messages, the first of each only, as a
// consumer keeps them: delivery is at least once.
QVector<qint64> firstOfEach(const QStringList &messages)
{
    static const QRegularExpression id("^0 1 kestro/s1/alarm \\{\"id\":\"s1:(\\d+)\"");
    QVector<qint64> first;
    for (const QString &line : messages) {
        const QRegularExpressionMatch match = id.match(line);
        if (match.hasMatch() && !first.contains(match.captured(1).toLongLong()))
            first << match.captured(1).toLongLong();
    }
    return first;
}

SiteSettings settingsFor(int port)
{
    return {true, "127.0.0.1", port, false, {}, {}, "s1"};
}

QVector<qint64> journalIds(const QString &directory)
{
    StationDatabase db(directory);
    QSqlQuery query(db.open() ? db.database() : QSqlDatabase());
    QVector<qint64> ids;
    for (query.exec("SELECT id FROM alarm_journal ORDER BY id"); query.next();)
        ids << query.value(0).toLongLong();
    return ids;
}

QVector<JournalEvent> raisedAndRecovered(int k)
{
    const qint64 epochMs = 1772409600000 + k * 1000LL;
    const QString text = QString::number(k % 200 + 1) + "温度异常";
    return {{k % 200 + 1, 1, "alarm", "", epochMs, 85.0, 80.0, text, epochMs},
            {k % 200 + 1, 1, "recovery", "", epochMs, 79.5, 80.0, text, 0}};
}

} // namespace

class tst_sitelink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void messagesAsDocumented();
    void messagesWhateverTheLocaleDigits();
    void brokerOutageLosesNoEvent();
    void stationKilledWithEventsPending();
};

void tst_sitelink::initTestCase()
{
    // The times below are written at +08:00.
    qputenv("TZ", "CST-8");
#ifdef Q_OS_WIN
    _tzset();
#else
    tzset();
#endif
}

void tst_sitelink::messagesAsDocumented()
{
    QString error;
    Broker broker;
    QVERIFY2(broker.start(&error), qPrintable(error));
    MqttSubscriber live;
    QVERIFY(live.start(broker.port()));
    QTemporaryDir dir;
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    auto link = std::make_unique<SiteLink>(&journal);
    link->setLinkState(LinkState::Answering, "/dev/ttyUSB0", {120, 3, 1, 0, 2});
    // Device 6 has never been heard: nothing is said of it.
    link->setDevices({{5, "进线柜A", "1号配电室", 85.0f, 3005, 0.25f, true, "在线"},
                      {6, "", "", 0.0f, 0, 0.0f, false, "无应答", 0x0F}});
    link->setActiveAlarms(1, 1, {{5, 1, "5温度异常", "未确认",
                                  QDateTime(QDate(2026, 3, 2), QTime(8, 0), Qt::OffsetFromUTC, 8 * 3600)}});
    link->configure(settingsFor(broker.port()), QString());
    QTRY_VERIFY(link->isConnected());
    QCOMPARE(link->statusText(), QString("远程发布：已连接 127.0.0.1"));
    QVERIFY(journal.append({{5, 1, "alarm", "", 1772409600000, 85.0, 80.0, "5温度异常", 1772409600000},
                            {0, 0, "clear", "", 1772409605000, qQNaN(), qQNaN(), "清除数据", 0},
                            {0, 4, "alarm", "", 1772409610000, qQNaN(), qQNaN(), "集中器通讯中断",
                             1772409600000}}));
    QTRY_COMPARE(firstOfEach(live.messages()).size(), 3);
    // Heard no more: its last numbers are not passed off as readings.
    link->setDevices({{5, "进线柜A", "1号配电室", 85.0f, 3005, 0.25f, false, "无应答", 0x0F}});
    QTRY_COMPARE(live.messages().filter("device/005").size(), 2);
    QTRY_COMPARE(link->pendingAlarmEvents(), 0);

    // The times of the moment are masked; those of the events are as journalled.
    QStringList received = live.messages().replaceInStrings(
        QRegularExpression("\"(?!2026-03-02T08:00)\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\+08:00\""), "T");
    received.sort();
    QCOMPARE(received, QStringList({
        R"(0 0 kestro/s1/device/005 {"device":5,"name":"进线柜A","location":"1号配电室","temperature":85.0,"voltage":3005,"current":0.25,"online":true,"status":"在线","time":T})",
        R"(0 0 kestro/s1/device/005 {"device":5,"name":"进线柜A","location":"1号配电室","temperature":null,"voltage":null,"current":null,"online":false,"status":"无应答","time":T})",
        R"(0 1 kestro/s1/alarm {"id":"s1:1","device":5,"kind":"temperature","level":"alarm","event":"raised","text":"5温度异常","group":null,"value":85.0,"limit":80.0,"time":"2026-03-02T08:00:00+08:00"})",
        R"(0 1 kestro/s1/alarm {"id":"s1:2","device":0,"kind":null,"level":null,"event":"cleared","text":"清除数据","group":null,"value":null,"limit":null,"time":"2026-03-02T08:00:05+08:00"})",
        R"(0 1 kestro/s1/alarm {"id":"s1:3","device":0,"kind":"link","level":"alarm","event":"raised","text":"集中器通讯中断","group":null,"value":null,"limit":null,"time":"2026-03-02T08:00:10+08:00"})",
        R"(0 1 kestro/s1/alarms/active {"count":1,"unacknowledged":1,"alarms":[{"device":5,"kind":"temperature","level":"alarm","text":"5温度异常","group":null,"state":"未确认","since":"2026-03-02T08:00:00+08:00"}]})",
        R"(0 1 kestro/s1/link {"state":"polling","port":"/dev/ttyUSB0","valid":120,"noAnswer":3,"badCrc":1,"badFrame":0,"late":2,"time":T})",
        R"(0 1 kestro/s1/status {"online":true,"since":T})",
    }));

    // A consumer that comes later finds the state, not the events.
    MqttSubscriber late;
    QVERIFY(late.start(broker.port()));
    QTRY_COMPARE(late.messages().size(), 4);
    QTest::qWait(200);
    QStringList topics = late.messages().replaceInStrings(QRegularExpression(" \\{.*"), "");
    topics.sort();
    QCOMPARE(topics, QStringList({"1 0 kestro/s1/device/005", "1 1 kestro/s1/alarms/active",
                                  "1 1 kestro/s1/link", "1 1 kestro/s1/status"}));

    link.reset();
    QTRY_VERIFY(live.messages().contains(R"(0 1 kestro/s1/status {"online":false})"));
}

// The times are for machines: ASCII digits under any locale.
void tst_sitelink::messagesWhateverTheLocaleDigits()
{
    const QByteArray failures =
        failuresUnderLocale(QStringLiteral("ar_EG"), QStringLiteral("messagesAsDocumented"));
    QVERIFY2(failures.isEmpty(), failures.constData());
}

void tst_sitelink::brokerOutageLosesNoEvent()
{
    QString error;
    Broker broker;
    QVERIFY2(broker.start(&error), qPrintable(error));
    MqttSubscriber before;
    QVERIFY(before.start(broker.port()));
    QTemporaryDir dir;
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    SiteLink link(&journal);
    link.configure(settingsFor(broker.port()), QString());
    QTRY_VERIFY(link.isConnected());
    int k = 0;
    for (; k < 5; ++k)
        journal.append(raisedAndRecovered(k));
    QTRY_COMPARE(link.pendingAlarmEvents(), 0);

    // Killed with a hundred events just sent, then alarms come and go while it is away.
    for (int burst = 0; burst < 50; ++burst)
        journal.append(raisedAndRecovered(k++));
    broker.kill();
    before.stop();
    QElapsedTimer outage;
    outage.start();
    while (outage.elapsed() < 30000) {
        journal.append(raisedAndRecovered(k++));
        QTest::qWait(1000);
    }
    const QRegularExpressionMatch shown =
        QRegularExpression("^远程发布：未连接(（.+）)?，(\\d+) 条报警待发送$").match(link.statusText());
    QVERIFY2(shown.hasMatch(), qPrintable(link.statusText()));
    QVERIFY(shown.captured(2).toInt() >= 2 * (k - 55) && shown.captured(2).toInt() <= 2 * (k - 5));
    QVERIFY2(broker.restart(&error), qPrintable(error));
    MqttSubscriber after;
    QVERIFY(after.start(broker.port()));
    // The retry in force may have been drawn up to 30 s.
    QTRY_VERIFY_WITH_TIMEOUT(link.pendingAlarmEvents() == 0, 40000);

    const QVector<qint64> journalled = journalIds(dir.path());
    QCOMPARE(journalled.size(), 2 * k);
    QTRY_COMPARE(firstOfEach(before.messages() + after.messages()), journalled);
}

void tst_sitelink::stationKilledWithEventsPending()
{
    QString error;
    Broker broker;
    QVERIFY2(broker.start(&error), qPrintable(error));
    broker.kill();
    QTemporaryDir dir;
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(KESTRO_SITEWRITER_PATH, {dir.path(), QString::number(broker.port())});
    QVERIFY2(writer.waitForStarted(5000), qPrintable(writer.errorString()));
    QThread::msleep(1000);
    writer.kill();
    QVERIFY(writer.waitForFinished(5000));
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    const QVector<qint64> journalled = journalIds(dir.path());
    QVERIFY(journalled.size() >= 20);

    QVERIFY2(broker.restart(&error), qPrintable(error));
    MqttSubscriber subscriber;
    QVERIFY(subscriber.start(broker.port()));
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    SiteLink link(&journal);
    link.configure(settingsFor(broker.port()), QString());
    QTRY_COMPARE(firstOfEach(subscriber.messages()), journalled);
    QTRY_COMPARE(link.pendingAlarmEvents(), 0);
}

KESTRO_TEST_MAIN(tst_sitelink)
#include "tst_sitelink.moc"
