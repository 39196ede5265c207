#pragma once

class QComboBox;
class QDialog;
class QLabel;
class QPushButton;

class SerialPortForm
{
public:
    QPushButton *pushButton = nullptr; // refresh
    QComboBox *PortBox = nullptr;
    QPushButton *OpenSerialButton = nullptr;
    QLabel *poll_pace_label = nullptr;
    QComboBox *poll_pace_box = nullptr; // 标准 or 尽快

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
