#pragma once

#include "core/cabinetgroup.h"

#include <QString>
#include <QVector>

class StationDatabase;

// The cabinet groups, kept in the station database in the order they were given.
class CabinetGroupStore
{
public:
    explicit CabinetGroupStore(StationDatabase *database);
    // False with the reason when they cannot be read.
    bool load(QVector<CabinetGroup> *groups, QString *error = nullptr);
    // These groups in place of all stored ones, in one transaction: all or nothing.
    bool replace(const QVector<CabinetGroup> &groups, QString *error = nullptr);

private:
    StationDatabase *db;
};
