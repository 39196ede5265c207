#include "forms/alarmform.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>
#include <QTableWidget>

void AlarmForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Alarm"));
    dialog->resize(511, 371);

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

    // In the gaps of the bottom row, the three buttons above keeping their places.
    pushButton_acknowledge = new QPushButton(dialog);
    pushButton_acknowledge->setObjectName(QStringLiteral("pushButton_acknowledge"));
    pushButton_acknowledge->setGeometry(80, 320, 60, 23);
    pushButton_silence = new QPushButton(dialog);
    pushButton_silence->setObjectName(QStringLiteral("pushButton_silence"));
    pushButton_silence->setGeometry(145, 320, 60, 23);
    pushButton_journal = new QPushButton(dialog);
    pushButton_journal->setObjectName(QStringLiteral("pushButton_journal"));
    pushButton_journal->setGeometry(290, 320, 70, 23);
    checkBox_sound = new QCheckBox(dialog);
    checkBox_sound->setObjectName(QStringLiteral("checkBox_sound"));
    checkBox_sound->setGeometry(364, 320, 70, 23);
    // The bottom row is full: a row of its own, under the journal it belongs with.
    pushButton_rules = new QPushButton(dialog);
    pushButton_rules->setObjectName(QStringLiteral("pushButton_rules"));
    pushButton_rules->setGeometry(290, 346, 70, 23);

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void AlarmForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Alarm", "Dialog"));
    pushButton->setText(QCoreApplication::translate("Alarm", "导出数据"));
    pushButton_2->setText(QCoreApplication::translate("Alarm", "清除数据"));
    pushButton_3->setText(QCoreApplication::translate("Alarm", "返回"));
    pushButton_acknowledge->setText(QCoreApplication::translate("Alarm", "确认"));
    pushButton_silence->setText(QCoreApplication::translate("Alarm", "消音"));
    pushButton_journal->setText(QCoreApplication::translate("Alarm", "报警日志"));
    checkBox_sound->setText(QCoreApplication::translate("Alarm", "报警声音"));
    pushButton_rules->setText(QCoreApplication::translate("Alarm", "报警规则"));
}
