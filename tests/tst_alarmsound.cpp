#include "testsupport.h"

#include "monitor/alarmsound.h"

#include <QAudioDeviceInfo>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QVector>
#include <QtEndian>
#include <algorithm>
#include <cstdio>

class tst_alarmsound : public QObject
{
    Q_OBJECT

private slots:
    void toneIsALoopableWave();
    // First to sound in this process, so the process's one log line is its own.
    void withoutAudioOutputTheBeepRepeats();
    void settingPersistsAndOffIsSilent();
};

void tst_alarmsound::toneIsALoopableWave()
{
    AlarmSound sound; // brings the tone's resources in
    QFile file(QStringLiteral(":/sound/alarm.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    QCOMPARE(wav.size(), 44 + 44100);
    // RIFF 44136 WAVE, "fmt " 16: PCM mono 22050 Hz 44100 B/s 2 B/frame 16 bit, data 44100
    QCOMPARE(wav.left(44).toHex(), QByteArray("5249464668ac000057415645666d7420100000000100"
                                              "01002256000044ac0000020010006461746144ac0000"));
    QVector<int> level;
    for (int at = 44; at < wav.size(); at += 2)
        level << qAbs(int(qFromLittleEndian<qint16>(wav.constData() + at)));
    QVERIFY2(*std::max_element(level.cbegin(), level.cend()) > 16000, "louder than -6 dBFS");
    // Both ends at rest, so the loop seam does not click.
    QVERIFY(level.first() < 100 && level.last() < 100);
}

void tst_alarmsound::withoutAudioOutputTheBeepRepeats()
{
    if (!QAudioDeviceInfo::defaultOutputDevice().isNull())
        QSKIP("this machine has an audio output");
    OutputCapture errors(stderr);

    AlarmSound sound;
    sound.setSounding(true);
    QVERIFY(sound.isSounding() && sound.usesSystemBeep());
    const auto beepTimer = sound.findChild<QTimer *>(QStringLiteral("beepTimer")); // about once a second
    QVERIFY(beepTimer && beepTimer->isActive() && !beepTimer->isSingleShot() &&
            beepTimer->interval() >= 500 && beepTimer->interval() <= 2000);
    sound.setSounding(false);
    QVERIFY(!sound.isSounding() && !beepTimer->isActive());
    sound.setSounding(true);
    AlarmSound second;
    second.setSounding(true);
    QVERIFY(second.usesSystemBeep());

    const QRegularExpression line(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                                 "alarm: no audio output, using the system beep$"),
                                  QRegularExpression::MultilineOption);
    int lines = 0;
    for (auto it = line.globalMatch(QString::fromLocal8Bit(errors.text())); it.hasNext();
         it.next())
        ++lines;
    QCOMPARE(lines, 1);
}

void tst_alarmsound::settingPersistsAndOffIsSilent()
{
    AlarmSound sound;
    QVERIFY(sound.isEnabled());
    sound.setSounding(true); // off must also silence what already sounds
    sound.setEnabled(false);
    QVERIFY(!sound.isSounding());
    const auto beepTimer = sound.findChild<QTimer *>(QStringLiteral("beepTimer"));
    QVERIFY(!beepTimer || !beepTimer->isActive());
    QCOMPARE(QSettings(QStringLiteral("Kestro"), QStringLiteral("station")).value("alarm/sound"),
             QVariant(false));

    AlarmSound next;
    next.setSounding(true);
    QVERIFY(!next.isEnabled() && !next.isSounding());
    next.setEnabled(true);
    QVERIFY(AlarmSound().isEnabled());
}

KESTRO_TEST_MAIN(tst_alarmsound)
#include "tst_alarmsound.moc"
