#include "config/stationsettings.h"

#include "config/initext.h"
#include "core/wholefile.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

// Where the native format is Qt's INI file, this one takes its place; the registry and
// property lists stay as they are.
#if !defined(Q_OS_WIN) && !defined(Q_OS_DARWIN)
#define KESTRO_CHECKED_INI
#endif

namespace {

// Why the last write of the file failed, from inside QSettings::sync(), which keeps only a
// status.
thread_local QString writeFailure;

#ifdef KESTRO_CHECKED_INI
bool readText(QIODevice &device, QSettings::SettingsMap &map)
{
    map = IniText::read(device.readAll());
    return true;
}

// All of the text written, flushed and synced, or false: QSettings then removes its
// temporary copy instead of renaming it over the file.
bool writeText(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray text = IniText::write(map);
    auto *file = qobject_cast<QFileDevice *>(&device);
    QString reason;
    if (!file)
        reason = device.write(text) == text.size() ? QString() : device.errorString();
    else if (file->write(text) != text.size() || !file->flush())
        reason = file->errorString();
    else
        WholeFile::sync(*file, &reason);
    writeFailure = reason;
    return reason.isEmpty();
}
#endif

// The lock or the temporary copy could not be made, before any text was written: a copy of
// our own says why, and is removed again.
QString reasonNotWritten(const QString &path)
{
    QString reason;
#ifdef KESTRO_CHECKED_INI
    QFile existing(path);
    if (existing.exists() && !existing.open(QIODevice::ReadWrite))
        return existing.errorString();
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !WholeFile::writeAll(probe, QByteArray(4096, ' ')))
        reason = probe.errorString();
    probe.cancelWriting();
#endif
    return reason.isEmpty() ? StationSettings::tr("无法写入 %1").arg(QDir::toNativeSeparators(path))
                            : reason;
}

} // namespace

std::unique_ptr<QSettings> StationSettings::open()
{
    return std::make_unique<QSettings>(format(), QSettings::UserScope, QStringLiteral("Kestro"),
                                       QStringLiteral("station"));
}

QSettings::Format StationSettings::format()
{
#ifdef KESTRO_CHECKED_INI
    static const QSettings::Format checked =
        QSettings::registerFormat(QStringLiteral("conf"), readText, writeText);
    return checked;
#else
    return QSettings::NativeFormat;
#endif
}

bool StationSettings::save(QSettings &settings, QString *problem)
{
    writeFailure.clear();
    settings.sync();
    QString text;
    if (settings.status() != QSettings::NoError) {
        const QString reason =
            writeFailure.isEmpty() ? reasonNotWritten(settings.fileName()) : writeFailure;
        text = reason == qt_error_string(ENOSPC) ? tr("设置无法保存：磁盘空间不足")
                                                 : tr("设置无法保存：%1").arg(reason);
    }
    StationSettings *told = notifier();
    told->lastProblem = text;
    emit told->saved(text);
    if (problem)
        *problem = text;
    return text.isEmpty();
}

StationSettings *StationSettings::notifier()
{
    static StationSettings instance;
    return &instance;
}

bool StationSettings::saveGroup(const char *group, const QVector<QPair<const char *, QVariant>> &values,
                                QString *problem)
{
    const auto store = open();
    store->beginGroup(QLatin1String(group));
    QVector<QVariant> before;
    for (const auto &value : values) {
        before << store->value(QLatin1String(value.first));
        store->setValue(QLatin1String(value.first), value.second);
    }
    if (save(*store, problem))
        return true;
    for (int k = 0; k < values.size(); ++k) {
        if (before.at(k).isValid())
            store->setValue(QLatin1String(values.at(k).first), before.at(k));
        else
            store->remove(QLatin1String(values.at(k).first));
    }
    return false;
}
