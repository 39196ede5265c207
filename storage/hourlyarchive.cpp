#include "storage/hourlyarchive.h"

#include "storage/stationdatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Rows per statement: fewer statements cost less, but Qt looks each bound value up by
// name, so a much longer statement loses more than it saves.
constexpr int kRowsPerStatement = 20;
constexpr int kLastDevice = 200;

// An average summed past the largest double is no value either.
QVariant finiteOrNull(double value)
{
    return qIsFinite(value) ? QVariant(value) : QVariant(QVariant::Double);
}


} // namespace

HourlyArchive::HourlyArchive(StationDatabase *database) : db(database) {}

QVector<ArchiveHour> HourlyArchive::read(const QVector<int> &devices, qint64 fromHour,
                                         qint64 toHour, QString *error) const
{
    QVector<ArchiveHour> rows;
    // Every device named, even for all of them: the key then finds each one's hours
    // instead of the whole table being read.
    QStringList numbers;
    for (int device = 1; devices.isEmpty() && device <= kLastDevice; ++device)
        numbers.append(QString::number(device));
    for (int device : devices)
        numbers.append(QString::number(device));
    QSqlQuery query(db->database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
                      "SELECT device, hour, utc, temperature_minutes, temperature_min,"
                      " temperature_mean, temperature_max, current_minutes, current_min,"
                      " current_mean, current_max FROM hourly_archive"
                      " WHERE device IN (%1) AND hour >= ? AND hour < ? ORDER BY device, hour")
                      .arg(numbers.join(QLatin1Char(','))));
    query.addBindValue(fromHour);
    query.addBindValue(toHour);
    if (!query.exec()) {
        lastCode = StationDatabase::resultCode(query.lastError());
        if (error)
            *error = StationDatabase::reasonOf(query.lastError());
        return rows;
    }
    while (query.next()) {
        ArchiveHour row;
        row.device = query.value(0).toInt();
        row.hour = query.value(1).toLongLong();
        row.utc = query.value(2).toLongLong();
        row.temperatureMinutes = query.value(3).toInt();
        row.temperatureMin = StationDatabase::realOrNaN(query.value(4));
        row.temperatureMean = StationDatabase::realOrNaN(query.value(5));
        row.temperatureMax = StationDatabase::realOrNaN(query.value(6));
        row.currentMinutes = query.value(7).toInt();
        row.currentMin = StationDatabase::realOrNaN(query.value(8));
        row.currentMean = StationDatabase::realOrNaN(query.value(9));
        row.currentMax = StationDatabase::realOrNaN(query.value(10));
        rows.append(row);
    }
    // A read cut short by a failure is not handed out as if it were the whole range.
    if (query.lastError().isValid()) {
        lastCode = StationDatabase::resultCode(query.lastError());
        if (error)
            *error = StationDatabase::reasonOf(query.lastError());
        rows.clear();
    }
    return rows;
}

bool HourlyArchive::write(const QVector<ArchiveHour> &rows, QString *error)
{
    lastCode = 0;
    if (rows.isEmpty())
        return true;
    const QSqlDatabase connection = db->database();
    QSqlQuery query(connection);
    QSqlError failure;
    bool done = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!done)
        failure = query.lastError();
    if (done) {
        const QString head = QStringLiteral(
            "INSERT OR REPLACE INTO hourly_archive (device, hour, utc, temperature_minutes,"
            " temperature_min, temperature_mean, temperature_max, current_minutes, current_min,"
            " current_mean, current_max) VALUES ");
        const QString values = QStringLiteral("(?,?,?,?,?,?,?,?,?,?,?)");
        QSqlQuery insert(connection);
        int prepared = 0;
        for (int k = 0; done && k < rows.size(); k += prepared) {
            const int count = qMin(kRowsPerStatement, rows.size() - k);
            if (count != prepared) {
                QStringList all;
                for (int n = 0; n < count; ++n)
                    all.append(values);
                done = insert.prepare(head + all.join(QLatin1Char(',')));
                prepared = count;
            }
            for (int n = 0; done && n < count; ++n) {
                const ArchiveHour &row = rows.at(k + n);
                const int at = n * 11;
                insert.bindValue(at, row.device);
                insert.bindValue(at + 1, row.hour);
                insert.bindValue(at + 2, row.utc);
                insert.bindValue(at + 3, row.temperatureMinutes);
                insert.bindValue(at + 4, finiteOrNull(row.temperatureMin));
                insert.bindValue(at + 5, finiteOrNull(row.temperatureMean));
                insert.bindValue(at + 6, finiteOrNull(row.temperatureMax));
                insert.bindValue(at + 7, row.currentMinutes);
                insert.bindValue(at + 8, finiteOrNull(row.currentMin));
                insert.bindValue(at + 9, finiteOrNull(row.currentMean));
                insert.bindValue(at + 10, finiteOrNull(row.currentMax));
            }
            done = done && insert.exec();
        }
        if (!done)
            failure = insert.lastError();
        insert.finish();
        done = StationDatabase::finishTransaction(connection, done, &failure);
    }
    if (!done) {
        lastCode = StationDatabase::resultCode(failure);
        if (error)
            *error = StationDatabase::reasonOf(failure);
    }
    return done;
}
