#include "report/reportfiles.h"

#include "report/reportbuilder.h"
#include "report/reportpdf.h"
#include "report/reportschedule.h"
#include "report/reportxlsx.h"

#include "core/wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#endif

namespace {

// The figures take most of the time; each file a little.
constexpr int kProgressFigures = 80;
constexpr int kProgressPdf = 90;
// Another report into the same folder (the command line beside the station) is waited for.
constexpr int kFolderWaitMs = 5 * 60 * 1000;
constexpr int kLockSliceMs = 250;

const char kLockName[] = ".kestro-report.lock";
const char kScratchPrefix[] = ".kestro-report-";

// Whatever a report being made keeps in folder: its hidden scratch folders (and the hidden
// temporary files of earlier versions), and the file QLockFile keeps while it takes over a
// stale lock. Called with the folder's lock held.
void removeScratch(const QString &folder)
{
    QDir dir(folder);
    const QFileInfoList found =
        dir.entryInfoList({QString::fromLatin1(kScratchPrefix) + QLatin1Char('*'),
                           QString::fromLatin1(kLockName) + QStringLiteral(".rmlock")},
                          QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &entry : found) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

std::unique_ptr<QLockFile> folderLock(const QString &folder)
{
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QString::fromLatin1(kLockName)));
    // Only a maker that died leaves it stale, however long a month takes to make.
    lock->setStaleLockTime(0);
    return lock;
}

// The file's bytes on the disk, its modification time the time the report was made.
bool finishFile(QFile &file, const QDateTime &made, QString *error)
{
    QString reason;
    if (!WholeFile::sync(file, &reason) || !file.setFileTime(made, QFileDevice::FileModificationTime)) {
        *error = reason.isEmpty() ? file.errorString() : reason;
        return false;
    }
    file.close();
    return true;
}

bool writeNew(const QString &path, const QByteArray &bytes, const QDateTime &made, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered) ||
        !WholeFile::writeAll(file, bytes)) {
        *error = file.errorString();
        return false;
    }
    return finishFile(file, made, error);
}

// Renames over an existing file in one step, as QFile::rename does not.
bool replace(const QString &from, const QString &to, QString *error)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = qt_error_string(int(GetLastError()));
    return false;
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
#endif
}

} // namespace

ReportOutcome ReportFiles::make(const QString &dataDirectory, const ReportPeriod &period,
                                const QString &stationName, const QString &folder,
                                const QDateTime &now, const std::function<void(int)> &progress,
                                const std::atomic<bool> *cancel)
{
    const auto tell = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    ReportOutcome outcome;
    outcome.period = period;
    // Nothing of it has happened yet: a report would only count time that has not passed.
    if (period.utcFromMs() > now.toMSecsSinceEpoch()) {
        outcome.notBegun = true;
        outcome.error = QCoreApplication::translate("ReportFiles", "%1 尚未开始").arg(period.text());
        return outcome;
    }
    const ReportData data = ReportBuilder::build(
        dataDirectory, period, stationName, now,
        [&tell](int percent) { tell(percent * kProgressFigures / 100); }, cancel);
    outcome.notes = data.notes;
    if (data.cancelled) {
        outcome.cancelled = true;
        return outcome;
    }
    if (data.devices.isEmpty() && data.alarms.isEmpty()) {
        outcome.empty = true;
        return outcome;
    }
    if (!QDir().mkpath(folder)) {
        outcome.error = QCoreApplication::translate("ReportFiles", "无法创建文件夹 %1")
                            .arg(QDir::toNativeSeparators(folder));
        return outcome;
    }
    const std::unique_ptr<QLockFile> lock = folderLock(folder);
    // Waited for in slices, so a station closing meanwhile is not held up.
    bool locked = false;
    for (int waited = 0; !locked && waited < kFolderWaitMs && !(cancel && cancel->load()); waited += kLockSliceMs)
        locked = lock->tryLock(kLockSliceMs);
    if (cancel && cancel->load()) {
        outcome.cancelled = true;
        return outcome;
    }
    if (!locked) {
        const QString full = WholeFile::fullDiskReason(folder);
        outcome.error = lock->error() == QLockFile::LockFailedError
                            ? QCoreApplication::translate("ReportFiles", "另一份报表正在写入 %1")
                                  .arg(QDir::toNativeSeparators(folder))
                        : !full.isEmpty() ? full
                                          : QCoreApplication::translate("ReportFiles", "无法写入文件夹 %1")
                                                .arg(QDir::toNativeSeparators(folder));
        return outcome;
    }
    removeScratch(folder);
    QTemporaryDir scratch(QDir(folder).filePath(QString::fromLatin1(kScratchPrefix) + QStringLiteral("XXXXXX")));
    if (!scratch.isValid()) {
        const QString full = WholeFile::fullDiskReason(folder);
        outcome.error = !full.isEmpty() ? full
                                        : QCoreApplication::translate("ReportFiles", "无法写入文件夹 %1：%2")
                                              .arg(QDir::toNativeSeparators(folder), scratch.errorString());
        return outcome;
    }
    const QStringList targets = paths(folder, stationName, period);
    const QString pdfPath = scratch.filePath(QFileInfo(targets.at(0)).fileName());
    const QString xlsxPath = scratch.filePath(QFileInfo(targets.at(1)).fileName());
    QByteArray pdf;
    QString error;
    if (!ReportPdf::render(data, &pdf, &error) || !writeNew(pdfPath, pdf, now, &error)) {
        outcome.error = error;
        return outcome;
    }
    tell(kProgressPdf);
    if (!ReportXlsx::write(data, xlsxPath, &error)) {
        outcome.error = error;
        return outcome;
    }
    QFile xlsx(xlsxPath);
    if (!xlsx.open(QIODevice::ReadWrite) || !finishFile(xlsx, now, &error)) {
        outcome.error = error.isEmpty() ? xlsx.errorString() : error;
        return outcome;
    }
    for (int k = 0; k < 2; ++k) {
        if (!replace(k == 0 ? pdfPath : xlsxPath, targets.at(k), &error)) {
            outcome.error = error;
            return outcome;
        }
        outcome.files << targets.at(k);
    }
    WholeFile::syncFolder(folder);
    tell(100);
    return outcome;
}

QStringList ReportFiles::paths(const QString &folder, const QString &stationName,
                               const ReportPeriod &period)
{
    const QString base = QDir(folder).filePath(ReportSchedule::fileBase(stationName, period));
    return {base + QStringLiteral(".pdf"), base + QStringLiteral(".xlsx")};
}

ReportFiles::State ReportFiles::state(const QString &folder, const QString &stationName,
                                      const ReportPeriod &period)
{
    const QStringList both = paths(folder, stationName, period);
    const QFileInfo pdf(both.at(0)), xlsx(both.at(1));
    if (!pdf.isFile() || !xlsx.isFile())
        return State::Missing;
    const QDateTime made = pdf.lastModified();
    if (made != xlsx.lastModified())
        return State::Mixed;
    if (made < QDateTime(period.endDay(), QTime(0, 0), Qt::LocalTime))
        return State::Unfinished;
    return State::Complete;
}

void ReportFiles::removeLeftovers(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return;
    const std::unique_ptr<QLockFile> lock = folderLock(folder);
    if (lock->tryLock(0))
        removeScratch(folder);
}
