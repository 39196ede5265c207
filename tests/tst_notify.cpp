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

class tst_notify : public QObject
{
    Q_OBJECT

private slots:
    void settingsAsEditedByHand();
    void theWordsOfAMessage();
    void queuedWithTheJournalSentOnceAndFoldedPastTheCap();
    void mailReachesARealServerUnderStartTls();
    void theDialogTestsWhatIsTypedAndKeepsThePassword();
    void messagesPendingAtAKillGoOutOnceAfterRestart();
};

// One of the tests' servers (tests/notify/*.py), stopped when this goes.
struct Helper
{
    bool start(const char *script, const QStringList &arguments)
    {
        process.start(QStringLiteral("/usr/bin/python3"), QStringList{QString::fromUtf8(script)} + arguments);
        while (process.waitForReadyRead(10000))
            if (const QByteArray said = process.readLine().trimmed(); said.startsWith("ready "))
                return (port = said.mid(6).toInt()) > 0;
        qWarning() << process.readAllStandardError();
        return false;
    }
    ~Helper() { process.kill(); process.waitForFinished(3000); }
    ChildProcess process;
    int port = 0;
};

// A certificate for 127.0.0.1 and its key, server.crt and server.key in dir.
static bool makeCertificate(const QString &dir)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                   "-days", "1", "-keyout", "server.key", "-out", "server.crt", "-subj", "/CN=kestro-test",
                   "-addext", "subjectAltName=IP:127.0.0.1"});
    return openssl.waitForFinished(20000) && openssl.exitCode() == 0;
}

static NotifyEvent overTemperature()
{
    return {"站1", 5, "1号柜A相触头", "配电室二楼东侧", 1, "5温度异常", 95.0, 80.0,
            QDateTime(QDate(2026, 12, 8), QTime(10, 49, 25)), {}};
}

// The file as a site's engineer would edit it.
void tst_notify::settingsAsEditedByHand()
{
    const QString file = StationSettings::open()->fileName();
    QVERIFY(QFileInfo(file).dir().mkpath("."));
    QVERIFY(writeFileBytes(file, "[notify]\nenabled=true\nmin_level=warning\nhourly_cap=-3\n"
                                 "smtp_host=\" mail.site.example \"\nsmtp_security=tls\n"
                                 "mail_to=\"duty@site.example; boss@site.example;\"\n"));
    const NotifySettings read = NotifySettings::load();
    QVERIFY(read.mailOn() && !read.webhookOn());
    QCOMPARE(read.minLevel, 0);
    QCOMPARE(read.smtpHost, QStringLiteral("mail.site.example"));
    QCOMPARE(read.smtpPort, 465);
    QCOMPARE(read.mailTo, QStringList({"duty@site.example", "boss@site.example"}));
    QCOMPARE(read.hourlyCap, 20);
}

void tst_notify::theWordsOfAMessage()
{
    const NotifyEvent event = overTemperature();
    const QString line = QStringLiteral("[站1] 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/80.0℃ 2026-12-08 10:49:25");
    // What is empty is left out with its space; each kind has its own unit and places.
    QCOMPARE(NotifyMessage::line({"站1", 5, {}, "配电室二楼东侧", 3, "5电流超限", 62.5, 50, event.time, "未确认，已 30 分钟"}),
             "[站1] 5电流超限 配电室二楼东侧 62.50A/50.00A 2026-12-08 10:49:25 未确认，已 30 分钟");
    QCOMPARE(NotifyMessage::line({"站1", 0, {}, {}, 4, "集中器通讯中断", qQNaN(), qQNaN(), event.time, {}}),
             "[站1] 集中器通讯中断 2026-12-08 10:49:25");
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

    // Taken on a 2xx answer that, from a chat service, reports success in its own terms too.
    const struct { const char *format; int status; const char *reply; bool accepted; } answers[] = {
        {"generic", 204, "", true},
        {"wecom", 200, R"({"errcode":0,"errmsg":"ok"})", true},
        {"wecom", 200, R"({"errcode":93000,"errmsg":"invalid webhook url"})", false},
        {"dingtalk", 200, "<html>", false},
        {"telegram", 200, R"({"ok":true,"result":{}})", true},
        {"telegram", 200, R"({"ok":false})", false}};
    for (const auto &a : answers)
        QVERIFY2(WebhookMessage::accepted(WebhookMessage::formatFromText(a.format), a.status, a.reply) == a.accepted,
                 qPrintable(QString("%1 %2").arg(a.format, a.reply)));
}

// Three alarms with a warning below the level asked and the operator's silence, in one tick:
// two of each channel go out (the webhook's first try refused, then taken), the third waits
// for its hour's summary, and each delivery is journalled. Then an escalation, and a receiver
// that never answers.
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
    settings.escalateMinutes = 30;
    settings.escalateTo = QStringList{"chief@site.example"};
    notifier.configure(settings, "站1", [](int device) {
        return device == 5 ? qMakePair(QStringLiteral("1号柜A相触头"), QStringLiteral("配电室二楼东侧"))
                           : QPair<QString, QString>();
    });
    notifier.setSecrets({}, {});
    const QDateTime raised = QDateTime::currentDateTime();
    auto alarm = [&raised](int device, const char *text, int level) {
        return JournalEvent{device, 1, "alarm", "", raised.toMSecsSinceEpoch(), 95.0, 80.0, text, 0, level};
    };
    const JournalEvent silence{0, 0, "silence", "", 0, qQNaN(), qQNaN(), "消音", 0};
    QVERIFY(journal.append({alarm(5, "5温度异常", 1), alarm(6, "6温度异常", 1), alarm(8, "8温度预警", 0),
                            alarm(7, "7温度异常", 1), silence}));
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
    QVERIFY(journal.append({silence}));
    QTRY_COMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    QVERIFY(fileBytes(dir.filePath("mail/3.txt")).contains("另有 1 条报警：7温度异常 "));
    QCOMPARE(databaseRows(dir.path(), sent).size(), 6);

    // Nobody acknowledged device 6's alarm for the escalation time: sent again once, so marked.
    settings.hourlyCap = 20;
    notifier.configure(settings, "站1", {});
    for (int minute : {29, 31, 32})
        notifier.escalate({{6, 1, "6温度异常", "未确认", raised, 1, {}}}, raised.addSecs(60 * minute));
    QTRY_COMPARE(databaseRows(dir.path(), "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    const QByteArray escalation = fileBytes(dir.filePath("mail/4.txt"));
    QVERIFY2(escalation.startsWith("kestro@localhost\nchief@site.example\n[站1] 6温度异常 未确认，已 31 分钟\n")
                 && escalation.contains(" 2026") && escalation.endsWith(" 未确认，已 31 分钟\n"), escalation.constData());
    QVERIFY(fileBytes(dir.filePath("hook/5.txt")).contains(R"("state":"未确认，已 31 分钟")"));
    QVERIFY(!QFile::exists(dir.filePath("mail/5.txt")));

    // The request times out and waits for its next try, said in the status bar, while the
    // event loop goes on beating.
    settings.webhookUrl = QString("https://127.0.0.1:%1/hang").arg(hook.port);
    notifier.configure(settings, "站1", {});
    notifier.sender()->setWebhookTimeout(1500);
    QSignalSpy problems(&notifier, &Notifier::problemChanged);
    QTimer beat;
    QSignalSpy beats(&beat, &QTimer::timeout);
    beat.start(20);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(journal.append({alarm(9, "9温度异常", 1)}));
    QTRY_COMPARE_WITH_TIMEOUT(problems.size(), 1, 10000);
    QVERIFY2(problems.first().first().toString().startsWith("推送通知未能发出，稍后重试："),
             qPrintable(problems.first().first().toString()));
    QVERIFY(clock.elapsed() >= 1000); // a coarse timer may end the wait a little early
    QVERIFY2(beats.size() >= clock.elapsed() / 20 / 3, qPrintable(QString::number(beats.size())));
    QCOMPARE(databaseRows(dir.path(), "SELECT attempts, last_error <> '' FROM notify_outbox"), QStringList("1|1"));
}

// In the clear the notifier's own test sends; here STARTTLS with a certificate made for the test
// and a login.
void tst_notify::mailReachesARealServerUnderStartTls()
{
    QTemporaryDir dir;
    QVERIFY(makeCertificate(dir.path()));
    Helper smtp;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.path(), "--tls", dir.filePath("server.crt"),
                                                dir.filePath("server.key"), "--login", "duty", "s3cret"}));
    SmtpMailer::Server server{"127.0.0.1", smtp.port, SmtpMailer::Security::StartTls, "duty", "s3cret",
                              dir.filePath("server.crt")};

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
    connect(&dialog, &NotifyDialog::settingsApplied,
            [&applied](const NotifySettings &, const QString &password) { applied << password; });
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
    QTRY_COMPARE(fileBytes(PasswordStore(nullptr, "smtp").userFilePath()), QByteArray("s3cret"));
    QVERIFY(!fileBytes(StationSettings::open()->fileName()).contains("s3cret"));
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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // This process's own settings, the folder above the settings file's.
    environment.insert("XDG_CONFIG_HOME", QFileInfo(QFileInfo(StationSettings::open()->fileName()).path()).path());
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    ChildProcess station;
    station.setProcessEnvironment(environment);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList arguments{"--data-dir", data, "--port", pty.stationEnd()};
    station.start(KESTRO_BINARY_PATH, arguments);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("hook/20.txt")), 60000);
    station.kill();
    QVERIFY(station.waitForFinished(5000));

    Helper smtp;
    QVERIFY(smtp.start(KESTRO_SMTPSERVER_PATH, {dir.filePath("mail"), "--port", QString::number(smtpPort)}));
    simulator.stop();
    QVERIFY2(simulator.start(pty.concentratorEnd(), {"--static"}, &error), qPrintable(error));
    station.start(KESTRO_BINARY_PATH, arguments);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("mail/20.txt")), 60000);
    QTRY_COMPARE(databaseRows(data, "SELECT count(*) FROM notify_outbox"), QStringList("0"));
    QString mails; // each its sender, recipients, subject and body, a line each
    for (int k = 1; k <= 20; ++k)
        mails += QString::fromUtf8(fileBytes(dir.filePath(QString("mail/%1.txt").arg(k))));
    // The subjects name the station as the site link does, by default after the computer.
    for (int device = 1; device <= 20; ++device)
        QVERIFY2(mails.count(QString("\n[%1] %2温度异常\n").arg(QSysInfo::machineHostName()).arg(device)) == 1,
                 qPrintable(mails));
    // Sent as the station starts: the devices' names are known by then.
    QVERIFY2(mails.contains(" 5温度异常 1号柜A相触头 配电室二楼东侧 95.0℃/"), qPrintable(mails));
    station.terminate();
    QVERIFY(station.waitForFinished(10000));
    QVERIFY(!QFile::exists(dir.filePath("mail/21.txt")) && !QFile::exists(dir.filePath("hook/21.txt")));
}

KESTRO_TEST_MAIN(tst_notify)

#include "tst_notify.moc"
