// What the station used to keep to itself: a settings file Qt wrote is read and rewritten as
// Qt would, and a database damaged or unreadable at start is told in the status bar.

#include "app/mainwindow.h"
#include "config/initext.h"
#include "config/stationsettings.h"
#include "forms/panelcolumn.h"
#include "monitor/alarmhandling.h"
#include "monitor/alarmsound.h"
#include "serial/linkmemory.h"
#include "site/sitesettings.h"
#include "storage/alarmjournal.h"
#include "storage/alarmsettingsstore.h"
#include "storage/stationdatabase.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QTest>

namespace {

// Written by Qt 5.15's own QSettings::NativeFormat on Linux.
const char kQtWritten[] = "[alarm]\nsound=false\n\n"
                          "[link]\nopen=true\nport=/dev/ttyUSB0\n\n"
                          "[site]\nenabled=true\nhost=broker.plant.example\nport=18883\n"
                          "prefix=plant/kestro\nstation=\\x4e00\\x53f7\\x7ad9 \\x5317\n\n"
                          "[trend]\ndevices=\"5,6,7\"\n";

#define SKIP_UNLESS_INI_FILE()                                                             \
    if (StationSettings::format() == QSettings::NativeFormat)                              \
        QSKIP("the settings are in the registry or a property list here")

QString faults(const MainWindow &window)
{
    const auto *label = window.findChild<QLabel *>("station_faults");
    // whole, as its tooltip holds it when cut
    return label->isHidden() ? QString() : label->toolTip().isEmpty() ? label->text() : label->toolTip();
}

} // namespace

class tst_silentfaults : public QObject
{
    Q_OBJECT

private slots:
    void qtWrittenSettingsAreReadAndRewrittenAlike();
    void writtenSettingsReadBackByQtAndAfterARestart_data();
    void writtenSettingsReadBackByQtAndAfterARestart();
    void damagedDatabaseIsToldForTheRun();
    void unreadableDeadbandsAreToldUntilRead();
};

void tst_silentfaults::qtWrittenSettingsAreReadAndRewrittenAlike()
{
    SKIP_UNLESS_INI_FILE();
    const QString path = StationSettings::open()->fileName();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && writeFileBytes(path, kQtWritten));

    QCOMPARE(LinkMemory::portToResume(), QStringLiteral("/dev/ttyUSB0"));
    QVERIFY(!AlarmSound().isEnabled());
    const SiteSettings site = SiteSettings::load();
    QVERIFY(site.enabled);
    QCOMPARE(site.host, QStringLiteral("broker.plant.example"));
    QCOMPARE(site.port, 18883);
    QCOMPARE(site.station, QStringLiteral("一号站 北"));
    QCOMPARE(site.prefix, QStringLiteral("plant/kestro"));
    QCOMPARE(StationSettings::open()->value("trend/devices"), QVariant(QStringLiteral("5,6,7")));

    AlarmSound().setEnabled(true);
    QByteArray expected(kQtWritten);
    expected.replace("sound=false", "sound=true");
    QCOMPARE(fileBytes(path), expected);
    LinkMemory::forget();
}

void tst_silentfaults::writtenSettingsReadBackByQtAndAfterARestart_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("separators, blanks") << "site/host" << QVariant(" a, b;c=d ");
    QTest::newRow("leading @") << "site/prefix" << QVariant("@Invalid()");
    QTest::newRow("escapes") << "site/ca" << QVariant(QString("C:\\ca\"x\".pem\t\n") + QChar(0) + "1");
    QTest::newRow("CJK key and value") << QString("站点/名 称") << QVariant("一号站 café1");
    QTest::newRow("list") << "trend/list" << QVariant(QStringList{"5", "6 7", "8,9"});
    QTest::newRow("bytes") << "trend/bytes" << QVariant(QByteArray("\x00\xff(@)", 5));
}

void tst_silentfaults::writtenSettingsReadBackByQtAndAfterARestart()
{
    SKIP_UNLESS_INI_FILE();
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    const auto settings = StationSettings::open();
    settings->setValue(key, value);
    QVERIFY(StationSettings::save(*settings));
    // A copy Qt has not seen, or it would answer from what it holds in memory.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(settings->fileName(), dir.filePath("copy.ini")));
    QCOMPARE(QSettings(dir.filePath("copy.ini"), QSettings::IniFormat).value(key), value);
    QCOMPARE(IniText::read(fileBytes(settings->fileName())).value(key), value);
}

void tst_silentfaults::damagedDatabaseIsToldForTheRun()
{
    QTemporaryDir data;
    QVERIFY(writeFileBytes(data.filePath("kestro.db"), QByteArray(8192, 'x')));
    AlarmSound().setEnabled(false); // where there is no audio output, that is a fault of its own
    MainWindow window(nullptr, data.path());
    QCOMPARE(faults(window), QStringLiteral("报警日志文件损坏，已另建新文件"));
    // What the old file held is not in the new one, however well the new one works.
    typeIntoPanel(&window, PanelPrefix::Temperature, 1, "90");
    window.evaluateNow();
    QCOMPARE(window.alarmHandlingOf()->journal()->fault(), QString());
    QCOMPARE(faults(window), QStringLiteral("报警日志文件损坏，已另建新文件"));
}

void tst_silentfaults::unreadableDeadbandsAreToldUntilRead()
{
    QTemporaryDir data, kept;
    {
        StationDatabase database(kept.path());
        QVERIFY(AlarmSettingsStore(&database).save(5, 5, 2.5f, 0.5f, 3));
    }
    // Nothing can open a database where a folder stands.
    QVERIFY(QDir(data.path()).mkdir("kestro.db"));
    AlarmSound().setEnabled(false);
    MainWindow window(nullptr, data.path());
    // The joint rules, kept in the same database, judge nothing meanwhile.
    QCOMPARE(faults(window), QStringLiteral("回差延时设置无法读取，按 0 判断 │ 报警规则无法读取，暂不判断"));
    QCOMPARE(window.alarmHandlingOf()->filters().delaySeconds[4], 0);

    QVERIFY(QDir(data.path()).rmdir("kestro.db"));
    QVERIFY(QFile::rename(kept.filePath("kestro.db"), data.filePath("kestro.db")));
    // The next journal write that gets through reads them.
    typeIntoPanel(&window, PanelPrefix::Temperature, 1, "90");
    window.evaluateNow();
    QCOMPARE(faults(window), QString());
    QCOMPARE(window.alarmHandlingOf()->filters().delaySeconds[4], 3);
    QCOMPARE(window.alarmHandlingOf()->filters().temperatureDeadband[4], 2.5f);
}

KESTRO_TEST_MAIN(tst_silentfaults)
#include "tst_silentfaults.moc"
