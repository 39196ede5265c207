// Feeds arbitrary bytes, decoded as UTF-8, to the hourly archive's own reading of history
// records (the backfill reads files anyone can edit) and requires it to agree with the reader
// the history page and the trend use, wherever both take a record: the same hour, and for
// temperature and current the same value where both find a finite one.

#include "core/walltime.h"
#include "fuzzcheck.h"
#include "history/historyrecord.h"
#include "storage/hourlyaggregate.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

constexpr char kFuzzTarget[] = "fuzz_hourlyaggregate";

// The history page's and the trend's reading of a value.
bool readerValue(const QString &field, double *value)
{
    bool ok = false;
    *value = HistoryRecord::fieldValue(field).toDouble(&ok);
    return ok && std::isfinite(*value);
}

void checkRecord(const QStringList &fields)
{
    HourlyAggregate aggregate;
    aggregate.addRecord(1, fields);
    const QVector<ArchiveHour> rows = aggregate.rows();
    REQUIRE(rows.size() <= 1, "one record gave more than one hour");
    qint64 wallMs = 0;
    if (rows.isEmpty() || !WallTime::parseStamp(HistoryRecord::timeText(fields), &wallMs))
        return;
    const ArchiveHour &row = rows.first();
    REQUIRE(row.hour == WallTime::hourStart(wallMs), "the hour differs");
    const struct
    {
        int minutes;
        double value;
        const QString &field;
    } quantities[] = {{row.temperatureMinutes, row.temperatureMin, fields.at(1)},
                      {row.currentMinutes, row.currentMin, fields.at(2)}};
    for (const auto &quantity : quantities) {
        REQUIRE(quantity.minutes <= 1, "one record counted twice");
        double read = 0;
        if (quantity.minutes == 1 && readerValue(quantity.field, &read))
            REQUIRE(quantity.value == read, "the value differs");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    for (const QStringList &fields : HistoryRecord::parse(line))
        checkRecord(fields);
    return 0;
}
