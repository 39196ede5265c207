#pragma once

#include <QDialog>
#include <QString>

class AlarmForm;

// The list of alarms and recoveries; alarm detection writes its rows through form().
class Alarm : public QDialog
{
    Q_OBJECT

public:
    explicit Alarm(QWidget *parent = nullptr);
    ~Alarm() override;

    AlarmForm *form() const { return ui; }

    // Where the export's save dialog starts; the station passes its data directory.
    void setExportDirectory(const QString &directory);

signals:
    // The list was wiped; whoever keeps the alarm state starts it afresh.
    void alarmsCleared();

private slots:
    void on_pushButton_2_clicked();
    void on_pushButton_clicked();
    void on_pushButton_3_clicked();

private:
    void setUpTable();

    AlarmForm *ui;
    QString exportDirectory;
};
