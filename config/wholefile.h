#pragma once

#include <QByteArray>
#include <QString>

// Files the station replaces are replaced whole or not at all: a crash, a kill or a full
// disk part-way leaves the previous file as it was and no temporary copy behind.
namespace WholeFile {

// False, with the reason in *error when given, when the file could not be replaced.
bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace WholeFile
