#include "core/wholefile.h"

#include <QSaveFile>

#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// commit() alone is not trusted (Qt 5.15): it flushes its write buffer at close without
// looking at the result and ignores a failed sync, so on a full disk it reports success
// and puts an empty or cut file in place of the old one. Hence the unbuffered writes, each
// one checked, and the sync checked here before commit() is allowed to rename.
bool syncToDisk(QFileDevice &file, QString *reason)
{
#ifdef Q_OS_UNIX
    int result;
    do {
        result = ::fsync(file.handle());
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        *reason = qt_error_string(errno);
        return false;
    }
#else
    // Elsewhere Qt gives no descriptor to sync; a write that fails for space fails in
    // write() itself, where it is caught.
    Q_UNUSED(file);
    Q_UNUSED(reason);
#endif
    return true;
}

} // namespace

namespace WholeFile {

bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

bool sync(QFileDevice &file, QString *reason)
{
    return syncToDisk(file, reason);
}

// A file system that cannot sync a folder has said all it can, so this is not a failure of
// the write.
void syncFolder(const QString &folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

QString fullDiskReason(const QString &folder)
{
    const QStorageInfo storage(folder);
    return storage.isValid() && storage.bytesAvailable() < 1024 * 1024 ? qt_error_string(ENOSPC) : QString();
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    QString reason;
    bool done = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (done && !writeAll(file, bytes))
        done = false;
    else if (done && !syncToDisk(file, &reason))
        done = false;
    else if (done)
        done = file.commit();
    if (done) {
        syncFolder(QFileInfo(path).absolutePath());
        return true;
    }
    if (reason.isEmpty())
        reason = file.errorString();
    // The temporary copy goes with it; the old file was never touched.
    file.cancelWriting();
    if (error)
        *error = reason;
    return false;
}

} // namespace WholeFile
