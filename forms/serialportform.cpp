#include "forms/serialportform.h"

#include "forms/formwidgets.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
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

    // Below the port row, white on the backdrop as the main window's labels are.
    poll_pace_label = FormWidgets::whiteLabel(dialog, "poll_pace_label", QRect(70, 165, 85, 23),
                                              QApplication::font().pointSize());
    poll_pace_box = new QComboBox(dialog);
    poll_pace_box->setObjectName(QStringLiteral("poll_pace_box"));
    poll_pace_box->setGeometry(160, 165, 165, 23);
    poll_pace_box->addItem(QString());
    poll_pace_box->addItem(QString());

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void SerialPortForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Serial_port", "Dialog"));
    pushButton->setText(QCoreApplication::translate("Serial_port", "刷新"));
    OpenSerialButton->setText(QCoreApplication::translate("Serial_port", "打开串口"));
    poll_pace_label->setText(QCoreApplication::translate("Serial_port", "轮询间隔"));
    poll_pace_box->setItemText(0, QCoreApplication::translate("Serial_port", "标准（每帧1秒）"));
    poll_pace_box->setItemText(1, QCoreApplication::translate("Serial_port", "尽快"));
}
