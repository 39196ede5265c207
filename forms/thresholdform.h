#pragma once

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// One set of three limits for a range of device numbers, over the station's backdrop.
class ThresholdForm
{
public:
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *label_3 = nullptr;
    QLineEdit *Before_seria_num = nullptr; // first device of the range
    QLineEdit *After_serial_num = nullptr; // last device of the range
    QLabel *label_4 = nullptr;
    QLabel *label_5 = nullptr;
    QLabel *label_6 = nullptr;
    QLineEdit *lineEdit_Upper_temperature = nullptr;
    QLineEdit *lineEdit_Lower_temperature = nullptr;
    QLabel *label_7 = nullptr;
    QLineEdit *lineEdit_Upper_current = nullptr;
    QWidget *widget = nullptr;
    QPushButton *Threshold_Settings = nullptr;
    // Deadband and delay-on for the same range, below the limits, with a button of their own.
    QLabel *label_8 = nullptr;
    QLabel *label_9 = nullptr;
    QLabel *label_10 = nullptr;
    QLineEdit *lineEdit_temperature_deadband = nullptr;
    QLineEdit *lineEdit_current_deadband = nullptr;
    QLineEdit *lineEdit_delay = nullptr;
    QPushButton *Deadband_Settings = nullptr;
    // Why the last 设置 changed nothing; empty after one that did.
    QLabel *threshold_message = nullptr;

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
