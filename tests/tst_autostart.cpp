#include "app/autostart.h"
#include "app/commandline.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// Test mode puts the config folder under $HOME/.qttest, here under a home of the test's own.
class AutostartTest : public QObject
{
    Q_OBJECT
    QTemporaryDir home;
    QString dir() const { return home.path() + QStringLiteral("/.qttest/config/autostart"); }

private slots:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(home.path()));
        QStandardPaths::setTestModeEnabled(true);
    }
    // The options are the station's command line, given in /usr.
    void entryStartsTheProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("exec");
        const QStringList none;
        QTest::newRow("space") << "/opt/a b/kestro" << none
                               << QByteArray("Exec=\"/opt/a b/kestro\"\n");
        QTest::newRow("dollar") << "/a$b/kestro" << none
                                << QByteArray("Exec=\"/a\\\\$b/kestro\"\n");
        QTest::newRow("percent") << "/opt/5%/kestro" << none
                                 << QByteArray("Exec=/opt/5%%/kestro\n");
        QTest::newRow("relative folder and port") << "/usr/bin/kestro"
            << QStringList{"--full-screen", "--port", "../dev/ttyS0",
                           "--data-dir", "st \"1\" $HOME"}
            << QByteArray("Exec=/usr/bin/kestro --data-dir \"/usr/st \\\\\"1\\\\\" \\\\$HOME\" "
                          "--port /dev/ttyS0 --full-screen\n");
        QTest::newRow("port by name") << "/usr/bin/kestro"
            << QStringList{"--data-dir", "/srv/x/../5% a", "--port", "pts/3"}
            << QByteArray("Exec=/usr/bin/kestro --data-dir \"/srv/5%% a\" --port pts/3\n");
    }
    void entryStartsTheProgram()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, exec);
        const QString entry = dir() + QStringLiteral("/kestro.desktop");
        QVERIFY(QDir::setCurrent(QStringLiteral("/usr")));
        const StationOptions parsed = CommandLine::parse(QStringList{"kestro"} + options);
        QVERIFY(Autostart::setEnabled(true, program, CommandLine::toArguments(parsed)) &&
                Autostart::isEnabled());
        const QByteArray head = "[Desktop Entry]\nType=Application\nName=Kestro\n";
        const QByteArray tail = "Icon=kestro\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
        QCOMPARE(fileBytes(entry), head + exec + tail);
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        QVERIFY(validator.isEmpty() || QProcess::execute(validator, {entry}) == 0);
        QVERIFY(writeFileBytes(entry, head + "Hidden=true\n") && !Autostart::isEnabled());
        QVERIFY(Autostart::setEnabled(false, program) && !QFile::exists(entry));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
    }
    // As Windows splits a command line: backslashes double only before a quote.
    void runValueQuotesForWindows()
    {
        const QStringList arguments{"--data-dir", "C:\\A B\\", "--port", "\\\\.\\a\\\"b"};
        QCOMPARE(Autostart::runCommand("C:\\k.exe", arguments),
                 QString("\"C:\\k.exe\" --data-dir \"C:\\A B\\\\\" --port \"\\\\.\\a\\\\\\\"b\""));
    }
    // Root writes anywhere, so a folder blocks the entry, then a file blocks the folder.
    void refusedWriteLeavesNothing()
    {
        for (const QString &blocker : {dir() + QStringLiteral("/kestro.desktop/x"), dir()}) {
            QDir(dir()).removeRecursively();
            QVERIFY(QDir().mkpath(QFileInfo(blocker).path()) && writeFileBytes(blocker, "x"));
            QString error;
            QVERIFY(!Autostart::setEnabled(true, QStringLiteral("/usr/bin/kestro"), {}, &error));
            QVERIFY2(error.startsWith(dir()) && !Autostart::isEnabled(), qPrintable(error));
            QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), {});
        }
    }
};

QTEST_GUILESS_MAIN(AutostartTest)
#include "tst_autostart.moc"
