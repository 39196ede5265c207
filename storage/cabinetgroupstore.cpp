#include "storage/cabinetgroupstore.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtNumeric>

namespace {

QVariant deviceOrNull(int device)
{
    return device ? QVariant(device) : QVariant(QVariant::Int);
}

bool failed(const QSqlError &failure, QString *error)
{
    if (error)
        *error = StationDatabase::reasonOf(failure);
    return false;
}

// Each setting by its stored name; a count of seconds or a switch is stored as a number too.
struct Field
{
    const char *name;
    float *value = nullptr;
    int *whole = nullptr;
    bool *on = nullptr;
};

QVector<Field> fields(JointRuleSettings &settings)
{
    JointRuleSettings::Limits &phase = settings.phaseDifference;
    JointRuleSettings::Limits &ambient = settings.ambientRise;
    JointRuleSettings::Limits &rate = settings.rateOfRise;
    return {{"phase_difference_warning", &phase.warning},
            {"phase_difference_alarm", &phase.alarm},
            {"phase_difference_deadband", &phase.deadband},
            {"phase_difference_delay_seconds", nullptr, &phase.delaySeconds},
            {"ambient_rise_warning", &ambient.warning},
            {"ambient_rise_alarm", &ambient.alarm},
            {"ambient_rise_deadband", &ambient.deadband},
            {"ambient_rise_delay_seconds", nullptr, &ambient.delaySeconds},
            {"rate_of_rise_on", nullptr, nullptr, &settings.rateOfRiseOn},
            {"rate_of_rise_warning", &rate.warning},
            {"rate_of_rise_alarm", &rate.alarm},
            {"rate_of_rise_deadband", &rate.deadband},
            {"rate_of_rise_delay_seconds", nullptr, &rate.delaySeconds},
            {"rate_of_rise_window_seconds", nullptr, &settings.rateWindowSeconds},
            {"temperature_warning_deadband", &settings.warningDeadband},
            {"temperature_warning_delay_seconds", nullptr, &settings.warningDelaySeconds},
            {"idle_rise_over_ambient", &settings.idleRiseOverAmbient},
            {"idle_without_ambient", &settings.idleWithoutAmbient}};
}

// A delay of up to a day, a window of one minute to an hour, a limit or deadband a number.
void take(const Field &field, double stored)
{
    if (field.on) {
        *field.on = stored != 0;
    } else if (field.whole) {
        const bool window = QByteArray(field.name).contains("window");
        *field.whole = int(qBound(window ? 60.0 : 0.0, stored, window ? 3600.0 : 86400.0));
    } else if (qIsFinite(stored)) {
        const bool deadband = QByteArray(field.name).contains("deadband");
        *field.value = deadband ? qMax(0.0f, float(stored)) : float(stored);
    }
}

double valueOf(const Field &field)
{
    return field.on ? (*field.on ? 1 : 0) : field.whole ? *field.whole : double(*field.value);
}

} // namespace

CabinetGroupStore::CabinetGroupStore(StationDatabase *database) : db(database) {}

bool CabinetGroupStore::load(QVector<CabinetGroup> *groups, QString *error)
{
    groups->clear();
    return db->open(error) && read(db->database(), groups, error);
}

bool CabinetGroupStore::read(const QSqlDatabase &connection, QVector<CabinetGroup> *groups, QString *error)
{
    groups->clear();
    QSqlQuery query(connection);
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

bool CabinetGroupStore::loadSettings(JointRuleSettings *settings, QString *error)
{
    *settings = JointRuleSettings();
    if (!db->open(error))
        return false;
    QSqlQuery query(db->database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT name, value FROM rule_settings")))
        return failed(query.lastError(), error);
    const QVector<Field> known = fields(*settings);
    while (query.next()) {
        const QByteArray name = query.value(0).toString().toLatin1();
        for (const Field &field : known)
            if (name == field.name)
                take(field, query.value(1).toDouble());
    }
    if (!query.exec(QStringLiteral("SELECT device, warning_limit FROM temperature_warnings")))
        return failed(query.lastError(), error);
    while (query.next()) {
        const int device = query.value(0).toInt();
        const double limit = query.value(1).toDouble();
        if (device >= 1 && device <= kDevices && qIsFinite(limit))
            settings->warningLimit[size_t(device - 1)] = float(limit);
    }
    return true;
}

bool CabinetGroupStore::replace(const QVector<CabinetGroup> &groups,
                                const JointRuleSettings *settings, QString *error)
{
    for (const CabinetGroup &group : groups) {
        for (int device : {group.phases[0], group.phases[1], group.phases[2], group.ambient}) {
            if (device < 0 || device > kDevices) {
                if (error)
                    *error = QStringLiteral("group %1: device %2 is not 1..200").arg(group.name).arg(device);
                return false;
            }
        }
    }
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
    if (settings && done) {
        JointRuleSettings stored = *settings;
        done = query.exec(QStringLiteral("DELETE FROM rule_settings"))
            && query.prepare(QStringLiteral("INSERT INTO rule_settings (name, value) VALUES (?, ?)"));
        for (const Field &field : fields(stored)) {
            query.bindValue(0, QString::fromLatin1(field.name));
            query.bindValue(1, valueOf(field));
            done = done && query.exec();
        }
        done = done && query.exec(QStringLiteral("DELETE FROM temperature_warnings"))
            && query.prepare(QStringLiteral("INSERT INTO temperature_warnings (device, warning_limit)"
                                            " VALUES (?, ?)"));
        for (int device = 1; done && device <= kDevices; ++device) {
            const float limit = stored.warningLimit[size_t(device - 1)];
            if (qIsNaN(limit))
                continue;
            query.bindValue(0, device);
            query.bindValue(1, double(limit));
            done = query.exec();
        }
    }
    QSqlError failure = query.lastError();
    query.finish();
    if (StationDatabase::finishTransaction(connection, done, &failure))
        return true;
    return failed(failure, error);
}
