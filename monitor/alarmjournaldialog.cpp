#include "monitor/alarmjournaldialog.h"

#include "core/csv.h"
#include "core/wholefile.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QSqlError>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

constexpr int kColumnWidths[] = {140, 45, 60, 45, 45, 150, 70, 70, 140};
const char kTimeFormat[] = "yyyy-MM-dd hh:mm:ss";

void appendRecord(QByteArray *bytes, const QStringList &fields)
{
    QString line;
    for (int k = 0; k < fields.size(); ++k) {
        if (k > 0)
            line += QLatin1Char(',');
        line += Csv::field(fields.at(k));
    }
    *bytes += line.toUtf8();
    *bytes += "\r\n";
}

QDateTimeEdit *timeEdit(const char *name, QWidget *parent)
{
    auto *edit = new QDateTimeEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(QLatin1String(kTimeFormat));
    edit->setCalendarPopup(true);
    return edit;
}

QSpinBox *deviceBox(const char *name, int value, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(1, 200);
    box->setValue(value);
    return box;
}

QPushButton *button(const char *name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

AlarmJournalDialog::AlarmJournalDialog(StationDatabase *database, QWidget *parent)
    : QDialog(parent), stationDatabase(database)
{
    setObjectName(QStringLiteral("AlarmJournalDialog"));
    setWindowTitle(tr("报警日志"));
    resize(900, 520);

    firstDevice = deviceBox("journal_first_device", 1, this);
    lastDevice = deviceBox("journal_last_device", 200, this);
    kind = new QComboBox(this);
    kind->setObjectName(QStringLiteral("journal_kind"));
    // Index = journal kind.
    kind->addItems({tr("全部"), tr("温度"), tr("电压"), tr("电流"), tr("通讯"), tr("相间温差"),
                    tr("环境温升"), tr("温升速率"), tr("温度预警")});
    level = new QComboBox(this);
    level->setObjectName(QStringLiteral("journal_level"));
    // Index - 1 = journal level.
    level->addItems({tr("全部"), tr("预警"), tr("报警")});
    from = timeEdit("journal_from", this);
    to = timeEdit("journal_to", this);
    queryButton = button("journal_query_button", tr("查询"), this);

    table = new QTableView(this);
    table->setObjectName(QStringLiteral("journal_table"));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Every row the same height, so the view never measures rows it has not shown.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);

    status = new QLabel(this);
    status->setObjectName(QStringLiteral("journal_status"));
    exportButton = button("journal_export_button", tr("导出"), this);
    closeButton = button("journal_close_button", tr("返回"), this);

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("设备"), this));
    filters->addWidget(firstDevice);
    filters->addWidget(new QLabel(tr("至"), this));
    filters->addWidget(lastDevice);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(tr("类别"), this));
    filters->addWidget(kind);
    filters->addWidget(new QLabel(tr("级别"), this));
    filters->addWidget(level);
    filters->addSpacing(12);
    filters->addWidget(new QLabel(tr("时间"), this));
    filters->addWidget(from);
    filters->addWidget(new QLabel(tr("至"), this));
    filters->addWidget(to);
    filters->addStretch();
    filters->addWidget(queryButton);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(status, 1);
    buttons->addWidget(exportButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);

    connect(queryButton, &QPushButton::clicked, this, &AlarmJournalDialog::runQuery);
    connect(exportButton, &QPushButton::clicked, this, &AlarmJournalDialog::exportJournal);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(&exportWatcher, &QFutureWatcher<ExportResult>::finished, this,
            &AlarmJournalDialog::exportFinished);
    connect(to, &QDateTimeEdit::dateTimeChanged, this, [this]() {
        if (!settingTo)
            toFollowsNow = false;
    });
    followTimer.setInterval(1000);
    // Not under the operator's cursor: a field that moves while being typed into loses keys.
    connect(&followTimer, &QTimer::timeout, this, [this]() {
        if (!to->hasFocus())
            followNow();
    });
}

AlarmJournalDialog::~AlarmJournalDialog()
{
    // The export stops at its next page and writes nothing.
    cancelExport = true;
    exportWatcher.waitForFinished();
}

void AlarmJournalDialog::setExportDirectory(const QString &directory)
{
    exportDirectory = directory;
}

JournalFilter AlarmJournalDialog::filterFor(int firstDevice, int lastDevice, int kindIndex,
                                            int levelIndex, const QDateTime &from,
                                            const QDateTime &to)
{
    JournalFilter filter;
    filter.firstDevice = qMin(firstDevice, lastDevice);
    filter.lastDevice = qMax(firstDevice, lastDevice);
    filter.kind = kindIndex;
    filter.level = levelIndex - 1;
    filter.fromMs = from.toMSecsSinceEpoch();
    filter.toMs = to.toMSecsSinceEpoch() / 1000 * 1000 + 999;
    return filter;
}

bool AlarmJournalDialog::csvDocument(const QSqlDatabase &database, const JournalFilter &filter,
                                     QByteArray *document, QString *error,
                                     const std::atomic<bool> *cancel)
{
    *document = QByteArray("\xEF\xBB\xBF");
    appendRecord(document, JournalModel::headings());
    bool cancelled = false;
    const bool read = JournalModel::forEachRow(
        database, filter,
        [&](const QStringList &fields) {
            if (cancel && *cancel) {
                cancelled = true;
                return false;
            }
            appendRecord(document, fields);
            return true;
        },
        error);
    return read && !cancelled;
}

AlarmJournalDialog::ExportResult AlarmJournalDialog::exportFile(const QString &databaseFile,
                                                                const JournalFilter &filter,
                                                                const QString &path,
                                                                const std::atomic<bool> *cancel)
{
    // A connection of the worker's own: Qt's connections belong to the thread that made them.
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("kestro-journal-export-%1").arg(++serial);
    ExportResult result;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(databaseFile);
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        QByteArray document;
        if (!database.open())
            result.error = database.lastError().text();
        else if (csvDocument(database, filter, &document, &result.error, cancel))
            WholeFile::write(path, document, &result.error);
        else
            result.cancelled = *cancel;
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

void AlarmJournalDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Restoring a minimised window shows it again as the operator left it.
    if (event->spontaneous())
        return;
    // Shown afresh each time, so the latest events are in range.
    const QDateTime now = QDateTime::currentDateTime();
    toFollowsNow = true;
    followNow();
    followTimer.start();
    from->setDateTime(now.addDays(-7));
    const bool open = stationDatabase && stationDatabase->isOpen();
    setFiltersEnabled(open);
    if (!open) {
        status->setText(tr("报警日志暂不可用"));
        return;
    }
    status->clear();
    if (!model) {
        model = new JournalModel(stationDatabase->database(),
                                 filterFor(firstDevice->value(), lastDevice->value(),
                                           kind->currentIndex(), level->currentIndex(),
                                           from->dateTime(), to->dateTime()),
                                 this);
        connect(model, &JournalModel::failed, status, &QLabel::setText);
        table->setModel(model);
        for (int column = 0; column < model->columnCount(); ++column)
            table->setColumnWidth(column, kColumnWidths[column]);
        status->setText(model->error());
    }
}

void AlarmJournalDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous())
        return;
    followTimer.stop();
    // No copy of the station's connection outlives a showing.
    table->setModel(nullptr);
    delete model;
    model = nullptr;
}

void AlarmJournalDialog::setFiltersEnabled(bool enabled)
{
    for (QWidget *widget : {static_cast<QWidget *>(firstDevice), static_cast<QWidget *>(lastDevice),
                            static_cast<QWidget *>(kind), static_cast<QWidget *>(level),
                            static_cast<QWidget *>(from),
                            static_cast<QWidget *>(to), static_cast<QWidget *>(queryButton)})
        widget->setEnabled(enabled);
    exportButton->setEnabled(enabled && !exportWatcher.isRunning());
}

void AlarmJournalDialog::followNow()
{
    if (!toFollowsNow)
        return;
    settingTo = true;
    to->setDateTime(QDateTime::currentDateTime());
    settingTo = false;
}

void AlarmJournalDialog::runQuery()
{
    if (!model)
        return;
    followNow();
    model->setFilter(filterFor(firstDevice->value(), lastDevice->value(), kind->currentIndex(),
                               level->currentIndex(), from->dateTime(), to->dateTime()));
    status->setText(model->error());
}

void AlarmJournalDialog::exportJournal()
{
    if (!model || exportWatcher.isRunning())
        return;
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-hhmmss"));
    const QString proposed =
        QDir(exportDirectory).filePath(QStringLiteral("alarm-journal-%1.csv").arg(stamp));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出数据"), proposed, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    // What the table lists, read again on a worker: a whole journal takes seconds to write.
    cancelExport = false;
    exportButton->setEnabled(false);
    status->setText(tr("正在导出…"));
    exportWatcher.setFuture(QtConcurrent::run(exportFile, stationDatabase->filePath(),
                                              model->filter(), path, &cancelExport));
}

void AlarmJournalDialog::exportFinished()
{
    const ExportResult result = exportWatcher.result();
    exportButton->setEnabled(model != nullptr);
    status->clear();
    if (!result.cancelled && !result.error.isEmpty())
        QMessageBox::warning(this, tr("提示"), tr("导出失败：") + result.error);
}
