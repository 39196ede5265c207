#include "site/passwordstore.h"
#include "site/sitedialog.h"
#include "site/sitesettings.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const char kPassword[] = "Ab3#x-\xE5\xAF\x86\xE7\xA0\x81";

QString settingsFile()
{
    return QSettings(QStringLiteral("Kestro"), QStringLiteral("station")).fileName();
}

template <typename T> T *child(QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no %s", name);
    return found;
}

} // namespace

class SiteSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void missingKeysReadAsTheirDefaults();
    void everyKeyRoundTrips();
    void passwordFileIsOwnerOnlyAndNotInTheSettings();
    void dialogAppliesAndSavesWhatWasTyped();
    void dialogRefusesWhatCannotWork_data();
    void dialogRefusesWhatCannotWork();

private:
    QTemporaryDir scratch;
};

void SiteSettingsTest::initTestCase()
{
    // A bus that cannot be reached: the password never goes to the real desktop keyring of
    // whoever runs the tests.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestro-test-bus");
}

void SiteSettingsTest::init()
{
    QSettings(QStringLiteral("Kestro"), QStringLiteral("station")).clear();
    QFile::remove(QFileInfo(settingsFile()).dir().filePath(QStringLiteral("site-password")));
}

void SiteSettingsTest::missingKeysReadAsTheirDefaults()
{
    SiteSettings loaded = SiteSettings::load();
    QCOMPARE(loaded.enabled, false);
    QCOMPARE(loaded.host, QString());
    QCOMPARE(loaded.port, 1883);
    QCOMPARE(loaded.tls, false);
    QCOMPARE(loaded.ca, QString());
    QCOMPARE(loaded.user, QString());
    QCOMPARE(loaded.station, QSysInfo::machineHostName());
    QCOMPARE(loaded.prefix, QStringLiteral("kestro"));

    QSettings(QStringLiteral("Kestro"), QStringLiteral("station")).setValue("site/tls", true);
    QCOMPARE(SiteSettings::load().port, 8883);
}

void SiteSettingsTest::everyKeyRoundTrips()
{
    SiteSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("broker.plant.example");
    settings.port = 18883;
    settings.tls = true;
    settings.ca = QStringLiteral("/etc/kestro/site-ca.pem");
    settings.user = QStringLiteral("station-7");
    settings.station = QStringLiteral("north-hall");
    settings.prefix = QStringLiteral("plant/kestro");
    settings.save();

    const QSettings raw(QStringLiteral("Kestro"), QStringLiteral("station"));
    QCOMPARE(raw.value("site/enabled").toBool(), true);
    QCOMPARE(raw.value("site/host").toString(), QStringLiteral("broker.plant.example"));
    QCOMPARE(raw.value("site/port").toInt(), 18883);
    QCOMPARE(raw.value("site/tls").toBool(), true);
    QCOMPARE(raw.value("site/ca").toString(), QStringLiteral("/etc/kestro/site-ca.pem"));
    QCOMPARE(raw.value("site/user").toString(), QStringLiteral("station-7"));
    QCOMPARE(raw.value("site/station").toString(), QStringLiteral("north-hall"));
    QCOMPARE(raw.value("site/prefix").toString(), QStringLiteral("plant/kestro"));
    QVERIFY(SiteSettings::load() == settings);
}

void SiteSettingsTest::passwordFileIsOwnerOnlyAndNotInTheSettings()
{
    SiteSettings().save();   // the settings file exists, to look for the password in
    const QString path = QFileInfo(settingsFile()).dir().filePath(QStringLiteral("site-password"));
    PasswordStore store;
    QCOMPARE(store.where(), PasswordStore::UserFile);
    QVERIFY(store.whereText().contains(QDir::toNativeSeparators(path)));

    // Once fresh, once over a copy someone left readable by all.
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6644)));
        QSignalSpy written(&store, &PasswordStore::written);
        store.write(QString::fromUtf8(kPassword));
        QVERIFY(written.wait(2000));
        QCOMPARE(written.at(0).at(0).toBool(), true);
        QCOMPARE(QFile::permissions(path) & 0x0FFF, QFileDevice::Permissions(0x0600));
#ifdef Q_OS_UNIX
        struct stat status;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), 0600);
#endif
        QCOMPARE(fileBytes(path), QByteArray(kPassword));
        QVERIFY(!fileBytes(settingsFile()).contains(QByteArray(kPassword)));
    }
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files).size(), 2);

    QSignalSpy read(&store, &PasswordStore::passwordRead);
    store.read();
    QCOMPARE(read.count(), 0);   // answered later, as the secret store would
    QVERIFY(read.wait(2000));
    QCOMPARE(read.at(0).at(0).toString(), QString::fromUtf8(kPassword));
    QCOMPARE(read.at(0).at(1).toString(), QString());
}

void SiteSettingsTest::dialogAppliesAndSavesWhatWasTyped()
{
    SiteDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("远程发布"));
    QCOMPARE(child<QLineEdit>(&dialog, "site_password")->echoMode(), QLineEdit::Password);
    const QString ca = scratch.filePath(QStringLiteral("ca.pem"));
    QVERIFY(writeFileBytes(ca, "-----BEGIN CERTIFICATE-----\n"));
    child<QCheckBox>(&dialog, "site_enabled")->setChecked(true);
    QTest::keyClicks(child<QLineEdit>(&dialog, "site_host"), QStringLiteral("10.0.0.5"));
    child<QCheckBox>(&dialog, "site_tls")->setChecked(true);
    QCOMPARE(child<QSpinBox>(&dialog, "site_port")->value(), 8883);
    QTest::keyClicks(child<QLineEdit>(&dialog, "site_ca"), ca);
    QTest::keyClicks(child<QLineEdit>(&dialog, "site_user"), QStringLiteral("hall"));
    child<QLineEdit>(&dialog, "site_password")->insert(QString::fromUtf8(kPassword));
    child<QLineEdit>(&dialog, "site_station")->setText(QStringLiteral("east"));
    child<QLineEdit>(&dialog, "site_prefix")->setText(QStringLiteral("works"));

    QSignalSpy applied(&dialog, &SiteDialog::settingsApplied);
    QTest::mouseClick(child<QPushButton>(&dialog, "site_apply"), Qt::LeftButton);
    QCOMPARE(applied.count(), 1);
    const SiteSettings sent = applied.at(0).at(0).value<SiteSettings>();
    QCOMPARE(sent.host, QStringLiteral("10.0.0.5"));
    QCOMPARE(sent.port, 8883);
    QCOMPARE(sent.ca, ca);
    QCOMPARE(sent.station, QStringLiteral("east"));
    QCOMPARE(applied.at(0).at(1).toString(), QString::fromUtf8(kPassword));
    QVERIFY(SiteSettings::load() == sent);

    // Left empty the second time: the password stored the first time goes out.
    QTest::mouseClick(child<QPushButton>(&dialog, "site_apply"), Qt::LeftButton);
    QVERIFY(applied.wait(2000));
    QCOMPARE(applied.at(1).at(1).toString(), QString::fromUtf8(kPassword));
    QVERIFY(!fileBytes(settingsFile()).contains(QByteArray(kPassword)));
}

void SiteSettingsTest::dialogRefusesWhatCannotWork_data()
{
    QTest::addColumn<QString>("ca");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("refusal"); // empty: applied

    const QString level = QStringLiteral("不能含有 / + # 或空格");
    QTest::newRow("no CA file: the system's authorities") << "" << "east" << "works" << "";
    QTest::newRow("CA file missing") << "none.pem" << "east" << "works" << "CA 文件不存在：";
    QTest::newRow("prefix of two levels") << "" << "east" << "site/a" << "前缀" + level;
    QTest::newRow("wildcard in the prefix") << "" << "east" << "a#" << "前缀" + level;
    QTest::newRow("space in the station") << "" << "一号站 北" << "works" << "站名" + level;
    QTest::newRow("wildcard in the station") << "" << "st+6" << "works" << "站名" + level;
}

void SiteSettingsTest::dialogRefusesWhatCannotWork()
{
    QFETCH(QString, ca);
    QFETCH(QString, station);
    QFETCH(QString, prefix);
    QFETCH(QString, refusal);
    SiteDialog dialog;
    child<QCheckBox>(&dialog, "site_enabled")->setChecked(true);
    child<QLineEdit>(&dialog, "site_host")->setText(QStringLiteral("10.0.0.5"));
    child<QCheckBox>(&dialog, "site_tls")->setChecked(true);
    child<QLineEdit>(&dialog, "site_ca")->setText(ca.isEmpty() ? ca : scratch.filePath(ca));
    child<QLineEdit>(&dialog, "site_station")->setText(station);
    child<QLineEdit>(&dialog, "site_prefix")->setText(prefix);
    QSignalSpy applied(&dialog, &SiteDialog::settingsApplied);
    QTest::mouseClick(child<QPushButton>(&dialog, "site_apply"), Qt::LeftButton);
    const QString shown = child<QLabel>(&dialog, "site_message")->text();
    QVERIFY2(refusal.isEmpty() ? shown.isEmpty() : shown.startsWith(refusal), qPrintable(shown));
    QCOMPARE(applied.count(), refusal.isEmpty() ? 1 : 0);
    QCOMPARE(SiteSettings::load().tls, refusal.isEmpty());

    child<QCheckBox>(&dialog, "site_tls")->setChecked(false);
    QCOMPARE(child<QSpinBox>(&dialog, "site_port")->value(), 1883);
}

KESTRO_TEST_MAIN(SiteSettingsTest)
#include "tst_sitesettings.moc"
