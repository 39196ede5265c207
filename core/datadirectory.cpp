#include "core/datadirectory.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace DataDirectory {

QString defaultPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\kestro");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kestro");
#endif
}

void ensureExists(const QString &path)
{
    QDir dir(path);
    if (dir.exists()) {
        // Established wording for an existing directory; log readers look for it.
        qDebug().noquote() << QStringLiteral("文件夹创建失败");
        return;
    }
    if (dir.mkpath(QStringLiteral("."))) {
        qDebug().noquote() << QStringLiteral("文件夹创建成功");
    } else {
        qWarning().noquote() << "cannot create data directory" << QDir::toNativeSeparators(path);
    }
}

// Two stations on one data directory would both poll and both append to the same history
// files and database.
std::unique_ptr<QLockFile> takeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(QDir(path).filePath(QStringLiteral("kestro.lock")));
    // A live holder refreshes nothing, so age says nothing; its process id does.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        removeLeftoverCopies(path);
    return lock;
}

QString checkWritable(const QString &path)
{
    // Permission bits say nothing for an administrator and little on Windows; a write does.
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral("write-check-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write in data folder %1: %2")
            .arg(QDir::toNativeSeparators(path), probe.errorString());
    return QString();
}

void removeLeftoverCopies(const QString &path)
{
    QDir dir(path);
    const QStringList leftovers = dir.entryList(
        {QStringLiteral("save_data.txt.??????"), QStringLiteral("profile.txt.??????")},
        QDir::Files | QDir::Hidden);
    for (const QString &name : leftovers)
        dir.remove(name);
}

} // namespace DataDirectory
