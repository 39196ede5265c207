#include "forms/dialogform.h"

#include "forms/panelcolumn.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>

void DialogForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Dialog"));
    dialog->resize(427, 306);
    dialog->setStyleSheet(QString());

    widget = new QWidget(dialog);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setGeometry(0, 0, 471, 311);
    widget->setStyleSheet(QStringLiteral("#widget { image: url(:/new/prefix1/img/P1.jpg); }"));

    for (int k = 1; k <= kButtonCount; ++k) {
        auto *button = new QPushButton(dialog);
        button->setObjectName(QStringLiteral("pushButton_p%1").arg(k));
        const int row = (k - 1) / 4;
        const int column = (k - 1) % 4;
        // "106-120" in YaHei at a 12 pt default font plus the style's margins needs 87 px.
        button->setGeometry(20 + 100 * column, 20 + 40 * row, 75, 23);
        pageButtons[k - 1] = button;
    }

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void DialogForm::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("Dialog", "Dialog"));
    for (int k = 1; k <= kButtonCount; ++k)
        pageButtons[k - 1]->setText(rangeText(k));
}

QString DialogForm::rangeText(int buttonNumber)
{
    const int first = (buttonNumber - 1) * PanelColumn::kDevicesPerPage + 1;
    const int last = qMin(first + PanelColumn::kDevicesPerPage - 1, PanelColumn::kDeviceCount);
    return QStringLiteral("%1-%2").arg(first).arg(last);
}
