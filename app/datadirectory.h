#pragma once

#include <QString>

namespace DataDirectory {

// C:\kestro on Windows; elsewhere the kestro folder under the generic data location.
QString defaultPath();

// Creates the directory when missing; logs the outcome and never fails start-up.
void ensureExists(const QString &path);

// For a folder named on the command line: makes it when missing and writes a probe file in
// it. Empty when the station can keep its files there, else why not, for one line of stderr.
QString checkUsable(const QString &path);

// Removes the half-written copies that a station killed while replacing save_data.txt or
// profile.txt leaves beside them ("save_data.txt.AbC123"); the files themselves are whole.
// Only for the one station that holds the folder's lock.
void removeLeftoverCopies(const QString &path);

} // namespace DataDirectory
