#pragma once

#include "report/reportfiles.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class ReportScheduler;

// "报表": makes any day's or month's report on demand, with its progress, and sets what the
// station makes by itself (the day before at 00:05, the month before on the 1st) and where.
// The report is made by the scheduler, so a closed dialog leaves it going.
class ReportDialog : public QDialog
{
    Q_OBJECT

public:
    ReportDialog(ReportScheduler *scheduler, const QString &dataDirectory, QWidget *parent = nullptr);

private slots:
    void makeReport();
    void showProgress(int percent);
    void showOutcome(const ReportOutcome &outcome, bool onDemand);
    void apply();

private:
    void showKind();
    QString folderPath() const;
    void setBusy(bool busy);

    ReportScheduler *reports;
    QString dataDir;
    QString lastFolder;

    QComboBox *kind;
    QDateEdit *period;
    QLineEdit *folder;
    QPushButton *browseButton;
    QPushButton *makeButton;
    QPushButton *cancelButton;
    QProgressBar *progress;
    QLabel *result;
    QPushButton *openFolderButton;
    QCheckBox *daily;
    QCheckBox *monthly;
    QLabel *message;
    QPushButton *applyButton;
    QPushButton *closeButton;
};
