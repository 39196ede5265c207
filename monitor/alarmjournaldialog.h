#pragma once

#include "storage/journalmodel.h"
#include "storage/stationdatabase.h"

#include <QDateTime>
#include <QDialog>
#include <QFutureWatcher>
#include <QString>
#include <QTimer>
#include <atomic>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

// The stored alarm journal, filtered by device range, kind, level and time, newest first, with a CSV
// export. The list is read while the dialog is shown; when hidden it holds no query open.
class AlarmJournalDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AlarmJournalDialog(StationDatabase *database, QWidget *parent = nullptr);
    ~AlarmJournalDialog() override;

    // Where the export's save dialog starts; the station passes its data directory.
    void setExportDirectory(const QString &directory);

    // The filter the widgets' values stand for: a reversed device range is turned round, kind
    // is the index of 全部, 温度, 电压, 电流, 通讯 and the rules' kinds, level that of 全部, 预警,
    // 报警, and the end second is included whole.
    static JournalFilter filterFor(int firstDevice, int lastDevice, int kindIndex, int levelIndex,
                                   const QDateTime &from, const QDateTime &to);

    // The export file of every event the filter selects: UTF-8 with a byte-order mark, the
    // headings, then one record per event, newest first, fields written as Csv::field
    // writes them, each record ending in CR LF. False, with the reason, when a query fails;
    // stops early, returning false with no reason, once *cancel is set.
    static bool csvDocument(const QSqlDatabase &database, const JournalFilter &filter,
                            QByteArray *document, QString *error = nullptr,
                            const std::atomic<bool> *cancel = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void runQuery();
    void exportJournal();
    void exportFinished();

private:
    struct ExportResult
    {
        QString error;
        bool cancelled = false;
    };
    static ExportResult exportFile(const QString &databaseFile, const JournalFilter &filter,
                                   const QString &path, const std::atomic<bool> *cancel);
    void setFiltersEnabled(bool enabled);
    void followNow();

    StationDatabase *stationDatabase;
    JournalModel *model = nullptr;
    QString exportDirectory;
    QFutureWatcher<ExportResult> exportWatcher;
    std::atomic<bool> cancelExport{false};
    // The end of the range is now, moving, until the operator sets it.
    bool toFollowsNow = true;
    bool settingTo = false;
    QTimer followTimer;

    QSpinBox *firstDevice;
    QSpinBox *lastDevice;
    QComboBox *kind;
    QComboBox *level;
    QDateTimeEdit *from;
    QDateTimeEdit *to;
    QPushButton *queryButton;
    QTableView *table;
    QLabel *status;
    QPushButton *exportButton;
    QPushButton *closeButton;
};
