#include "app/windowsetup.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
    QTemporaryDir scratch;
    QProcess station;

private slots:
    // The built station, with per-user settings of its own and no display: what ends at once
    // needs none, and a start without one ends as any other failed start does.
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.remove("DISPLAY");
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
};

KESTRO_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
