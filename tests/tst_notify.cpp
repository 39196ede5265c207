// Notifications: the words of a message, and e-mail handed to a real SMTP server on loopback,
// in the clear and under STARTTLS with a login; what arrived is read back by another mail
// implementation (Python's email package in the server).
#include "testsupport.h"
#include "config/stationsettings.h"
#include "notify/notifier.h"
#include "notify/notifymessage.h"
#include "notify/notifysettings.h"
#include "storage/alarmjournal.h"
#include "notify/smtpmailer.h"
#include "notify/webhookmessage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(NotifyEvent)

class tst_notify : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void settingsAsEditedByHand();
    void webhookBodies();
    void webhookAnswers_data();
    void webhookAnswers();
    void queuedWithTheJournalSentOnceAndFoldedPastTheCap();
    void mailReachesARealServerUnderStartTls();
};

namespace {

// One of the tests' servers (tests/notify/*.py), stopped when this goes.
class Helper
{
public:
    bool start(const char *script, const QStringList &arguments)
    {
        process.start(QStringLiteral("/usr/bin/python3"), QStringList{QString::fromUtf8(script)} + arguments);
        while (process.waitForReadyRead(10000)) {
            const QByteArray said = process.readLine().trimmed();
            if (said.startsWith("ready ")) {
                port = said.mid(6).toInt();
                return true;
            }
        }
        qWarning() << process.readAllStandardError();
        return false;
    }
    ~Helper()
    {
        process.kill();
        process.waitForFinished(3000);
    }
    int port = 0;

private:
    ChildProcess process;
};

NotifyEvent overTemperature()
{
    NotifyEvent event;
    event.station = QStringLiteral("站1");
    event.device = 5;
    event.name = QStringLiteral("1号柜A相触头");
    event.location = QStringLiteral("配电室二楼东侧");
    event.kind = 1;
    event.text = QStringLiteral("5温度异常");
    event.value = 95.0;
    event.limit = 80.0;
    event.time = QDateTime(QDate(2026, 12, 8), QTime(10, 49, 25));
    return event;
}

} // namespace

void tst_notify::line_data()
{
    QTest::addColumn<NotifyEvent>("event");
    QTest::addColumn<QString>("expected");
    const NotifyEvent temperature = overTemperature();
    QTest::newRow("over temperature")
        << temperature << QStringLiteral("[站1] 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ 2026-12-08 10:49:25");
    NotifyEvent current = temperature;
    current.kind = 3;
    current.text = QStringLiteral("5电流超限");
    current.name.clear();
    current.value = 62.5;
    current.limit = 50;
    current.state = QStringLiteral("未确认，已 30 分钟");
    QTest::newRow("over current, no name, unacknowledged")
        << current << QStringLiteral("[站1] 5电流超限 配电室二楼东侧 62.50A/50.00A 2026-12-08 10:49:25 未确认，已 30 分钟");
    NotifyEvent link;
    link.station = QStringLiteral("站1");
    link.kind = 4;
    link.text = QStringLiteral("集中器通讯中断");
    link.time = temperature.time;
    QTest::newRow("link") << link << QStringLiteral("[站1] 集中器通讯中断 2026-12-08 10:49:25");
}

void tst_notify::line()
{
    QFETCH(NotifyEvent, event);
    QFETCH(QString, expected);
    QCOMPARE(NotifyMessage::line(event), expected);
}

// Keys as the issue names them, written as a site's engineer would edit the file.
void tst_notify::settingsAsEditedByHand()
{
    {
        const auto store = StationSettings::open();
        store->setValue("notify/enabled", true);
        store->setValue("notify/min_level", "warning");
        store->setValue("notify/smtp_host", " mail.site.example ");
        store->setValue("notify/smtp_security", "tls");
        store->setValue("notify/mail_to", "duty@site.example; boss@site.example;");
        store->setValue("notify/hourly_cap", -3);
        QVERIFY(StationSettings::save(*store));
    }
    const NotifySettings read = NotifySettings::load();
    QVERIFY(read.mailOn() && !read.webhookOn());
    QCOMPARE(read.minLevel, 0);
    QCOMPARE(read.smtpHost, QStringLiteral("mail.site.example"));
    QCOMPARE(read.smtpPort, 465);
    QCOMPARE(read.mailTo, QStringList({"duty@site.example", "boss@site.example"}));
    QCOMPARE(read.hourlyCap, 20);
}

void tst_notify::webhookBodies()
{
    const NotifyEvent event = overTemperature();
    const QString line = QStringLiteral("[站1] 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ 2026-12-08 10:49:25");
    QCOMPARE(QString::fromUtf8(WebhookMessage::body(WebhookMessage::Format::WeCom, event, {}, {})),
             R"({"msgtype":"text","text":{"content":")" + line + R"("}})");
    QCOMPARE(QString::fromUtf8(WebhookMessage::body(WebhookMessage::Format::Telegram, event, {}, "-1001234")),
             R"({"chat_id":"-1001234","text":")" + line + R"("})");
    QCOMPARE(QString::fromUtf8(WebhookMessage::body(WebhookMessage::Format::Generic, event,
                                                    R"({"id":"站1:7","device":5})", {})),
             QStringLiteral(R"({"id":"站1:7","device":5,"location":"配电室二楼东侧","name":"1号柜A相触头","station":"站1"})"));
    // The signature as the service's own documentation computes it (here by Python's hmac).
    const QUrl robot(QStringLiteral("https://oapi.dingtalk.com/robot/send?access_token=abc"));
    QCOMPARE(WebhookMessage::signedUrl(robot, "SECxyz", 1765162165005).toString(QUrl::FullyEncoded),
             QStringLiteral("https://oapi.dingtalk.com/robot/send?access_token=abc&timestamp=1765162165005"
                            "&sign=lAeYmDuAKyqBgDvsbcTXbQvvpHJurK%2F%2BRFPJXkFZGZI%3D"));
    QCOMPARE(WebhookMessage::signedUrl(robot, {}, 1765162165005), robot);
}

void tst_notify::webhookAnswers_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("generic 204") << "generic" << 204 << QByteArray() << true;
    QTest::newRow("wecom ok") << "wecom" << 200 << QByteArray(R"({"errcode":0,"errmsg":"ok"})") << true;
    QTest::newRow("wecom refused") << "wecom" << 200 << QByteArray(R"({"errcode":93000,"errmsg":"invalid webhook url"})") << false;
    QTest::newRow("dingtalk not json") << "dingtalk" << 200 << QByteArray("<html>") << false;
    QTest::newRow("telegram ok") << "telegram" << 200 << QByteArray(R"({"ok":true,"result":{}})") << true;
    QTest::newRow("telegram refused") << "telegram" << 200 << QByteArray(R"({"ok":false})") << false;
}

void tst_notify::webhookAnswers()
{
    QFETCH(QString, format);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QCOMPARE(WebhookMessage::accepted(WebhookMessage::formatFromText(format), status, reply), accepted);
}

// Three alarms with a warning below the level asked and the operator's silence, in one tick:
// two of each channel go out (the webhook's first try refused, then taken), the third waits
// for its hour's summary, and each delivery is journalled.
void tst_notify::queuedWithTheJournalSentOnceAndFoldedPastTheCap()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("mail") && QDir(dir.path()).mkpath("hook"));
    Helper smtp, hook;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.filePath("mail")}));
    QVERIFY(hook.start(KESTRO_WEBHOOK_PATH, {dir.filePath("hook"), "500", "200"}));
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    Notifier notifier(&journal);
    notifier.setFirstRetryPause(300);
    NotifySettings settings;
    settings.enabled = true;
    settings.hourlyCap = 2;
    settings.smtpHost = "127.0.0.1";
    settings.smtpPort = smtp.port;
    settings.smtpSecurity = "none";
    settings.mailTo = QStringList{"duty@site.example"};
    settings.webhookUrl = QString("http://127.0.0.1:%1/hook").arg(hook.port);
    notifier.configure(settings, {}, {}, "站1", [](int device) {
        return device == 5 ? qMakePair(QStringLiteral("1号柜A相触头"), QStringLiteral("配电室二楼东侧"))
                           : QPair<QString, QString>();
    });
    auto event = [](int device, const char *text, int level) {
        JournalEvent entry{device, 1, "alarm", "", QDateTime::currentMSecsSinceEpoch(), 95.0, 80.0, text, 0};
        entry.level = level;
        return entry;
    };
    QVERIFY(journal.append({event(5, "5温度异常", 1), event(6, "6温度异常", 1), event(8, "8温度预警", 0),
                            event(7, "7温度异常", 1), {0, 0, "silence", "", 0, qQNaN(), qQNaN(), "消音", 0}}));
    const QString sent = "SELECT event || ' ' || text FROM alarm_journal WHERE event IN ('mailed', 'posted') ORDER BY event, id";
    const QStringList delivered{"mailed 邮件已发送：5温度异常", "mailed 邮件已发送：6温度异常",
                                "posted 推送已发送：5温度异常", "posted 推送已发送：6温度异常"};
    QTRY_COMPARE_WITH_TIMEOUT(databaseRows(dir.path(), sent), delivered, 10000);
    QVERIFY(fileBytes(dir.filePath("mail/1.txt")).contains("[站1] 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ "));
    QVERIFY(fileBytes(dir.filePath("hook/1.txt")).contains(R"("text":"5温度异常")"));
    QCOMPARE(fileBytes(dir.filePath("hook/2.txt")), fileBytes(dir.filePath("hook/1.txt")));
    QCOMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox WHERE held_hour IS NOT NULL"), QStringList("2"));

    // The hour ends (moved back a little), and the next write of the journal finds it over.
    databaseRows(dir.path(), "UPDATE notify_outbox SET held_hour = held_hour - 3600000");
    QVERIFY(journal.append({{0, 0, "silence", "", 0, qQNaN(), qQNaN(), "消音", 0}}));
    QTRY_COMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    QVERIFY(fileBytes(dir.filePath("mail/3.txt")).contains("另有 1 条报警：7温度异常 "));
    QCOMPARE(databaseRows(dir.path(), sent).size(), 6);

    // Nobody acknowledged device 6's alarm for the escalation time: sent again once, so marked.
    settings.hourlyCap = 20;
    settings.escalateMinutes = 30;
    settings.escalateTo = QStringList{"chief@site.example"};
    notifier.configure(settings, {}, {}, "站1", {});
    const QDateTime raised = QDateTime::fromMSecsSinceEpoch(
        databaseRows(dir.path(), "SELECT epoch_ms FROM alarm_journal WHERE text = '6温度异常'").value(0).toLongLong());
    const QVector<ActiveAlarm> standing{{6, 1, "6温度异常", "未确认", raised, 1, {}}};
    for (int minute : {29, 31, 32})
        notifier.escalate(standing, raised.addSecs(60 * minute));
    QTRY_VERIFY(QFile::exists(dir.filePath("mail/4.txt")));
    QTRY_COMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    const QByteArray escalation = fileBytes(dir.filePath("mail/4.txt"));
    QVERIFY2(escalation.startsWith("kestro@localhost\nchief@site.example\n[站1] 6温度异常\n")
                 && escalation.contains(" 未确认，已 31 分钟\n"), escalation.constData());
    QVERIFY(!QFile::exists(dir.filePath("mail/5.txt")));
}

// In the clear the notifier's own test sends; here STARTTLS with a certificate made for the test
// and a login.
void tst_notify::mailReachesARealServerUnderStartTls()
{
    QTemporaryDir dir;
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                   "-days", "1", "-keyout", "server.key", "-out", "server.crt", "-subj", "/CN=mail",
                   "-addext", "subjectAltName=IP:127.0.0.1"});
    QVERIFY(openssl.waitForFinished(20000) && openssl.exitCode() == 0);
    const QStringList options{"--tls", dir.filePath("server.crt"), dir.filePath("server.key"), "--login",
                              "duty", "s3cret"};
    SmtpMailer::Server server{"127.0.0.1", 0, SmtpMailer::Security::StartTls, "duty", "s3cret",
                              dir.filePath("server.crt")};
    Helper smtp;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, QStringList{dir.path()} + options));
    server.port = smtp.port;

    // A subject far longer than one encoded word, to be split between characters.
    NotifyEvent event = overTemperature();
    event.text += QString(40, QChar(0x6E29));
    const QStringList to{"duty@site.example", "boss@site.example"};
    const QByteArray message = NotifyMessage::mail(event, QStringLiteral("kestro@site.example"), to,
                                                   QDateTime(QDate(2026, 12, 8), QTime(10, 49, 26), Qt::OffsetFromUTC, 8 * 3600),
                                                   QStringLiteral("kestro-1042@site.example"));
    for (const QByteArray &header : message.split('\n'))
        QVERIFY2(header.size() <= 77, header.constData()); // 76 and its CR
    const SmtpMailer::Result sent = SmtpMailer::send(server, QStringLiteral("kestro@site.example"), to, message);
    QVERIFY2(sent.accepted, qPrintable(sent.error));
    QCOMPARE(sent.reply, 250L);
    const QString text = "5温度异常" + QString(40, QChar(0x6E29));
    QCOMPARE(QString::fromUtf8(fileBytes(dir.filePath("1.txt"))),
             "kestro@site.example\nduty@site.example,boss@site.example\n[站1] " + text + "\n[站1] " + text
                 + " 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ 2026-12-08 10:49:25\n");

    // A wrong password, and a server that is gone: said at once, not taken for sent.
    server.password = QStringLiteral("guess");
    const SmtpMailer::Result refused = SmtpMailer::send(server, QStringLiteral("kestro@site.example"), to, message);
    QVERIFY(!refused.accepted && !refused.error.isEmpty());
    QCOMPARE(refused.reply, 535L);
    server.port = 1; // nothing listens there
    QElapsedTimer clock;
    clock.start();
    const SmtpMailer::Result gone = SmtpMailer::send(server, QStringLiteral("kestro@site.example"), to, message);
    QVERIFY(!gone.accepted && !gone.error.isEmpty());
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!QFile::exists(dir.filePath("2.txt")));
}

KESTRO_TEST_MAIN(tst_notify)

#include "tst_notify.moc"
