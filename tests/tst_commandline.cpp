#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
    QTemporaryDir scratch;
    QProcess station;

private slots:
    // The built station runs headless, with per-user settings of its own.
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", scratch.filePath("config"));
        station.setProcessEnvironment(environment);
    }
    void endsAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("printed"); // all of stdout, or what it must contain
        QTest::newRow("version") << QStringList{"--version"} << 0 << QStringList{"kestro 0.1\n"};
        QTest::newRow("help") << QStringList{"--help"} << 0 << QStringList{
            "--help ", "--version ", "--data-dir DIR ", "--port PATH ", "--full-screen "};
        QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << QStringList{""};
        QTest::newRow("data-dir without value") << QStringList{"--data-dir"} << 2 << QStringList{""};
        // The binary is a regular file, so nothing can be made under it, not even by root.
        QTest::newRow("data-dir under a file")
            << QStringList{"--data-dir", KESTRO_BINARY_PATH "/data"} << 2 << QStringList{""};
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
    void startsInTheNamedFolder()
    {
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
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
