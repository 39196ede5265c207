#pragma once

#include "history/historyquery.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QDateTimeEdit;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableWidget;

// The history query page: runs one query at a time on a worker thread, fills the table,
// drives the bar, exports what was listed, and tells a trend what the operator chose.
class HistoryPageController : public QObject
{
    Q_OBJECT

public:
    // The page's widgets; the controller drives them, their window owns them.
    struct Widgets
    {
        QTableWidget *table = nullptr;
        QLineEdit *deviceEdit = nullptr;
        QDateTimeEdit *head = nullptr;
        QDateTimeEdit *tail = nullptr;
        QPushButton *queryButton = nullptr;
        QPushButton *exportButton = nullptr;
        QProgressBar *progressBar = nullptr;
        QStatusBar *statusBar = nullptr;
    };

    // Sets the table up: 10080 rows of one column "历史记录".
    HistoryPageController(const Widgets &widgets, const QString &dataDirectory,
                          QObject *parent = nullptr);
    // Waits for a running query, which reports to the bar.
    ~HistoryPageController() override;

    // The page is being opened: the first time, the range becomes the last day up to now.
    void pageOpened(const QDateTime &now);
    // Starts a query of the device and range shown; ignored while one runs.
    void query();
    // Asks where to and writes the listed records as CSV.
    void exportResults();

    // The device number typed, 1..200, or 0 when it is no such number.
    int chosenDevice() const;
    QDateTime chosenFrom() const;
    QDateTime chosenTo() const;

    int resultCount() const { return historyResultCount; }
    bool isQueryRunning() const { return historyQuery.isRunning(); }

private:
    void showResults();

    const Widgets page;
    const QString dataDir;
    bool historyRangeChosen = false;
    // The running query; its results reach the table only when it is done.
    QFutureWatcher<HistoryQuery::Result> historyQuery;
    QStringList historyResults;
    QVector<QStringList> historyFields;
    int historyResultCount = 0;
    QString historyDeviceText;
};
