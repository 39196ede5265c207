#include "site/passwordstore.h"

#include "config/stationsettings.h"
#include "core/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <qt5keychain/keychain.h>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS) && !defined(Q_OS_ANDROID)
#define KESTRO_SECRET_SERVICE_ON_BUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QStringList>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const char kService[] = "Kestro station";

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Makes sure the file exists and nobody else may read it before any password goes in:
// the whole-file write then gives its fresh copy the same permissions from the start.
bool prepareOwnerOnly(const QString &path, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QObject::tr("无法创建目录 %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST) {
        *error = qt_error_string(errno);
        return false;
    }
#else
    if (!QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = file.errorString();
            return false;
        }
    }
#endif
    if (!QFile::setPermissions(path, kOwnerOnly)) {
        *error = QObject::tr("无法限制文件权限：%1").arg(path);
        return false;
    }
    return true;
}

} // namespace

PasswordStore::PasswordStore(QObject *parent, const QString &name)
    : QObject(parent), entry(name), place(secretStoreRuns() ? SecretStore : UserFile)
{
}

bool PasswordStore::secretStoreRuns()
{
    // Asked once: the answer does not change while the station runs, and the bus is not
    // asked again each time the dialog opens.
    static const bool runs = [] {
#ifdef KESTRO_SECRET_SERVICE_ON_BUS
        const QDBusConnection bus = QDBusConnection::sessionBus();
        QDBusConnectionInterface *names = bus.isConnected() ? bus.interface() : nullptr;
        if (!names)
            return false;
        const QStringList services = {QStringLiteral("org.freedesktop.secrets"),
                                      QStringLiteral("org.kde.kwalletd5"),
                                      QStringLiteral("org.kde.kwalletd6")};
        for (const QString &service : services) {
            if (names->isServiceRegistered(service))
                return true;
        }
        // A keyring the bus starts on first use is as good as a running one.
        const QDBusReply<QStringList> activatable =
            names->call(QStringLiteral("ListActivatableNames"));
        return activatable.isValid()
               && activatable.value().contains(QStringLiteral("org.freedesktop.secrets"));
#else
        // Windows and macOS always have their credential store.
        return true;
#endif
    }();
    return runs;
}

PasswordStore::Where PasswordStore::where() const
{
    return place;
}

QString PasswordStore::whereText() const
{
    if (place == SecretStore)
        return tr("密码保存在桌面密钥库");
    return tr("密码保存在仅本用户可读的文件：%1").arg(QDir::toNativeSeparators(userFilePath()));
}

QString PasswordStore::userFilePath() const
{
    return QFileInfo(StationSettings::open()->fileName()).dir().filePath(entry + QLatin1String("-password"));
}

void PasswordStore::read()
{
    if (place == SecretStore)
        readSecret();
    else
        QMetaObject::invokeMethod(this, &PasswordStore::readFile, Qt::QueuedConnection);
}

void PasswordStore::write(const QString &password)
{
    if (place == SecretStore)
        writeSecret(password);
    else
        QMetaObject::invokeMethod(this, [this, password] { writeFile(password); },
                                  Qt::QueuedConnection);
}

void PasswordStore::readSecret()
{
    auto *job = new QKeychain::ReadPasswordJob(QLatin1String(kService), this);
    job->setKey(entry);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        switch (job->error()) {
        case QKeychain::NoError:
            emit passwordRead(job->textData(), QString());
            break;
        case QKeychain::EntryNotFound:
            // Kept in the file before a secret store came to this desktop.
            readFile();
            break;
        case QKeychain::NoBackendAvailable:
            fallBackToFile();
            readFile();
            break;
        default:
            emit passwordRead(QString(), job->errorString());
            break;
        }
    });
    job->start();
}

void PasswordStore::writeSecret(const QString &password)
{
    auto *job = new QKeychain::WritePasswordJob(QLatin1String(kService), this);
    job->setKey(entry);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, job, password] {
        switch (job->error()) {
        case QKeychain::NoError:
            // No second copy left behind in the file.
            QFile::remove(userFilePath());
            emit written(true, QString());
            break;
        case QKeychain::NoBackendAvailable:
            fallBackToFile();
            writeFile(password);
            break;
        default:
            emit written(false, job->errorString());
            break;
        }
    });
    job->start();
}

void PasswordStore::readFile()
{
    QFile file(userFilePath());
    if (!file.exists()) {
        emit passwordRead(QString(), QString());
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        emit passwordRead(QString(), file.errorString());
        return;
    }
    emit passwordRead(QString::fromUtf8(file.readAll()), QString());
}

void PasswordStore::writeFile(const QString &password)
{
    const QString path = userFilePath();
    QString error;
    bool ok = prepareOwnerOnly(path, &error) && WholeFile::write(path, password.toUtf8(), &error);
    // Checked again after the rename: should the copy have come out readable by others,
    // it is closed at once, and a file that cannot be closed is taken away.
    if (ok && (QFile::permissions(path) & ~(kOwnerOnly | QFileDevice::ReadUser
                                            | QFileDevice::WriteUser))
        && !QFile::setPermissions(path, kOwnerOnly)) {
        QFile::remove(path);
        ok = false;
        error = tr("无法限制文件权限：%1").arg(path);
    }
    emit written(ok, ok ? QString() : error);
}

void PasswordStore::fallBackToFile()
{
    place = UserFile;
    emit whereChanged();
}
