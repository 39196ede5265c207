#pragma once

#include <QString>
#include <array>

class QDialog;
class QPushButton;
class QWidget;

// Device-page chooser: fourteen buttons, one per page of fifteen devices.
class DialogForm
{
public:
    static constexpr int kButtonCount = 14;

    QWidget *widget = nullptr;
    std::array<QPushButton *, kButtonCount> pageButtons{}; // pushButton_p1 .. pushButton_p14

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);

    // "1-15" ... "196-200": the device range of page index K - 1 for button pK.
    static QString rangeText(int buttonNumber);
};
