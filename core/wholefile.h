#pragma once

#include <QByteArray>
#include <QString>

class QFileDevice;

// Files the station replaces are replaced whole or not at all: a crash, a kill or a full
// disk part-way leaves the previous file as it was and no temporary copy behind.
namespace WholeFile {

// False, with the reason in *error when given, when the file could not be replaced.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Writes all of bytes to a device opened Unbuffered, going on after a short write until the
// device refuses, so a refusal leaves its reason (a full disk, say) in errorString().
bool writeAll(QFileDevice &file, const QByteArray &bytes);

// Puts what was written to the file on the disk; false, with the reason, when it cannot.
bool sync(QFileDevice &file, QString *reason);

// Makes the renames done in folder last.
void syncFolder(const QString &folder);

// The system's words for a full disk when folder's has less than a mebibyte left, else empty:
// for a failure whose own words do not say why (a library's, a lock's).
QString fullDiskReason(const QString &folder);

} // namespace WholeFile
