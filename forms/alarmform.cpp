#include "forms/alarmform.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>
#include <QTableWidget>

void AlarmForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Alarm"));
    dialog->resize(511, 341);

    tableWidget_alarm = new QTableWidget(dialog);
    tableWidget_alarm->setObjectName(QStringLiteral("tableWidget_alarm"));
    tableWidget_alarm->setGeometry(0, 0, 511, 321);
    tableWidget_alarm->setBaseSize(0, 0);

    pushButton = new QPushButton(dialog);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(0, 320, 75, 23);

    pushButton_2 = new QPushButton(dialog);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    pushButton_2->setGeometry(210, 320, 75, 23);

    pushButton_3 = new QPushButton(dialog);
    pushButton_3->setObjectName(QStringLiteral("pushButton_3"));
    // 436, not 440: at 440 the button's right edge would be cut off by the 511 px dialog.
    pushButton_3->setGeometry(436, 320, 75, 23);

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void AlarmForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Alarm", "Dialog"));
    pushButton->setText(QCoreApplication::translate("Alarm", "导出数据"));
    pushButton_2->setText(QCoreApplication::translate("Alarm", "清除数据"));
    pushButton_3->setText(QCoreApplication::translate("Alarm", "返回"));
}
