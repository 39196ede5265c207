#pragma once

#include "storage/journalevent.h"

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <limits>

// Which journal events the view lists. Station events (device 0: silence, clear, the link
// alarm) and a cabinet group's phase difference concern more than one device, so they are
// listed with any device range while kind is 0; kinds 4 and 5 list theirs alone.
struct JournalFilter
{
    int firstDevice = 1;
    int lastDevice = 200;
    // 0 all, 1 temperature, 2 voltage, 3 current, 4 link, 5 phase difference, 6 rise over
    // ambient, 7 rate of rise, 8 temperature warning
    int kind = 0;
    int level = -1; // -1 all, 0 预警, 1 报警
    qint64 fromMs = 0;                                   // UTC, inclusive
    qint64 toMs = std::numeric_limits<qint64>::max();    // UTC, inclusive
};

// The alarm journal as a table, newest first, read a page at a time as the view scrolls, so a
// million stored events cost no more to open than a few hundred.
class JournalModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kPageRows = 500;

    // Reads the first page at once. The connection is used on the thread that made the model.
    explicit JournalModel(const QSqlDatabase &database, const JournalFilter &filter = {},
                          QObject *parent = nullptr);

    // Starts again from the newest event the filter selects, with its first page read.
    void setFilter(const JournalFilter &filter);
    JournalFilter filter() const { return current; }
    // Empty while the queries succeed; else the database's reason.
    QString error() const { return lastError; }

    // "时间", "设备", "类别", "级别", "事件", "内容", "数值", "限值", "开始时间".
    static QStringList headings();

    // Every event the filter selects, newest first, as the view's texts, read from the database
    // page by page rather than through a model, so an export of the whole journal holds one
    // page at a time. Stops when `row` returns false. False, with the reason, when a query
    // fails; database may be any connection to the station file on the calling thread.
    static bool forEachRow(const QSqlDatabase &database, const JournalFilter &filter,
                           const std::function<bool(const QStringList &)> &row,
                           QString *error = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // A page could not be read; the rows already read stay.
    void failed(const QString &reason);

private:
    // A journal row with its id, the view's order and paging key.
    struct Event : JournalEvent
    {
        qint64 id = 0;
    };

    // Up to `limit` events after `after` (from the newest when null) in the view's order.
    static bool readPage(const QSqlDatabase &database, const JournalFilter &filter,
                         const Event *after, int limit, QVector<Event> *page, QString *error);
    static QString cellText(const Event &event, int column);

    QSqlDatabase database;
    JournalFilter current;
    QVector<Event> rows;
    bool exhausted = true;
    QString lastError;
};
