#include "history/historypagecontroller.h"

#include "history/historycsv.h"

#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QtConcurrent/QtConcurrentRun>

HistoryPageController::HistoryPageController(const Widgets &widgets, const QString &dataDirectory,
                                             QObject *parent)
    : QObject(parent), page(widgets), dataDir(dataDirectory)
{
    page.progressBar->setRange(0, HistoryQuery::kProgressEnd);
    QTableWidget *table = page.table;
    table->setRowCount(HistoryQuery::kResultSlots);
    table->setColumnCount(1);
    table->setColumnWidth(0, 450);
    table->setHorizontalHeaderLabels({tr("历史记录")});
    historyResults.reserve(HistoryQuery::kResultSlots);
    page.exportButton->setEnabled(false);
    connect(&historyQuery, &QFutureWatcher<HistoryQuery::Result>::finished, this,
            &HistoryPageController::showResults);
}

HistoryPageController::~HistoryPageController()
{
    historyQuery.waitForFinished();
}

void HistoryPageController::pageOpened(const QDateTime &now)
{
    // A first look back usually concerns the last day; later the operator's range stays.
    if (historyRangeChosen)
        return;
    page.tail->setDateTime(now);
    page.head->setDateTime(now.addDays(-1));
    historyRangeChosen = true;
}

void HistoryPageController::query()
{
    // One query at a time: the button is off until this one has ended.
    if (historyQuery.isRunning())
        return;
    page.queryButton->setEnabled(false);
    page.exportButton->setEnabled(false);
    page.progressBar->setValue(0);
    // The stored stamps have ASCII digits whatever the locale; so must the range.
    const QString head = HistoryQuery::stamp(page.head->dateTime());
    const QString tail = HistoryQuery::stamp(page.tail->dateTime());
    const QString idText = page.deviceEdit->text();
    historyDeviceText = HistoryQuery::deviceText(idText);
    QProgressBar *bar = page.progressBar;
    const QString directory = dataDir;
    historyQuery.setFuture(QtConcurrent::run([=]() {
        return HistoryQuery::run(directory, idText, head, tail, [bar](int value) {
            QMetaObject::invokeMethod(bar, [bar, value]() {
                // Never back: a late report must not undo a later one.
                if (value > bar->value())
                    bar->setValue(value);
            }, Qt::QueuedConnection);
        });
    }));
}

void HistoryPageController::showResults()
{
    const HistoryQuery::Result result = historyQuery.result();
    const int previousCount = historyResultCount;
    historyResults = result.displayTexts;
    historyFields = result.fieldValues;
    historyResultCount = historyResults.size();
    QTableWidget *table = page.table;
    // The rows get their items at the first query, not at start-up, where making 10080 of
    // them would hold up the window; later queries only change the texts they fill or empty.
    if (!table->item(0, 0)) {
        for (int row = 0; row < HistoryQuery::kResultSlots; ++row)
            table->setItem(row, 0, new QTableWidgetItem);
    }
    const int rows = qMax(previousCount, historyResultCount);
    for (int row = 0; row < rows; ++row)
        table->item(row, 0)->setText(row < historyResultCount ? historyResults.at(row) : QString());
    table->scrollToTop();
    page.progressBar->setValue(HistoryQuery::kProgressEnd);
    page.queryButton->setEnabled(true);
    page.exportButton->setEnabled(historyResultCount > 0);
    if (result.dropped)
        page.statusBar->showMessage(tr("符合条件的记录超过 %1 条，只列出前 %1 条")
                                        .arg(HistoryQuery::kResultSlots), 30000);
}

void HistoryPageController::exportResults()
{
    QWidget *window = page.table->window();
    const QString proposed = QDir(dataDir).filePath(
        HistoryCsv::fileName(historyDeviceText, QDateTime::currentDateTime()));
    const QString path = QFileDialog::getSaveFileName(window, tr("导出"), proposed,
                                                      tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!HistoryCsv::write(path, historyFields, &error))
        QMessageBox::warning(window, tr("提示"), tr("导出失败：%1").arg(error));
}

int HistoryPageController::chosenDevice() const
{
    bool ok = false;
    const int device = page.deviceEdit->text().toInt(&ok, 10);
    return ok && device >= HistoryQuery::kFirstDevice && device <= HistoryQuery::kLastDevice
               ? device
               : 0;
}

QDateTime HistoryPageController::chosenFrom() const
{
    return page.head->dateTime();
}

QDateTime HistoryPageController::chosenTo() const
{
    return page.tail->dateTime();
}
