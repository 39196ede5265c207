#pragma once

#include "monitor/alarmacknowledgement.h"
#include "monitor/alarmdetector.h"

#include <QDialog>
#include <QString>
#include <QVector>

class StationDatabase;
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
    // Where "报警日志" reads the journal.
    void setJournalDatabase(StationDatabase *database);
    // Shows the sound setting without announcing a change.
    void showSoundEnabled(bool enabled);
    // An alarm in its row's first two columns, a recovery in its first and third.
    void enter(const AlarmDetector::Event &event, const QString &timeText);
    // Colour, weight and tooltip of the row's state.
    void paintRow(int row, AlarmAcknowledgement::State state);
    // How many rows the last acknowledgeRequested acknowledged; none is said out loud.
    void acknowledgementDone(int acknowledged);

signals:
    // The list was wiped; whoever keeps the alarm state starts it afresh.
    void alarmsCleared();
    // The rows chosen in the list, ascending; empty when none is chosen.
    void acknowledgeRequested(const QVector<int> &rows);
    void silenceRequested();
    void soundEnabledChanged(bool enabled);
    // The operator asks for the alarm rules; whoever holds them opens them.
    void rulesRequested();

private slots:
    void on_pushButton_2_clicked();
    void on_pushButton_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_acknowledge_clicked();
    void on_pushButton_silence_clicked();
    void on_pushButton_journal_clicked();
    void on_pushButton_rules_clicked();
    void on_checkBox_sound_clicked(bool checked);

private:
    void setUpTable();

    AlarmForm *ui;
    QString exportDirectory;
    bool acknowledgingChosen = false;
    StationDatabase *journalDatabase = nullptr;
};
