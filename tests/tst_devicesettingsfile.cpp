#include "config/devicesettingsfile.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

namespace {

QVector<QString> sampleLines()
{
    QVector<QString> lines(600);
    for (int j = 0; j < 600; ++j)
        lines[j] = QStringLiteral("v%1").arg(j + 1);
    lines[0] = QStringLiteral("  1号主变 ");
    lines[1] = QString();
    lines[200] = QStringLiteral("A相出线柜");
    lines[400] = QStringLiteral("-0.5");
    lines[599] = QStringLiteral("abc");
    return lines;
}

} // namespace

class DeviceSettingsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void savedTextsReadBackExactly();
    void chineseSurvivesAPlainCLocale();
    void shortLongAndMissingFiles();
    void lineBreaksInsideATextDoNotShiftTheFile();
    void aFailedSaveLeavesThePreviousFile();

private:
    QTemporaryDir dir;
};

void DeviceSettingsFileTest::savedTextsReadBackExactly()
{
    const QString path = dir.filePath(QStringLiteral("save_data.txt"));
    QString error;
    QVERIFY2(DeviceSettingsFile::save(path, sampleLines(), &error), qPrintable(error));
    QVector<QString> read;
    QVERIFY(DeviceSettingsFile::load(path, &read));
    QCOMPARE(read, sampleLines());

    const QByteArray bytes = fileBytes(path);
#ifndef Q_OS_WIN
    // UTF-8 without a byte-order mark, every line ended, the last one too.
    QVERIFY(bytes.startsWith(QByteArray("  1\xE5\x8F\xB7\xE4\xB8\xBB\xE5\x8F\x98 \n\nv3\n")));
    QVERIFY(bytes.endsWith("\nabc\n"));
    QCOMPARE(bytes.count('\n'), 600);
#endif
}

void DeviceSettingsFileTest::chineseSurvivesAPlainCLocale()
{
    QTextCodec *previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QString path = dir.filePath(QStringLiteral("c-locale.txt"));
    QString error;
    const bool saved = DeviceSettingsFile::save(path, sampleLines(), &error);
    QVector<QString> read;
    const bool loaded = DeviceSettingsFile::load(path, &read);
    QTextCodec::setCodecForLocale(previous);
    QVERIFY(saved && loaded);
#ifndef Q_OS_WIN
    QCOMPARE(read.at(0), QStringLiteral("  1号主变 "));
    QCOMPARE(read.at(200), QStringLiteral("A相出线柜"));
#endif
}

void DeviceSettingsFileTest::shortLongAndMissingFiles()
{
    QVector<QString> read;
    QVERIFY(!DeviceSettingsFile::load(dir.filePath(QStringLiteral("none.txt")), &read));
    QCOMPARE(read.size(), 600);
    QVERIFY(read.at(0).isEmpty() && read.at(599).isEmpty());

    // 250 lines with Windows line ends and no end on the last one.
    QByteArray shortFile;
    for (int line = 1; line <= 250; ++line)
        shortFile += "n" + QByteArray::number(line) + (line < 250 ? "\r\n" : "");
    const QString shortPath = dir.filePath(QStringLiteral("short.txt"));
    QVERIFY(writeFileBytes(shortPath, shortFile));
    QVERIFY(DeviceSettingsFile::load(shortPath, &read));
    QCOMPARE(read.at(0), QStringLiteral("n1"));
    QCOMPARE(read.at(249), QStringLiteral("n250"));
    QCOMPARE(read.at(250), QString());
    QCOMPARE(read.at(599), QString());

    QByteArray longFile;
    for (int line = 1; line <= 650; ++line)
        longFile += "x" + QByteArray::number(line) + "\n";
    const QString longPath = dir.filePath(QStringLiteral("long.txt"));
    QVERIFY(writeFileBytes(longPath, longFile));
    QVERIFY(DeviceSettingsFile::load(longPath, &read));
    QCOMPARE(read.size(), 600);
    QCOMPARE(read.at(599), QStringLiteral("x600"));
}

void DeviceSettingsFileTest::lineBreaksInsideATextDoNotShiftTheFile()
{
    QVector<QString> lines = sampleLines();
    lines[5] = QStringLiteral("two\nlines\r");
    const QString path = dir.filePath(QStringLiteral("breaks.txt"));
    QString error;
    QVERIFY(DeviceSettingsFile::save(path, lines, &error));
    QVector<QString> read;
    QVERIFY(DeviceSettingsFile::load(path, &read));
    QCOMPARE(read.at(5), QStringLiteral("two lines "));
    QCOMPARE(read.at(6), QStringLiteral("v7"));
    QCOMPARE(read.at(599), QStringLiteral("abc"));
}

void DeviceSettingsFileTest::aFailedSaveLeavesThePreviousFile()
{
    // A folder where the file should be: nothing can replace it.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("blocked")));
    QString error;
    QVERIFY(!DeviceSettingsFile::save(blocked, sampleLines(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(blocked).isDir());

    // Under a path that is a file: the save fails, the file stays as it was and nothing
    // half-written is left beside it.
    QTemporaryDir own;
    const QString previous = own.filePath(QStringLiteral("previous.txt"));
    QVERIFY(writeFileBytes(previous, "old\n"));
    QVERIFY(!DeviceSettingsFile::save(previous + QStringLiteral("/save_data.txt"), sampleLines(),
                                      &error));
    QCOMPARE(fileBytes(previous), QByteArray("old\n"));
    QCOMPARE(QDir(own.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"previous.txt"});
}

QTEST_APPLESS_MAIN(DeviceSettingsFileTest)
#include "tst_devicesettingsfile.moc"
