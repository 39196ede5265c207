#pragma once

#include <QString>

// `kestro --import-rules FILE`: the cabinet groups of a CSV file into a data folder's
// database, with no window. All or nothing: a bad line, a station running on the folder or a
// database that cannot take them changes nothing.
namespace RulesImport {

// The exit code: 0 done, 1 another station runs on the folder, 2 the file or the database
// refused; *message is the line to print (stdout when 0, else stderr). Needs the
// application object, for the database driver.
int run(const QString &dataDirectory, const QString &file, QString *message);

} // namespace RulesImport
