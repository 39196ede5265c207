#include "app/autostart.h"
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
    void entryStartsTheProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("space") << "/opt/a b/kestro" << QByteArray("Exec=\"/opt/a b/kestro\"\n");
        QTest::newRow("dollar") << "/a$b/kestro" << QByteArray("Exec=\"/a\\\\$b/kestro\"\n");
        QTest::newRow("percent") << "/opt/5%/kestro" << QByteArray("Exec=/opt/5%%/kestro\n");
    }
    void entryStartsTheProgram()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        const QString entry = dir() + QStringLiteral("/kestro.desktop");
        QVERIFY(Autostart::setEnabled(true, program) && Autostart::isEnabled());
        const QByteArray head = "[Desktop Entry]\nType=Application\nName=Kestro\n";
        const QByteArray tail = "Icon=kestro\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
        QCOMPARE(fileBytes(entry), head + exec + tail);
        if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty())
            QCOMPARE(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);
        QVERIFY(writeFileBytes(entry, head + "Hidden=true\n") && !Autostart::isEnabled());
        QVERIFY(Autostart::setEnabled(false, program) && !QFile::exists(entry));
    }
    // Root writes anywhere, so a folder blocks the entry, then a file blocks the folder.
    void refusedWriteLeavesNothing()
    {
        for (const QString &blocker : {dir() + QStringLiteral("/kestro.desktop/x"), dir()}) {
            QDir(dir()).removeRecursively();
            QVERIFY(QDir().mkpath(QFileInfo(blocker).path()) && writeFileBytes(blocker, "x"));
            QString error;
            QVERIFY(!Autostart::setEnabled(true, QStringLiteral("/usr/bin/kestro"), &error));
            QVERIFY2(error.startsWith(dir()) && !Autostart::isEnabled(), qPrintable(error));
            QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), {});
        }
    }
};

QTEST_GUILESS_MAIN(AutostartTest)
#include "tst_autostart.moc"
