#pragma once

#include "core/cabinetgroup.h"
#include "core/jointrulesettings.h"

#include <QString>
#include <QVector>

class StationDatabase;

// The cabinet groups, kept in the station database in the order they were given, and the
// joint rules' settings: rule_settings holds each limit by name, temperature_warnings the
// warning limits of the devices that have one.
class QSqlDatabase;

class CabinetGroupStore
{
public:
    explicit CabinetGroupStore(StationDatabase *database);
    // False with the reason when they cannot be read.
    bool load(QVector<CabinetGroup> *groups, QString *error = nullptr);
    // The same from a connection opened by the caller (a reader that must not migrate it).
    static bool read(const QSqlDatabase &connection, QVector<CabinetGroup> *groups, QString *error = nullptr);
    // What is not stored, or stored out of range, keeps its default.
    bool loadSettings(JointRuleSettings *settings, QString *error = nullptr);
    // These groups in place of all stored ones, with these settings when given, in one
    // transaction: all or nothing.
    bool replace(const QVector<CabinetGroup> &groups, QString *error = nullptr)
    {
        return replace(groups, nullptr, error);
    }
    bool replace(const QVector<CabinetGroup> &groups, const JointRuleSettings *settings,
                 QString *error = nullptr);

private:
    StationDatabase *db;
};
