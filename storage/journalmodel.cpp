#include "storage/journalmodel.h"

#include "storage/stationdatabase.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>

namespace {

constexpr int kColumns = 9;
constexpr int kExportPageRows = 5000;
constexpr int kLastDevice = 200;
constexpr int kLinkKind = 4;
constexpr int kPhaseDifferenceKind = 5;

QString number(qint64 value)
{
    return QString::number(value);
}

// The index on (device, epoch_ms) hands each device's events over newest first; one arm per
// device lets SQLite merge those streams lazily, so a page reads little more than its own rows
// whatever the range. One query over a device range would sort every matching event first.
// Only integers go into the text.
QString pageQuery(const JournalFilter &filter, const qint64 *afterMs, const qint64 *afterId,
                  int limit)
{
    QVector<int> devices;
    // The station's own events, the link alarm among them, and a group's are device 0.
    if (filter.kind == 0 || filter.kind == kLinkKind || filter.kind == kPhaseDifferenceKind)
        devices << 0;
    for (int device = qMax(1, filter.firstDevice); device <= qMin(kLastDevice, filter.lastDevice);
         ++device)
        devices << device;
    if (devices.isEmpty())
        return QString();

    qint64 upper = filter.toMs;
    QString condition;
    if (filter.kind != 0)
        condition += QStringLiteral(" AND kind = ") + number(filter.kind);
    if (filter.level >= 0)
        condition += QStringLiteral(" AND level = ") + number(filter.level);
    if (afterMs) {
        upper = qMin(upper, *afterMs);
        condition += QStringLiteral(" AND (epoch_ms < %1 OR id < %2)")
                         .arg(number(*afterMs), number(*afterId));
    }
    const QString head = QStringLiteral("SELECT id, ") + JournalEvent::columns()
                         + QStringLiteral(" FROM alarm_journal WHERE device = ");
    const QString range = QStringLiteral(" AND epoch_ms BETWEEN %1 AND %2")
                              .arg(number(filter.fromMs), number(upper)) +
                          condition;
    QStringList arms;
    arms.reserve(devices.size());
    for (int device : devices)
        arms << head + number(device) + range;
    return arms.join(QStringLiteral(" UNION ALL ")) +
           QStringLiteral(" ORDER BY epoch_ms DESC, id DESC LIMIT ") + number(limit);
}

QString kindText(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("温度");
    case 2:
        return QStringLiteral("电压");
    case 3:
        return QStringLiteral("电流");
    case kLinkKind:
        return QStringLiteral("通讯");
    case kPhaseDifferenceKind:
        return QStringLiteral("相间温差");
    case 6:
        return QStringLiteral("环境温升");
    case 7:
        return QStringLiteral("温升速率");
    case 8:
        return QStringLiteral("温度预警");
    default:
        return QString();
    }
}

QString eventText(const QString &event)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("alarm"), QStringLiteral("报警")},
        {QStringLiteral("recovery"), QStringLiteral("恢复")},
        {QStringLiteral("acknowledge"), QStringLiteral("确认")},
        {QStringLiteral("silence"), QStringLiteral("消音")},
        {QStringLiteral("clear"), QStringLiteral("清除")},
        {QStringLiteral("started"), QStringLiteral("启动")},
        {QStringLiteral("stopped"), QStringLiteral("停止")},
        {QStringLiteral("mailed"), QStringLiteral("邮件")},
        {QStringLiteral("posted"), QStringLiteral("推送")},
        {QStringLiteral("notify_failed"), QStringLiteral("通知失败")},
    };
    return names.value(event, event);
}

QString valueText(double value)
{
    return std::isnan(value) ? QString() : QString::number(value);
}

} // namespace

JournalModel::JournalModel(const QSqlDatabase &journalDatabase, const JournalFilter &filter,
                           QObject *parent)
    : QAbstractTableModel(parent), database(journalDatabase)
{
    setFilter(filter);
}

void JournalModel::setFilter(const JournalFilter &filter)
{
    beginResetModel();
    current = filter;
    rows.clear();
    lastError.clear();
    exhausted = !readPage(database, current, nullptr, kPageRows, &rows, &lastError) ||
                rows.size() < kPageRows;
    endResetModel();
    if (!lastError.isEmpty())
        emit failed(lastError);
}

QStringList JournalModel::headings()
{
    return {tr("时间"), tr("设备"), tr("类别"), tr("级别"), tr("事件"),
            tr("内容"), tr("数值"), tr("限值"), tr("开始时间")};
}

bool JournalModel::forEachRow(const QSqlDatabase &database, const JournalFilter &filter,
                              const std::function<bool(const QStringList &)> &row,
                              QString *error)
{
    QVector<Event> page;
    Event last;
    bool first = true;
    for (;;) {
        page.clear();
        if (!readPage(database, filter, first ? nullptr : &last, kExportPageRows, &page, error))
            return false;
        for (const Event &event : page) {
            QStringList texts;
            texts.reserve(kColumns);
            for (int column = 0; column < kColumns; ++column)
                texts << cellText(event, column);
            if (!row(texts))
                return true;
        }
        if (page.size() < kExportPageRows)
            return true;
        last = page.last();
        first = false;
    }
}

bool JournalModel::readPage(const QSqlDatabase &database, const JournalFilter &filter,
                            const Event *after, int limit, QVector<Event> *page, QString *error)
{
    const QString sql = pageQuery(filter, after ? &after->epochMs : nullptr,
                                  after ? &after->id : nullptr, limit);
    if (sql.isEmpty())
        return true;
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    while (query.next()) {
        Event event;
        static_cast<JournalEvent &>(event) = JournalEvent::read(query, 1);
        event.id = query.value(0).toLongLong();
        page->append(event);
    }
    if (query.lastError().isValid()) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    return true;
}

QString JournalModel::cellText(const Event &event, int column)
{
    switch (column) {
    case 0:
        return event.timeText;
    case 1:
        return event.device == 0 ? QString() : number(event.device);
    case 2:
        return kindText(event.kind);
    case 3:
        return event.kind == 0 ? QString() : event.level == 0 ? tr("预警") : tr("报警");
    case 4:
        return eventText(event.event);
    case 5:
        return event.text;
    case 6:
        return valueText(event.value);
    case 7:
        return valueText(event.limit);
    case 8:
        return event.beganMs == 0 ? QString()
                                  : QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(event.beganMs),
                                                         QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    default:
        return QString();
    }
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows.size())
        return QVariant();
    return cellText(rows.at(index.row()), index.column());
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumns)
        return headings().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool JournalModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !exhausted;
}

void JournalModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || exhausted)
        return;
    QVector<Event> page;
    const Event *last = rows.isEmpty() ? nullptr : &rows.last();
    if (!readPage(database, current, last, kPageRows, &page, &lastError)) {
        exhausted = true;
        emit failed(lastError);
        return;
    }
    exhausted = page.size() < kPageRows;
    if (page.isEmpty())
        return;
    beginInsertRows(QModelIndex(), rows.size(), rows.size() + page.size() - 1);
    rows += page;
    endInsertRows();
}
