#pragma once

class QComboBox;
class QDialog;
class QPushButton;

class SerialPortForm
{
public:
    QPushButton *pushButton = nullptr; // refresh
    QComboBox *PortBox = nullptr;
    QPushButton *OpenSerialButton = nullptr;

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
