#include "forms/serialportform.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>

void SerialPortForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Serial_port"));
    dialog->resize(400, 300);
    // Scoped to the dialog so the picture is not repeated inside its controls.
    dialog->setStyleSheet(QStringLiteral("#Serial_port { image: url(:/new/prefix1/img/P3.jpg); }"));

    pushButton = new QPushButton(dialog);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(250, 120, 75, 23);

    PortBox = new QComboBox(dialog);
    PortBox->setObjectName(QStringLiteral("PortBox"));
    PortBox->setGeometry(70, 121, 75, 20);
    // Editable so that a port the platform does not enumerate (a renamed USB
    // adapter, a pseudo-terminal) can still be typed in.
    PortBox->setEditable(true);
    PortBox->setInsertPolicy(QComboBox::NoInsert);

    OpenSerialButton = new QPushButton(dialog);
    OpenSerialButton->setObjectName(QStringLiteral("OpenSerialButton"));
    // Four CJK glyphs at a 12 pt default font plus the style's margins need 76 px.
    OpenSerialButton->setGeometry(160, 120, 75, 23);

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void SerialPortForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Serial_port", "Dialog"));
    pushButton->setText(QCoreApplication::translate("Serial_port", "刷新"));
    OpenSerialButton->setText(QCoreApplication::translate("Serial_port", "打开串口"));
}
