#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace DataDirectory {

// C:\kestro on Windows; elsewhere the kestro folder under the generic data location.
QString defaultPath();

// Creates the directory when missing; logs the outcome and never fails start-up.
void ensureExists(const QString &path);

// The folder's kestro.lock, tried once, without waiting: locked when this station may run
// there. A lock left by a crash or kill names a dead process and is taken over; error() is
// LockFailedError when another live station holds it. Once it is held, the copies a killed
// save left are removed.
std::unique_ptr<QLockFile> takeLock(const QString &path);

// For a folder named on the command line, there and locked by this station: writes a probe
// file in it. Empty when it can, else why not, for one line of stderr.
QString checkWritable(const QString &path);

// Removes the half-written copies that a station killed while replacing save_data.txt or
// profile.txt leaves beside them ("save_data.txt.AbC123"); the files themselves are whole.
// Only for the one station that holds the folder's lock.
void removeLeftoverCopies(const QString &path);

} // namespace DataDirectory
