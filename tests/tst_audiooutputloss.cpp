#include "testsupport.h"

#include "monitor/alarmsound.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

// A sound server of the test's own: a PulseAudio daemon with one null sink, on a socket in a
// private folder, so the real user's sound is never touched.
class SoundServer
{
public:
    ~SoundServer() { kill(); }

    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        daemon.setProcessEnvironment(environment);
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList options = QStringLiteral("-n --daemonize=no --use-pid-file=no "
                                                   "--exit-idle-time=-1 --log-level=error")
                                        .split(QLatin1Char(' '));
        daemon.start(QStringLiteral("pulseaudio"),
                     options + QStringList{"-L", "module-null-sink sink_name=kestro", "-L",
                                           "module-native-protocol-unix auth-anonymous=1 socket=" +
                                               socket()});
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(socket()) && daemon.state() != QProcess::NotRunning &&
               clock.elapsed() < 5000)
            QTest::qWait(20);
        return QFile::exists(socket());
    }

    void kill()
    {
        daemon.kill();
        daemon.waitForFinished(3000);
        QFile::remove(socket());
    }

    QByteArray address() const { return "unix:" + socket().toUtf8(); }

    // The loudest sample the sink played during the next `ms`.
    int peak(int ms)
    {
        QProcess recorder;
        recorder.start(QStringLiteral("parec"),
                       QStringLiteral("--server=%1 --device=kestro.monitor --raw --format=s16le "
                                      "--channels=1 --rate=22050")
                           .arg(QString::fromUtf8(address()))
                           .split(QLatin1Char(' ')));
        QTest::qWait(ms);
        const QByteArray samples = recorder.readAllStandardOutput();
        recorder.kill();
        recorder.waitForFinished(3000);
        int loudest = 0;
        for (int at = 0; at + 1 < samples.size(); at += 2)
            loudest = qMax(loudest, qAbs(int(qFromLittleEndian<qint16>(samples.constData() + at))));
        return loudest;
    }

private:
    QString socket() const { return dir.filePath(QStringLiteral("native")); }

    QTemporaryDir dir;
    ChildProcess daemon;
};

class tst_audiooutputloss : public QObject
{
    Q_OBJECT

private slots:
    void killedServerGivesTheBeepAndTheToneComesBack();
};

namespace {

int count(const QByteArray &text, const QByteArray &line)
{
    return text.count(" alarm: " + line + '\n');
}

} // namespace

void tst_audiooutputloss::killedServerGivesTheBeepAndTheToneComesBack()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        QSKIP("needs pulseaudio and parec (scripts/deps installs them)");
    SoundServer server;
    QVERIFY2(server.start(), "the sound server did not come up");
    // Read by the audio library when it first connects, which is below.
    qputenv("PULSE_SERVER", server.address());
    OutputCapture log(stderr);

    AlarmSound sound;
    QSignalSpy outputChanged(&sound, &AlarmSound::outputChanged);
    sound.setSounding(true);
    QTRY_VERIFY_WITH_TIMEOUT(server.peak(400) > 16000, 6000); // the tone, louder than -6 dBFS
    QVERIFY(!sound.usesSystemBeep());

    QElapsedTimer sinceKill;
    server.kill();
    sinceKill.start();
    QTRY_VERIFY_WITH_TIMEOUT(sound.usesSystemBeep(), 2000);
    qInfo("system beep %lld ms after the sound server was killed", sinceKill.elapsed());
    QVERIFY(sound.findChild<QTimer *>(QStringLiteral("beepTimer"))->isActive());
    QTest::qWait(5500); // a try of the tone fails meanwhile, and says nothing

    QVERIFY(server.start());
    QTRY_VERIFY_WITH_TIMEOUT(!sound.usesSystemBeep(), 10000);
    QVERIFY(!sound.findChild<QTimer *>(QStringLiteral("beepTimer"))->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(server.peak(400) > 16000, 3000);
    sound.setSounding(false);
    QTest::qWait(300);
    QCOMPARE(server.peak(400), 0);

    const QByteArray text = log.text();
    QCOMPARE(count(text, "audio output lost, using the system beep"), 1);
    QCOMPARE(count(text, "audio output back, using the alarm tone"), 1);
    QCOMPARE(outputChanged.count(), 2);
}

KESTRO_TEST_MAIN(tst_audiooutputloss)
#include "tst_audiooutputloss.moc"
