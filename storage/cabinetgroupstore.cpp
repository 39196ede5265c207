#include "storage/cabinetgroupstore.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QVariant deviceOrNull(int device)
{
    return device ? QVariant(device) : QVariant(QVariant::Int);
}

bool failed(const QSqlError &failure, QString *error)
{
    if (error)
        *error = failure.databaseText().isEmpty() ? failure.text() : failure.databaseText();
    return false;
}

} // namespace

CabinetGroupStore::CabinetGroupStore(StationDatabase *database) : db(database) {}

bool CabinetGroupStore::load(QVector<CabinetGroup> *groups, QString *error)
{
    groups->clear();
    if (!db->open(error))
        return false;
    QSqlQuery query(db->database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT name, phase_a, phase_b, phase_c, ambient"
                                   " FROM cabinet_groups ORDER BY position")))
        return failed(query.lastError(), error);
    while (query.next()) {
        CabinetGroup group;
        group.name = query.value(0).toString();
        for (int k = 0; k < 3; ++k)
            group.phases[size_t(k)] = query.value(k + 1).toInt();
        group.ambient = query.value(4).toInt();
        groups->append(group);
    }
    return true;
}

bool CabinetGroupStore::replace(const QVector<CabinetGroup> &groups, QString *error)
{
    if (!db->open(error))
        return false;
    const QSqlDatabase connection = db->database();
    QSqlQuery query(connection);
    bool done = query.exec(QStringLiteral("BEGIN IMMEDIATE"))
        && query.exec(QStringLiteral("DELETE FROM cabinet_groups"))
        && query.prepare(QStringLiteral("INSERT INTO cabinet_groups (position, name, phase_a,"
                                        " phase_b, phase_c, ambient) VALUES (?, ?, ?, ?, ?, ?)"));
    for (int k = 0; done && k < groups.size(); ++k) {
        const CabinetGroup &group = groups.at(k);
        query.bindValue(0, k + 1);
        query.bindValue(1, group.name);
        for (int phase = 0; phase < 3; ++phase)
            query.bindValue(phase + 2, deviceOrNull(group.phases[size_t(phase)]));
        query.bindValue(5, deviceOrNull(group.ambient));
        done = query.exec();
    }
    QSqlError failure = query.lastError();
    query.finish();
    if (StationDatabase::finishTransaction(connection, done, &failure))
        return true;
    return failed(failure, error);
}
