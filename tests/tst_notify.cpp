// Notifications: the words of a message, and messages handed to real SMTP and HTTPS servers on
// loopback; what arrived is read back by other implementations (Python's email and http
// packages in the servers). Last, the built station killed with messages pending.
#include "testsupport.h"
#include "config/stationsettings.h"
#include "notify/notifier.h"
#include "notify/notifydialog.h"
#include "notify/notifymessage.h"
#include "notify/notifysender.h"
#include "notify/notifysettings.h"
#include "site/passwordstore.h"
#include "storage/alarmjournal.h"
#include "notify/smtpmailer.h"
#include "notify/webhookmessage.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

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
    void aReceiverThatNeverAnswersHoldsNothingUp();
    void theDialogTestsWhatIsTypedAndKeepsThePassword();
    void messagesPendingAtAKillGoOutOnceAfterRestart();
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

// A certificate for 127.0.0.1 and its key, server.crt and server.key in dir.
bool makeCertificate(const QString &dir)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                   "-days", "1", "-keyout", "server.key", "-out", "server.crt", "-subj", "/CN=kestro-test",
                   "-addext", "subjectAltName=IP:127.0.0.1"});
    return openssl.waitForFinished(20000) && openssl.exitCode() == 0;
}

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

// The keys written as a site's engineer would edit the file.
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
    // A summary of a flood, cut to what the service takes.
    NotifyEvent summary = event;
    summary.text = "另有 580 条报警：" + QVector<QString>(580, "5温度异常 10:49:25").toList().join("；");
    const QJsonObject wecom = QJsonDocument::fromJson(WebhookMessage::body(WebhookMessage::Format::WeCom, summary, {}, {})).object();
    const QString content = wecom["text"].toObject()["content"].toString();
    QVERIFY(content.toUtf8().size() <= 2048 && content.startsWith("[站1] 另有 580 条报警：5温度异常") && content.endsWith("…"));
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
    QVERIFY(makeCertificate(dir.path()));
    Helper smtp, hook;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.filePath("mail")}));
    QVERIFY(hook.start(KESTRO_WEBHOOK_PATH, {dir.filePath("hook"), "--tls", dir.filePath("server.crt"),
                                             dir.filePath("server.key"), "500", "200"}));
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
    settings.webhookUrl = QString("https://127.0.0.1:%1/hook").arg(hook.port);
    settings.caFile = dir.filePath("server.crt");
    notifier.configure(settings, "站1", [](int device) {
        return device == 5 ? qMakePair(QStringLiteral("1号柜A相触头"), QStringLiteral("配电室二楼东侧"))
                           : QPair<QString, QString>();
    });
    notifier.setSecrets({}, {});
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
    notifier.configure(settings, "站1", {});
    const QDateTime raised = QDateTime::fromMSecsSinceEpoch(
        databaseRows(dir.path(), "SELECT epoch_ms FROM alarm_journal WHERE text = '6温度异常'").value(0).toLongLong());
    const QVector<ActiveAlarm> standing{{6, 1, "6温度异常", "未确认", raised, 1, {}}};
    for (int minute : {29, 31, 32})
        notifier.escalate(standing, raised.addSecs(60 * minute));
    QTRY_VERIFY(QFile::exists(dir.filePath("mail/4.txt")));
    QTRY_COMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    const QByteArray escalation = fileBytes(dir.filePath("mail/4.txt"));
    QVERIFY2(escalation.startsWith("kestro@localhost\nchief@site.example\n[站1] 6温度异常 未确认，已 31 分钟\n")
                 && escalation.contains(" 2026") && escalation.endsWith(" 未确认，已 31 分钟\n"), escalation.constData());
    QVERIFY(fileBytes(dir.filePath("hook/5.txt")).contains(R"("state":"未确认，已 31 分钟")"));
    QVERIFY(!QFile::exists(dir.filePath("mail/5.txt")));
}

// In the clear the notifier's own test sends; here STARTTLS with a certificate made for the test
// and a login.
void tst_notify::mailReachesARealServerUnderStartTls()
{
    QTemporaryDir dir;
    QVERIFY(makeCertificate(dir.path()));
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

// The request times out and waits for its next try, said in the status bar, while the event
// loop goes on beating.
void tst_notify::aReceiverThatNeverAnswersHoldsNothingUp()
{
    QTemporaryDir dir;
    Helper hook;
    QVERIFY(hook.start(KESTRO_WEBHOOK_PATH, {dir.path(), "hang"}));
    StationDatabase database(dir.path());
    AlarmJournal journal(database);
    Notifier notifier(&journal);
    notifier.sender()->setWebhookTimeout(1500);
    NotifySettings settings;
    settings.enabled = true;
    settings.webhookUrl = QString("http://127.0.0.1:%1/hook").arg(hook.port);
    notifier.configure(settings, "站1", {});
    notifier.setSecrets({}, {});
    QSignalSpy problems(&notifier, &Notifier::problemChanged);
    int beats = 0;
    QTimer beat;
    connect(&beat, &QTimer::timeout, [&beats] { ++beats; });
    beat.start(20);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(journal.append({{5, 1, "alarm", "", QDateTime::currentMSecsSinceEpoch(), 95.0, 80.0, "5温度异常", 0}}));
    QTRY_COMPARE_WITH_TIMEOUT(problems.size(), 1, 10000);
    QVERIFY2(problems.first().first().toString().startsWith("推送通知未能发出，稍后重试："),
             qPrintable(problems.first().first().toString()));
    QVERIFY(clock.elapsed() >= 1000); // a coarse timer may end the wait a little early
    QVERIFY2(beats >= clock.elapsed() / 20 / 3, qPrintable(QString::number(beats)));
    QCOMPARE(databaseRows(dir.path(), "SELECT attempts, last_error <> '' FROM notify_outbox"), QStringList("1|1"));
}

// A test message goes out with the settings as typed, unsaved; 应用 saves them and keeps the
// password in its store, not in the settings.
void tst_notify::theDialogTestsWhatIsTypedAndKeepsThePassword()
{
    QTemporaryDir dir;
    Helper smtp;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.path()}));
    QVERIFY(NotifySettings().save());
    NotifyDialog dialog;
    QStringList applied; // the passwords handed on
    connect(&dialog, &NotifyDialog::settingsApplied, [&applied](const NotifySettings &, const QString &password) {
        applied << password;
    });
    auto field = [&dialog](const char *name) { return dialog.findChild<QLineEdit *>(name); };
    auto button = [&dialog](const char *name) { return dialog.findChild<QPushButton *>(name); };
    QTRY_VERIFY(button("notify_apply")->isEnabled());
    field("notify_smtp_host")->setText("127.0.0.1");
    QComboBox *security = dialog.findChild<QComboBox *>("notify_smtp_security");
    security->setCurrentIndex(security->findData("none"));
    dialog.findChild<QSpinBox *>("notify_smtp_port")->setValue(smtp.port);
    field("notify_smtp_password")->setText("s3cret");
    field("notify_mail_to")->setText("duty@site.example");
    field("notify_webhook_url")->setText("ftp://127.0.0.1/hook");

    QTest::mouseClick(button("notify_mail_test"), Qt::LeftButton);
    QLabel *mailResult = dialog.findChild<QLabel *>("notify_mail_result");
    QTRY_VERIFY2(mailResult->text().endsWith("已发送，请查收"), qPrintable(mailResult->text()));
    QVERIFY(fileBytes(dir.filePath("1.txt")).contains(" 测试消息\n"));
    QTest::mouseClick(button("notify_webhook_test"), Qt::LeftButton);
    QCOMPARE(dialog.findChild<QLabel *>("notify_webhook_result")->text(), "推送地址须以 https:// 或 http:// 开头");
    QVERIFY(NotifySettings::load().smtpHost.isEmpty());

    field("notify_webhook_url")->clear();
    dialog.findChild<QCheckBox *>("notify_enabled")->setChecked(true);
    QTest::mouseClick(button("notify_apply"), Qt::LeftButton);
    QCOMPARE(applied, QStringList("s3cret"));
    const NotifySettings saved = NotifySettings::load();
    QVERIFY(saved.mailOn());
    QCOMPARE(saved.smtpPort, smtp.port);
    QVERIFY(field("notify_smtp_password")->text().isEmpty());
    const QString passwordFile = PasswordStore(nullptr, "smtp").userFilePath();
    QTRY_COMPARE(fileBytes(passwordFile), QByteArray("s3cret"));
    QVERIFY(!fileBytes(StationSettings::open()->fileName()).contains("s3cret"));
    QVERIFY(NotifySettings().save());
}

// The done-when run: the built station polls the simulator with devices 1-20 too hot while the
// SMTP server is down; the webhook gets all 20, the mail waits. Killed, then started again with
// the server up: each of the 20 arrives once, naming the device.
void tst_notify::messagesPendingAtAKillGoOutOnceAfterRestart()
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    QVERIFY(QDir(dir.path()).mkpath("mail") && QDir(dir.path()).mkpath("hook") && QDir().mkpath(data));
    QVector<QString> lines(600);
    lines[4] = QStringLiteral("1号柜A相触头");
    lines[204] = QStringLiteral("配电室二楼东侧");
    QVERIFY(writeFileBytes(data + "/save_data.txt", lines.toList().join('\n').toUtf8() + '\n'));
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const int smtpPort = probe.serverPort();
    probe.close();
    Helper hook;
    QVERIFY(hook.start(KESTRO_WEBHOOK_PATH, {dir.filePath("hook")}));
    NotifySettings settings;
    settings.enabled = true;
    settings.smtpHost = "127.0.0.1";
    settings.smtpPort = smtpPort;
    settings.smtpSecurity = "none";
    settings.mailTo = QStringList{"duty@site.example"};
    settings.hourlyCap = 100;
    settings.webhookUrl = QString("http://127.0.0.1:%1/hook").arg(hook.port);
    QVERIFY(settings.save());

    PtyPair pty;
    Simulator simulator;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    QVERIFY2(simulator.start(pty.concentratorEnd(), {"--static", "--over-temp", "1-20"}, &error), qPrintable(error));
    QDir config = QFileInfo(StationSettings::open()->fileName()).dir();
    QVERIFY(config.cdUp());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", config.path());
    if (environment.contains("ASAN_OPTIONS"))
        environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    ChildProcess station;
    station.setProcessEnvironment(environment);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList arguments{"--data-dir", data, "--port", pty.stationEnd()};
    station.start(KESTRO_BINARY_PATH, arguments);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("hook/20.txt")), 60000);
    const QByteArray posted = fileBytes(dir.filePath("hook/5.txt"));
    QVERIFY2(posted.contains(R"("text":"5温度异常")") && posted.contains(R"("name":"1号柜A相触头")")
                 && posted.contains(R"("location":"配电室二楼东侧")"), posted.constData());
    QTRY_COMPARE(databaseRows(data, "SELECT count(*) FROM notify_outbox WHERE channel = 0"), QStringList("20"));
    QVERIFY(::kill(pid_t(station.processId()), SIGKILL) == 0);
    QVERIFY(station.waitForFinished(5000));

    Helper smtp;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.filePath("mail"), "--port", QString::number(smtpPort)}));
    simulator.stop();
    QVERIFY2(simulator.start(pty.concentratorEnd(), {"--static"}, &error), qPrintable(error));
    station.start(KESTRO_BINARY_PATH, arguments);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("mail/20.txt")), 60000);
    QTRY_COMPARE(databaseRows(data, "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    QStringList subjects;
    for (int k = 1; k <= 20; ++k) {
        const QByteArray mail = fileBytes(dir.filePath(QString("mail/%1.txt").arg(k)));
        subjects << QString::fromUtf8(mail.split('\n').value(2));
        if (subjects.last().endsWith("] 5温度异常"))
            QVERIFY2(mail.contains(" 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/"), mail.constData());
    }
    // The site link's station name, by default the computer's.
    QStringList expected;
    for (int device = 1; device <= 20; ++device)
        expected << QString("[%1] %2温度异常").arg(QSysInfo::machineHostName()).arg(device);
    std::sort(subjects.begin(), subjects.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(subjects, expected);
    station.terminate();
    QVERIFY(station.waitForFinished(10000));
    QVERIFY(!QFile::exists(dir.filePath("mail/21.txt")) && !QFile::exists(dir.filePath("hook/21.txt")));
    QVERIFY(NotifySettings().save());
}

KESTRO_TEST_MAIN(tst_notify)

#include "tst_notify.moc"
