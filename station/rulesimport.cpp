#include "station/rulesimport.h"

#include "config/cabinetgroupscsv.h"
#include "core/datadirectory.h"
#include "storage/cabinetgroupstore.h"
#include "storage/stationdatabase.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

int RulesImport::run(const QString &dataDirectory, const QString &file, QString *message)
{
    const QString folder = QDir::toNativeSeparators(dataDirectory);
    // The file first: a bad one is said even while a station runs.
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("kestro: cannot read %1: %2").arg(file, input.errorString());
        return 2;
    }
    const CabinetGroupsCsv::Result parsed = CabinetGroupsCsv::parse(input.readAll());
    if (parsed.badLine) {
        *message = QStringLiteral("kestro: %1:%2: %3").arg(file).arg(parsed.badLine).arg(parsed.problem);
        return 2;
    }
    // Never under a running station: its folder is its own while it holds the lock.
    const std::unique_ptr<QLockFile> lock = DataDirectory::takeLock(dataDirectory);
    if (!lock->isLocked() && lock->error() == QLockFile::LockFailedError) {
        *message = QStringLiteral("kestro: another station runs on %1").arg(folder);
        return 1;
    }
    StationDatabase database(dataDirectory);
    QString error;
    if (!CabinetGroupStore(&database).replace(parsed.groups, &error)) {
        *message = QStringLiteral("kestro: cannot store the groups in %1: %2").arg(folder, error);
        return 2;
    }
    *message = QStringLiteral("kestro: %1 cabinet groups imported into %2\n")
                   .arg(parsed.groups.size()).arg(folder);
    return 0;
}
