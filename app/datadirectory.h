#pragma once

#include <QString>

namespace DataDirectory {

// C:\kestro on Windows; elsewhere the kestro folder under the generic data location.
QString defaultPath();

// Creates the directory when missing; logs the outcome and never fails start-up.
void ensureExists(const QString &path);

} // namespace DataDirectory
