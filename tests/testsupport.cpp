#include "testsupport.h"

#include "config/stationsettings.h"
#include "site/sitesettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#define close _close
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#else
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#endif

void ChildProcess::setupChildProcess()
{
#ifdef Q_OS_LINUX
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
}

IsolatedSettings::IsolatedSettings()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(StationSettings::format(), QSettings::UserScope, dir.path());
    // The login-start entry and anything else kept under the user's config folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
}

MessageCapture *MessageCapture::active = nullptr;

MessageCapture::MessageCapture()
{
    active = this;
    previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

void MessageCapture::handler(QtMsgType, const QMessageLogContext &, const QString &text)
{
    if (active)
        active->captured.append(text);
}

namespace {

// Asks politely first, so the child can release its terminal; returns false when nothing ran.
bool stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return false;
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
    process.waitForFinished(3000);
    return true;
}

} // namespace

PtyPair::PtyPair() = default;

PtyPair::~PtyPair()
{
    stop();
}

void PtyPair::stop()
{
    if (!stopProcess(socat))
        return;
    // A killed socat leaves its links behind; a new pair could not be made under them.
    QFile::remove(stationEnd());
    QFile::remove(concentratorEnd());
}

bool PtyPair::start(QString *error)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (program.isEmpty()) {
        *error = QStringLiteral("socat is not installed (scripts/deps installs it)");
        return false;
    }
    socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat.start(program, {QStringLiteral("pty,raw,echo=0,link=") + stationEnd(),
                          QStringLiteral("pty,raw,echo=0,link=") + concentratorEnd()});
    if (!socat.waitForStarted(5000)) {
        *error = QStringLiteral("socat did not start");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (QFileInfo::exists(stationEnd()) && QFileInfo::exists(concentratorEnd()))
            return true;
        QTest::qWait(20);
    }
    *error = QStringLiteral("socat made no pseudo-terminals");
    return false;
}

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const QString &device, const QStringList &options, QString *error)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // No device: the options name where it serves (--mbtcp PORT).
    process.start(QStringLiteral(KESTRO_SIMULATOR_PATH),
                  (device.isEmpty() ? QStringList() : QStringList{QStringLiteral("--device"), device}) + options);
    if (!process.waitForStarted(5000)) {
        *error = QStringLiteral("simulator did not start: ") + process.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (clock.elapsed() < 10000 && !out.contains('\n')) {
        if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
            break;
        out += process.readAllStandardOutput();
    }
    if (!out.startsWith("ready")) {
        *error = QStringLiteral("simulator not ready: ") + QString::fromLocal8Bit(out);
        return false;
    }
    return true;
}

void Simulator::stop()
{
    stopProcess(process);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList databaseRows(const QString &directory, const QString &sql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(QDir(directory).filePath(QStringLiteral("kestro.db")));
        QSqlQuery query(db);
        if (db.open() && query.exec(sql)) {
            while (query.next()) {
                QStringList fields;
                for (int k = 0; k < query.record().count(); ++k)
                    fields << query.value(k).toString();
                rows << fields.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

SmallDisk::SmallDisk(int megabytes)
{
#ifdef Q_OS_LINUX
    static const bool privateMounts = ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
    mounted = privateMounts && dir.isValid()
        && ::mount("tmpfs", QFile::encodeName(dir.path()), "tmpfs", 0, options) == 0;
#else
    Q_UNUSED(megabytes);
#endif
}

SmallDisk::~SmallDisk()
{
#ifdef Q_OS_LINUX
    if (mounted)
        ::umount2(QFile::encodeName(dir.path()), MNT_DETACH);
#endif
}

bool SmallDisk::fill(qint64 leave)
{
    QFile filler(dir.filePath(QStringLiteral(".filler")));
    const QByteArray block(64 * 1024, 'f');
    if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
        return false;
    while (filler.write(block) > 0) {
    }
    return filler.size() >= leave && filler.resize(filler.size() - leave);
}

void SmallDisk::release()
{
    QFile::remove(dir.filePath(QStringLiteral(".filler")));
}

bool SmallDisk::makeReadOnly()
{
#ifdef Q_OS_LINUX
    return mounted && ::mount(nullptr, QFile::encodeName(dir.path()), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
#else
    return false;
#endif
}

KillCampaign::KillCampaign(const char *name, int defaultKills)
{
    bool ok = false;
    kills = qEnvironmentVariableIntValue("KESTRO_SOAK_KILLS", &ok);
    if (!ok || kills <= 0)
        kills = defaultKills;
    longestMs = qEnvironmentVariableIntValue("KESTRO_SOAK_KILL_MS", &ok);
    if (!ok || longestMs <= 0)
        longestMs = 250;
    seed = qEnvironmentVariable("KESTRO_SOAK_SEED").toUInt(&ok);
    if (!ok)
        seed = QRandomGenerator::system()->generate();
    qInfo("%s: seed %u (KESTRO_SOAK_SEED=%u repeats it), offsets 1..%d ms", name, seed, seed,
          longestMs);
}

Broker::Broker() = default;

Broker::~Broker()
{
    stopProcess(process);
}

bool Broker::start(QString *error, const QStringList &extraLines)
{
    QTcpServer probe;
    if (!dir.isValid() || !probe.listen(QHostAddress::LocalHost, 0)) {
        *error = QStringLiteral("no scratch folder or no free port");
        return false;
    }
    listenPort = probe.serverPort();
    probe.close();
    QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(listenPort),
                      QStringLiteral("allow_anonymous true")};
    lines += extraLines;
#ifdef Q_OS_UNIX
    // Started as root it would drop to its own user and could no longer read this folder.
    if (::geteuid() == 0)
        lines += QStringLiteral("user root");
#endif
    lines += QStringLiteral("log_type error");
    if (!writeFileBytes(dir.filePath(QStringLiteral("broker.conf")),
                        lines.join(QLatin1Char('\n')).toUtf8() + '\n')) {
        *error = QStringLiteral("cannot write the broker configuration");
        return false;
    }
    return launch(error);
}

bool Broker::launch(QString *error)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("/usr/sbin/mosquitto"),
                  {QStringLiteral("-c"), dir.filePath(QStringLiteral("broker.conf"))});
    if (!process.waitForStarted(5000)) {
        *error = QStringLiteral("mosquitto did not start: ") + process.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000 && process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listenPort));
        if (socket.waitForConnected(200))
            return true;
        QTest::qWait(50);
    }
    *error = QStringLiteral("mosquitto is not listening on port %1").arg(listenPort);
    stopProcess(process);
    return false;
}

void Broker::kill()
{
    process.kill();
    process.waitForFinished(3000);
}

bool Broker::restart(QString *error)
{
    stopProcess(process);
    return launch(error);
}

int Broker::port() const
{
    return listenPort;
}

QString Broker::scratchPath() const
{
    return dir.path();
}

qint64 Broker::pid() const
{
    return process.processId();
}

bool MqttSubscriber::start(int port)
{
    const QStringList broker{"-h", "127.0.0.1", "-p", QString::number(port)};
    process.start("mosquitto_sub", broker + QStringList{"-q", "1", "-t", "kestro/#", "-F", "%r %q %t %p"});
    for (int tries = 0; tries < 25 && !read().contains(" kestro/probe "); ++tries) {
        QProcess::execute("mosquitto_pub", broker + QStringList{"-t", "kestro/probe", "-m", "-"});
        process.waitForReadyRead(200);
    }
    return output.contains(" kestro/probe ");
}

QStringList MqttSubscriber::messages(const QString &station)
{
    return QString::fromUtf8(read()).split('\n').filter(
        QRegularExpression(QStringLiteral("^[01] [012] kestro/%1/").arg(QRegularExpression::escape(station))));
}

void MqttSubscriber::stop()
{
    process.kill();
    process.waitForFinished(2000);
    read();
}

OutputCapture::OutputCapture(std::FILE *captured) : stream(captured)
{
    file.open();
    std::fflush(stream);
    saved = dup(fileno(stream));
    dup2(file.handle(), fileno(stream));
}

QByteArray OutputCapture::text()
{
    restore();
    file.seek(0);
    return file.readAll();
}

void OutputCapture::restore()
{
    if (saved < 0)
        return;
    std::fflush(stream);
    dup2(saved, fileno(stream));
    close(saved);
    saved = -1;
}

QByteArray failuresUnderLocale(const QString &locale, const QString &testFunction)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale + QStringLiteral(".UTF-8"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {testFunction});
    if (!child.waitForFinished(120000))
        return "no end within 120 s";
    const QByteArray output = child.readAll();
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && output.contains(" 0 failed") && !output.contains("Totals: 0 passed");
    return passed ? QByteArray() : output;
}

bool publishToBroker(const Broker &broker, const QString &station)
{
    SiteSettings site;
    site.enabled = true;
    site.host = QStringLiteral("127.0.0.1");
    site.port = broker.port();
    site.station = station;
    return site.save();
}
