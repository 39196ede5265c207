#pragma once

#include <QCoreApplication>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <QtMessageHandler>
#include <functional>
#include <memory>

// A helper process that is killed when the test process dies, however it dies: one left
// behind would keep the test's output open and hold CTest up until its own timeout.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override;
};

// Collects debug output while alive, so tests can check the station's log lines.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    bool contains(const QString &text) const { return captured.contains(text); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    static MessageCapture *active;
    QtMessageHandler previous;
    QStringList captured;
};

// A linked pair of pseudo-terminals made by socat; closed when destroyed.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    // May be called again after stop(): the new pair appears under the same paths,
    // as a replugged adapter does.
    bool start(QString *error);
    // Takes the link away, as pulling out a USB adapter does.
    void stop();
    QString stationEnd() const { return dir.filePath(QStringLiteral("station")); }
    QString concentratorEnd() const { return dir.filePath(QStringLiteral("concentrator")); }

private:
    QTemporaryDir dir;
    ChildProcess socat;
};

// The concentrator simulator on a device path, or with none on what its options name (a Modbus
// TCP port); stopped when destroyed.
class Simulator
{
public:
    ~Simulator();
    bool start(const QString &device, const QStringList &options, QString *error);
    void stop();
    // What it has written to standard output since start() saw it ready.
    QByteArray output() { return process.readAllStandardOutput(); }

private:
    ChildProcess process;
};

// The whole file, or nothing when it cannot be read.
QByteArray fileBytes(const QString &path);
// Replaces the file with exactly these bytes; false when that fails.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
// The rows of `sql` over the data folder's kestro.db, each its columns joined by "|"; none
// when it cannot be read.
QStringList databaseRows(const QString &directory, const QString &sql);

// Points the per-user settings of this test process at an empty folder of its own,
// so no test reads or writes the real user's settings or another test's.
class IsolatedSettings
{
public:
    IsolatedSettings();

private:
    QTemporaryDir dir;
};

// A tmpfs of its own, in a mount namespace private to this test process and its children,
// so it goes with the process however that ends. Mounting needs root, as the suite has.
class SmallDisk
{
public:
    explicit SmallDisk(int megabytes);
    ~SmallDisk();
    bool isMounted() const { return mounted; }
    QString path() const { return dir.path(); }
    // Fills it with a file of its own until `leave` bytes (whole 4 KiB pages) are free.
    bool fill(qint64 leave);
    // Gives the space back.
    void release();
    // Mounted read-only from now on, as a backup's medium may be.
    bool makeReadOnly();

private:
    QTemporaryDir dir;
    bool mounted = false;
};

// How a kill campaign runs: KESTRO_SOAK_KILLS kills (default `defaultKills`) at random
// offsets of 1..KESTRO_SOAK_KILL_MS ms (default 250), from KESTRO_SOAK_SEED (default random),
// which is printed under `name` so a failing run can be repeated.
struct KillCampaign
{
    KillCampaign(const char *name, int defaultKills);
    int kills;
    int longestMs;
    quint32 seed;
};

// mosquitto_sub on everything under kestro/, each message as "retain qos topic payload".
class MqttSubscriber
{
public:
    ~MqttSubscriber() { stop(); }
    // Returns once a probe of its own has come back, without running the event loop, so
    // the station cannot publish anything meanwhile that would pass unseen.
    bool start(int port);
    // The messages of one station so far.
    QStringList messages(const QString &station = QStringLiteral("s1"));
    // What it printed stays readable.
    void stop();

private:
    QByteArray read() { return output += process.readAllStandardOutput(); }
    ChildProcess process;
    QByteArray output;
};

// What the code under test writes to standard output or standard error while alive.
class OutputCapture
{
public:
    explicit OutputCapture(std::FILE *stream);
    ~OutputCapture() { restore(); }
    // All of it so far; the stream goes back to where it went before.
    QByteArray text();

private:
    void restore();
    std::FILE *stream;
    QTemporaryFile file;
    int saved = -1;
};

// Runs one function of this test executable again in a child whose system locale is `locale`
// (Qt reads it from the environment once, at start): empty when all of it passed, else the
// child's output.
QByteArray failuresUnderLocale(const QString &locale, const QString &testFunction);

// A mosquitto broker on a free loopback port with a generated configuration; stopped
// (SIGTERM, then SIGKILL) when destroyed.
class Broker
{
public:
    Broker();
    ~Broker();
    // extraLines go into the generated configuration after "listener <port> 127.0.0.1" and
    // "allow_anonymous true" (pass "allow_anonymous false" + "password_file ..." to require a
    // password, or TLS lines). False, with the reason, when it does not come up in 5 s.
    bool start(QString *error, const QStringList &extraLines = QStringList());
    void kill();                       // SIGKILL, as a crash
    bool restart(QString *error);      // same port, same configuration
    int port() const;
    QString scratchPath() const;       // its own folder, for password files and certificates
    qint64 pid() const;

private:
    bool launch(QString *error);

    QTemporaryDir dir;
    ChildProcess process;
    int listenPort = 0;
};

// The site link of this process's stations on, publishing to the broker as `station`; false
// when the settings could not be saved.
bool publishToBroker(const Broker &broker, const QString &station);

// A test that links the window gets its fixtures too, and QApplication in KESTRO_TEST_MAIN.
#ifdef QT_WIDGETS_LIB
#include "windowsupport.h"
#else
// QTEST_MAIN with the settings isolated before anything can touch them; a test of the
// station's core has no display and needs none.
#define KESTRO_TEST_MAIN(TestObject)                                                       \
    int main(int argc, char *argv[])                                                       \
    {                                                                                      \
        IsolatedSettings settings;                                                         \
        QCoreApplication app(argc, argv);                                                  \
        TestObject test;                                                                   \
        return QTest::qExec(&test, argc, argv);                                            \
    }
#endif
