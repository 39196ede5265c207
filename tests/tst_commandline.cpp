#include "app/windowsetup.h"
#include "config/stationsettings.h"
#include "core/datadirectory.h"
#include "site/sitesettings.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

class TestCommandLine : public QObject
{
    Q_OBJECT
    QTemporaryDir scratch;
    ChildProcess station;

    // A station's environment: no display, this process's settings publishing to `broker` as s1;
    // empty when they could not be saved.
    QProcessEnvironment publishingTo(const Broker &broker)
    {
        QDir config = QFileInfo(StationSettings::open()->fileName()).dir();
        if (!publishToBroker(broker, "s1") || !config.cdUp())
            return QProcessEnvironment();
        QProcessEnvironment environment = station.processEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", config.path());
        return environment;
    }

private slots:
    // The built station, with per-user settings of its own and no display: what ends at once
    // needs none, and a start without one ends as any other failed start does.
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.remove("DISPLAY");
        environment.insert("XDG_CONFIG_HOME", scratch.filePath("config"));
        // Under the sanitizers the offscreen platform's screen, which Qt never frees, would be
        // reported at each exit of a whole station; this process checks the station's own
        // allocations with the platform made first (makeTestApplication).
        if (environment.contains("ASAN_OPTIONS"))
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        station.setProcessEnvironment(environment);
    }
    void endsAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("printed"); // all of stdout, or what it must contain
        QTest::newRow("version") << QStringList{"--version"} << 0 << QStringList{"kestro 0.1\n"};
        QTest::newRow("help") << QStringList{"--help"} << 0 << QStringList{
            "--help ", "--version ", "--data-dir DIR ", "--port PATH ", "--full-screen ", "--import-rules FILE ",
            "--report KIND ", "--out DIR "};
        QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << QStringList{""};
        QTest::newRow("data-dir without value") << QStringList{"--data-dir"} << 2 << QStringList{""};
        QTest::newRow("report of a week") << QStringList{"--report", "week", "2026-12-01"} << 2 << QStringList{""};
        QTest::newRow("report without its day") << QStringList{"--report", "day"} << 2 << QStringList{""};
        QTest::newRow("out without report") << QStringList{"--out", scratch.path()} << 2 << QStringList{""};
        QTest::newRow("report of a missing folder")
            << QStringList{"--data-dir", scratch.filePath("none"), "--report", "month", "2026-11"} << 2 << QStringList{""};
        // The binary is a regular file, so nothing can be made under it, not even by root.
        QTest::newRow("data-dir under a file")
            << QStringList{"--data-dir", KESTRO_BINARY_PATH "/data"} << 2 << QStringList{""};
        QTest::newRow("no display") << QStringList{"--data-dir", scratch.path()} << 2
                                    << QStringList{""};
    }
    void endsAtOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, printed);
        station.start(KESTRO_BINARY_PATH, arguments);
        // A window would keep the station running; these must end by themselves, at once.
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.exitCode(), exitCode);
        QCOMPARE(station.readAllStandardError().count('\n'), exitCode == 0 ? 0 : 1);
        const QString out = QString::fromLocal8Bit(station.readAllStandardOutput());
        if (printed.size() == 1)
            QCOMPARE(out, printed.first());
        for (const QString &text : printed)
            QVERIFY2(out.contains(text), qPrintable(text));
    }
    // Qt's own texts follow the system's locale, which Qt reads from the environment once:
    // checked in a child of this test started under a Chinese one.
    void qtTextsFollowTheSystemLocale()
    {
        if (qgetenv("LC_ALL") != "zh_CN.UTF-8") {
            qunsetenv("LANGUAGE"); // it would come before LC_ALL
            const QByteArray failures =
                failuresUnderLocale("zh_CN", QStringLiteral("qtTextsFollowTheSystemLocale"));
            QVERIFY2(failures.isEmpty(), failures.constData());
            return;
        }
        prepareStationApplication(*qApp);
        QCOMPARE(QDialogButtonBox(QDialogButtonBox::Cancel).buttons()[0]->text(), "取消");
        QCOMPARE(QMessageBox().addButton(QMessageBox::Ok)->text(), "确定");
    }
    void startsInTheNamedFolder()
    {
        QProcessEnvironment environment = station.processEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        station.setProcessEnvironment(environment);
        const QString folder = scratch.filePath("a/b/station");
        station.start(KESTRO_BINARY_PATH, {"--data-dir", folder, "--port", scratch.filePath("tty")});
        // The named port is tried at once and then retried, as a remembered one is.
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += station.readAllStandardError()).contains("tty not available")
                                     && QFile::exists(folder + "/kestro.lock")
                                     && QFile::exists(folder + "/kestro.db"), 20000);
        station.terminate();
        QVERIFY(station.waitForFinished(10000));
    }
    // Logout, shutdown and Ctrl+C end the station as closing its window does: the site told it
    // left, the database closed whole, the lock released. Meanwhile a second station is
    // refused and touches nothing in the folder.
    void aStopSignalEndsItAsClosingTheWindow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void aStopSignalEndsItAsClosingTheWindow()
    {
        QFETCH(int, signal);
        Broker broker;
        MqttSubscriber site;
        QString error;
        QVERIFY2(broker.start(&error), qPrintable(error));
        QVERIFY(site.start(broker.port()));
        const QProcessEnvironment environment = publishingTo(broker);
        QVERIFY(!environment.isEmpty());
        ChildProcess first, second;
        first.setProcessEnvironment(environment);
        second.setProcessEnvironment(environment);
        const QString folder = scratch.filePath(QTest::currentDataTag());
        // Run as a background job this test ignores SIGINT, and the station would keep to that.
        std::signal(SIGINT, SIG_DFL);
        first.start(KESTRO_BINARY_PATH, {"--data-dir", folder});
        QTRY_VERIFY_WITH_TIMEOUT(
            !site.messages().filter(R"(0 1 kestro/s1/status {"online":true)").isEmpty(), 10000);

        const QStringList files = QDir(folder).entryList(QDir::Files);
        second.start(KESTRO_BINARY_PATH, {"--data-dir", folder});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(second.readAllStandardError(),
                 "kestro: another station runs on " + folder.toLocal8Bit() + "\n");
        QCOMPARE(QDir(folder).entryList(QDir::Files), files);

        QVERIFY(::kill(static_cast<pid_t>(first.processId()), signal) == 0);
        QVERIFY(first.waitForFinished(2000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QTRY_VERIFY(site.messages().contains(R"(0 1 kestro/s1/status {"online":false})"));
        for (const char *left : {"kestro.lock", "kestro.db-wal", "kestro.db-shm"})
            QVERIFY2(!QFile::exists(folder + '/' + left), left);
        QVERIFY(QFile::exists(folder + "/kestro.db"));
        QVERIFY(SiteSettings().save());
    }
    // With no display, as from a script: a good file replaces the groups; a bad one, or a station
    // running on the folder, changes nothing and says why. A station then judges with them phases
    // at 1.2, 85.0 and -10.0 °C and the air at 3.3 °C: the journal and the site get both rules' alarms.
    void importedRulesAreAllOrNothingAndJudge()
    {
        const QString folder = scratch.filePath("rules");
        const QString file = scratch.filePath("groups.csv");
        // "exit code|standard output|standard error"
        const auto import = [&](const QByteArray &content) {
            writeFileBytes(file, content);
            station.start(KESTRO_BINARY_PATH, {"--data-dir", folder, "--import-rules", file});
            const bool ended = station.waitForFinished(10000);
            return QByteArray::number(ended ? station.exitCode() : -1) + '|' + station.readAllStandardOutput() + '|'
                   + station.readAllStandardError();
        };
        const QByteArray header = "\xEF\xBB\xBF柜组,A相,B相,C相,环境\r\n";
        QCOMPARE(import(header + "1号柜,4,5,6,11\r\n\"2号柜, 出线\",7,,9,\r\n,,,,\r\n"),
                 "0|kestro: 2 cabinet groups imported into " + folder.toLocal8Bit() + "\n|");
        for (const auto &bad : QList<QPair<QByteArray, QByteArray>>{
                 {"group,A,B,C,ambient\n", "1: the header is not 柜组,A相,B相,C相,环境"},
                 {header + "3号柜,1,2,3,\n4号柜,201,,,\n", "3: device 201 is not 1..200"},
                 {header + "3号柜,0,,,\n", "2: device 0 is not 1..200"},
                 {header + "3号柜,x,,,\n", "2: 'x' is not a device number"},
                 {header + "3号柜,1,,,\n3号柜,2,,,\n", "3: group 3号柜 is named twice"},
                 {header + "3号柜,1,1,,\n", "2: device 1 is in the group twice"},
                 {header + ",1,2,3,4\n", "2: the group has no name"},
                 {header + "3号柜,,,,4\n", "2: the group has no phase"},
                 {header + "3号柜,1,2\n", "2: 3 cells, not 5"},
                 {header + "\"3号柜,1,2,3,4\n", "2: a quote is not closed"}})
            QCOMPARE(import(bad.first), "2||kestro: " + file.toLocal8Bit() + ":" + bad.second + "\n");
        std::unique_ptr<QLockFile> running = DataDirectory::takeLock(folder);
        QCOMPARE(import(header + "3号柜,1,2,3,\n"), "1||kestro: another station runs on " + folder.toLocal8Bit() + "\n");
        running.reset();
        QCOMPARE(databaseRows(folder, "SELECT name, phase_a, phase_b, phase_c, ambient FROM cabinet_groups ORDER BY position"),
                 (QStringList{"1号柜|4|5|6|11", "2号柜, 出线|7||9|"}));

        PtyPair pty;
        Simulator simulator;
        Broker broker;
        MqttSubscriber site;
        QString error;
        const QStringList concentrator = {"--static", "--register", "30404=12", "--register", "30405=850",
                                          "--register", "30406=65436", "--register", "30411=33"};
        QVERIFY2(pty.start(&error) && broker.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error)
                     && site.start(broker.port()), qPrintable(error));
        station.setProcessEnvironment(publishingTo(broker));
        station.start(KESTRO_BINARY_PATH, {"--data-dir", folder, "--port", pty.stationEnd()});

        const QString sql = "SELECT text, kind, level, device, cabinet_group, group_devices FROM alarm_journal"
                            " WHERE kind > 4 ORDER BY kind, level";
        const QStringList journalled{"1号柜相间温差预警|5|0|0|1号柜|4,5,6,11", "1号柜相间温差报警|5|1|0|1号柜|4,5,6,11",
                                     "5环境温升预警|6|0|5|1号柜|4,5,6,11", "5环境温升报警|6|1|5|1号柜|4,5,6,11"};
        QTRY_COMPARE_WITH_TIMEOUT(databaseRows(folder, sql), journalled, 20000);
        const QString group = R"("group":{"name":"1号柜","a":4,"b":5,"c":6,"ambient":11})";
        for (const QString &alarm :
             {R"("device":0,"kind":"phase_difference","level":"alarm","event":"raised","text":"1号柜相间温差报警",)" + group,
              R"("device":5,"kind":"ambient_rise","level":"alarm","event":"raised","text":"5环境温升报警",)" + group})
            QTRY_VERIFY2(!site.messages().filter(alarm).isEmpty(), qPrintable(alarm));
        station.terminate();
        QVERIFY(station.waitForFinished(10000));
        QVERIFY(SiteSettings().save());
    }
    // Past SQLite's path limit (512 bytes) the folder can be made but its database not opened.
    void aFolderWhoseDatabaseCannotOpenIsRefused()
    {
        QProcessEnvironment environment = station.processEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        station.setProcessEnvironment(environment);
        const QString folder = scratch.path() + QString('/' + QString(99, 'd')).repeated(6);
        station.start(KESTRO_BINARY_PATH, {"--data-dir", folder});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.exitCode(), 2);
        QCOMPARE(station.readAllStandardError(), "kestro: cannot open the database in data folder "
                     + folder.toLocal8Bit() + ": unable to open database file\n");
        QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }
};

KESTRO_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
