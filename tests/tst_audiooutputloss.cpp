#include "testsupport.h"

#include "monitor/alarmsound.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QtEndian>

// A sound server of the test's own: a PulseAudio daemon with one null sink, on a socket in a
// private folder, so the real user's sound is never touched.
struct SoundServer
{
    QTemporaryDir dir;
    ChildProcess daemon;
    const QString socket = dir.filePath(QStringLiteral("native"));

    ~SoundServer() { kill(); }

    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        daemon.setProcessEnvironment(environment);
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.start(QStringLiteral("pulseaudio"),
                     {"-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
                      "--log-level=error", "-L", "module-null-sink sink_name=kestro", "-L",
                      "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
        return QTest::qWaitFor([this]() {
                   return QFile::exists(socket) || daemon.state() == QProcess::NotRunning;
               }) && QFile::exists(socket);
    }

    void kill()
    {
        daemon.kill();
        daemon.waitForFinished(3000);
        QFile::remove(socket);
    }

    // The loudest sample the sink played during the next `ms`.
    int peak(int ms)
    {
        QProcess recorder;
        recorder.start(QStringLiteral("parec"),
                       {"--server=unix:" + socket, "--device=kestro.monitor",
                        "--raw", "--format=s16le", "--channels=1", "--rate=22050"});
        QTest::qWait(ms);
        const QByteArray samples = recorder.readAllStandardOutput();
        recorder.kill();
        recorder.waitForFinished(3000);
        int loudest = 0;
        for (int at = 0; at + 1 < samples.size(); at += 2)
            loudest = qMax(loudest, qAbs(int(qFromLittleEndian<qint16>(samples.constData() + at))));
        return loudest;
    }
};

class tst_audiooutputloss : public QObject
{
    Q_OBJECT

private slots:
    void killedServerGivesTheBeepAndTheToneComesBack();
};

void tst_audiooutputloss::killedServerGivesTheBeepAndTheToneComesBack()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        QSKIP("needs pulseaudio and parec (scripts/deps installs them)");
    SoundServer server;
    QVERIFY2(server.start(), "the sound server did not come up");
    qputenv("PULSE_SERVER", "unix:" + server.socket.toUtf8()); // read at the first connection
    OutputCapture log(stderr);

    AlarmSound sound;
    QSignalSpy outputChanged(&sound, &AlarmSound::outputChanged);
    auto *beepTimer = sound.findChild<QTimer *>(QStringLiteral("beepTimer"));
    sound.setSounding(true);
    QTRY_VERIFY_WITH_TIMEOUT(server.peak(400) > 16000, 6000); // the tone, louder than -6 dBFS
    QVERIFY(!sound.usesSystemBeep());

    server.kill();
    QTRY_VERIFY_WITH_TIMEOUT(sound.usesSystemBeep() && beepTimer->isActive(), 2000);
    QTest::qWait(5500); // a try of the tone fails meanwhile, and says nothing

    QVERIFY(server.start());
    QTRY_VERIFY_WITH_TIMEOUT(!sound.usesSystemBeep() && !beepTimer->isActive(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(server.peak(400) > 16000, 3000);
    sound.setSounding(false);
    QTRY_COMPARE_WITH_TIMEOUT(server.peak(400), 0, 1000);

    const QByteArray text = log.text();
    QCOMPARE(text.count(" alarm: audio output lost, using the system beep\n"), 1);
    QCOMPARE(text.count(" alarm: audio output back, using the alarm tone\n"), 1);
    QCOMPARE(outputChanged.count(), 2);
}

KESTRO_TEST_MAIN(tst_audiooutputloss)
#include "tst_audiooutputloss.moc"
