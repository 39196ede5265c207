#pragma once

class QCheckBox;
class QDialog;
class QPushButton;
class QTableWidget;

// Alarm list with export, clear and return buttons below it, and between them acknowledge,
// silence, the journal and the sound setting; the alarm rules in a second row.
class AlarmForm
{
public:
    QTableWidget *tableWidget_alarm = nullptr;
    QPushButton *pushButton = nullptr;   // export
    QPushButton *pushButton_2 = nullptr; // clear
    QPushButton *pushButton_3 = nullptr; // return
    QPushButton *pushButton_acknowledge = nullptr;
    QPushButton *pushButton_silence = nullptr;
    QPushButton *pushButton_journal = nullptr;
    QCheckBox *checkBox_sound = nullptr;
    QPushButton *pushButton_rules = nullptr;

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
