#include "core/datadirectory.h"
#include "app/mainwindow.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "serial/concentratorlink.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void firstStartCreatesTheDataDirectory_data();
    void firstStartCreatesTheDataDirectory();
    void laterStartFindsTheDirectory();
    void copiesLeftByAKilledSaveAreRemoved();
    void defaultDirectoryFollowsTheUserDataLocation();
    void initialState();
    void clockTickWritesTheTime();
    void pollingWithoutPortShowsNoAnswer();
};

void StartupTest::firstStartCreatesTheDataDirectory_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("in an existing folder") << "kestro";
    QTest::newRow("with missing parents") << "a/b/kestro";
}

void StartupTest::firstStartCreatesTheDataDirectory()
{
    QFETCH(QString, relativePath);
    QTemporaryDir root;
    const QString path = root.filePath(relativePath);
    MessageCapture capture;
    MainWindow window(nullptr, path);
    QVERIFY(QDir(path).exists());
    QVERIFY(capture.contains(QStringLiteral("文件夹创建成功")));
    QVERIFY(!capture.contains(QStringLiteral("文件夹创建失败")));
    QCOMPARE(window.dataDirectory(), path);
}

void StartupTest::laterStartFindsTheDirectory()
{
    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("kestro"));
    { MainWindow first(nullptr, path); }
    MessageCapture capture;
    MainWindow second(nullptr, path);
    QVERIFY(capture.contains(QStringLiteral("文件夹创建失败")));
    QVERIFY(!capture.contains(QStringLiteral("文件夹创建成功")));
}

void StartupTest::copiesLeftByAKilledSaveAreRemoved()
{
    QTemporaryDir root;
    const QStringList left = {"save_data.txt.qZCwDj", "profile.txt.nxAErT"};
    const QStringList kept = {"save_data.txt", "profile.txt", "History_Monday_value.txt",
                              "notes.txt.abcdef", "save_data.txt.old"};
    for (const QString &name : left + kept)
        QVERIFY(writeFileBytes(root.filePath(name), "x\n"));
    {
        MainWindow window(nullptr, root.path());
        for (const QString &name : left)
            QVERIFY2(!QFileInfo::exists(root.filePath(name)), qPrintable(name));
        for (const QString &name : kept)
            QVERIFY2(QFileInfo::exists(root.filePath(name)), qPrintable(name));
        // A second station leaves everything alone.
        QVERIFY(writeFileBytes(root.filePath(left.first()), "x\n"));
        MainWindow second(nullptr, root.path());
        QVERIFY(!second.isSoleInstance());
        QVERIFY(QFileInfo::exists(root.filePath(left.first())));
    }
}

void StartupTest::defaultDirectoryFollowsTheUserDataLocation()
{
#ifdef Q_OS_WIN
    QCOMPARE(DataDirectory::defaultPath(), QStringLiteral("C:\\kestro"));
#else
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_DATA_HOME");
    const QString expected = home.path() + QStringLiteral("/.local/share/kestro");
    QCOMPARE(DataDirectory::defaultPath(), expected);
    {
        MainWindow window;
        QCOMPARE(window.dataDirectory(), expected);
        QVERIFY(QDir(expected).exists());
    }
    qputenv("HOME", oldHome);
    if (!oldXdg.isEmpty())
        qputenv("XDG_DATA_HOME", oldXdg);
#endif
}

void StartupTest::initialState()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    for (int value : window.registers())
        QCOMPARE(value, 0);
    QCOMPARE(window.shownDevicePage(), 0);
    for (int device : {1, 100, 200}) {
        QCOMPARE(window.upperTemperatureLimitOf(device), 80.0f);
        QCOMPARE(window.lowerTemperatureLimitOf(device), -40.0f);
        QCOMPARE(window.upperCurrentLimitOf(device), 50.0f);
    }
    QCOMPARE(window.form()->progressBar->minimum(), 0);
    QCOMPARE(window.form()->progressBar->maximum(), 10079);
}

void StartupTest::clockTickWritesTheTime()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    QLabel *clock = window.form()->system_time;
    QCOMPARE(clock->text(), QStringLiteral("2023-0-29 00:00:00"));
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    QTRY_VERIFY_WITH_TIMEOUT(stamp.match(clock->text()).hasMatch(), 3000);
    const QDateTime shown =
        QDateTime::fromString(clock->text(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QVERIFY(qAbs(shown.secsTo(QDateTime::currentDateTime())) <= 2);
}

void StartupTest::pollingWithoutPortShowsNoAnswer()
{
    // Nobody was heard: no made-up zeros.
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    window.setPollStepInterval(50);
    QSignalSpy steps(window.link(), &ConcentratorLink::stepWithoutReading);
    QTRY_VERIFY_WITH_TIMEOUT(steps.size() >= 16, 5000);
    for (int device : {1, 100, 101, 200}) {
        QCOMPARE(panelField(&window, PanelPrefix::Voltage, device)->text(), QString());
        QCOMPARE(panelField(&window, PanelPrefix::Temperature, device)->text(), QString());
        QCOMPARE(panelField(&window, PanelPrefix::Current, device)->text(), QString());
        QCOMPARE(panelField(&window, PanelPrefix::Status, device)->text(), QStringLiteral("无应答"));
    }
}

KESTRO_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
