#pragma once

class QDialog;
class QPushButton;
class QTableWidget;

// Alarm list with export, clear and return buttons below it.
class AlarmForm
{
public:
    QTableWidget *tableWidget_alarm = nullptr;
    QPushButton *pushButton = nullptr;   // export
    QPushButton *pushButton_2 = nullptr; // clear
    QPushButton *pushButton_3 = nullptr; // return

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
