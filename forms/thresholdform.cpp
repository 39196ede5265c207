#include "forms/thresholdform.h"

#include "forms/formwidgets.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using FormWidgets::make;
using FormWidgets::whiteLabel;

QLineEdit *centredField(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *field = make<QLineEdit>(parent, name, geometry);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

} // namespace

void ThresholdForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("Threshold"));
    dialog->resize(400, 300);
    dialog->setStyleSheet(QString());

    // Two CJK glyphs at 12 pt need up to 34 px (WenQuanYi; YaHei 32), four need 68: at the
    // planned 31 and 61 px the last glyph would be cut. Widened to the right only.
    label = whiteLabel(dialog, "label", QRect(30, 30, 34, 21), 12);
    label_2 = whiteLabel(dialog, "label_2", QRect(100, 30, 34, 21), 12);
    label_3 = whiteLabel(dialog, "label_3", QRect(77, 37, 21, 21), 12);
    Before_seria_num = make<QLineEdit>(dialog, "Before_seria_num", QRect(30, 60, 31, 20));
    After_serial_num = make<QLineEdit>(dialog, "After_serial_num", QRect(100, 60, 31, 20));
    label_4 = whiteLabel(dialog, "label_4", QRect(74, 61, 16, 16), 11);
    label_5 = whiteLabel(dialog, "label_5", QRect(180, 30, 68, 21), 12);
    label_6 = whiteLabel(dialog, "label_6", QRect(290, 30, 71, 21), 12);
    lineEdit_Upper_temperature =
        centredField(dialog, "lineEdit_Upper_temperature", QRect(180, 60, 61, 20));
    lineEdit_Lower_temperature =
        centredField(dialog, "lineEdit_Lower_temperature", QRect(290, 60, 61, 20));
    label_7 = whiteLabel(dialog, "label_7", QRect(180, 110, 68, 21), 12);
    lineEdit_Upper_current =
        centredField(dialog, "lineEdit_Upper_current", QRect(180, 140, 61, 20));

    widget = make<QWidget>(dialog, "widget", QRect(-190, -130, 791, 531));
    // Scoped to the backdrop itself: an unscoped image rule would repeat the picture
    // inside the button placed on it.
    widget->setStyleSheet(QStringLiteral("#widget { image: url(:/new/prefix1/img/P1.jpg); }"));
    Threshold_Settings = make<QPushButton>(widget, "Threshold_Settings", QRect(500, 350, 61, 23));
    QFont kerned;
    kerned.setKerning(true);
    Threshold_Settings->setFont(kerned);
    Threshold_Settings->setStyleSheet(QString());

    label_8 = whiteLabel(dialog, "label_8", QRect(30, 180, 68, 21), 12);
    label_9 = whiteLabel(dialog, "label_9", QRect(130, 180, 68, 21), 12);
    label_10 = whiteLabel(dialog, "label_10", QRect(230, 180, 75, 21), 12);
    lineEdit_temperature_deadband =
        centredField(dialog, "lineEdit_temperature_deadband", QRect(30, 210, 61, 20));
    lineEdit_current_deadband =
        centredField(dialog, "lineEdit_current_deadband", QRect(130, 210, 61, 20));
    lineEdit_delay = centredField(dialog, "lineEdit_delay", QRect(230, 210, 61, 20));
    Deadband_Settings = make<QPushButton>(dialog, "Deadband_Settings", QRect(270, 260, 101, 23));
    threshold_message = make<QLabel>(dialog, "threshold_message", QRect(30, 236, 232, 58));
    threshold_message->setWordWrap(true);
    threshold_message->setStyleSheet(QStringLiteral("color: rgb(255, 150, 150);"));

    // Created after the labels and fields, so it must be put below them explicitly.
    widget->lower();

    retranslateUi(dialog);
    QMetaObject::connectSlotsByName(dialog);
}

void ThresholdForm::retranslateUi(QDialog *dialog)
{
    auto tr = [](const char *text) { return QCoreApplication::translate("Threshold", text); };
    dialog->setWindowTitle(tr("Dialog"));
    label->setText(tr("序号"));
    label_2->setText(tr("序号"));
    label_3->setText(tr("~"));
    Before_seria_num->setText(tr("1"));
    After_serial_num->setText(tr("200"));
    label_4->setText(tr("至"));
    label_5->setText(tr("温度上限"));
    label_6->setText(tr("温度下限"));
    lineEdit_Upper_temperature->setText(tr("80.0"));
    lineEdit_Lower_temperature->setText(tr("-40.0"));
    label_7->setText(tr("电流上限"));
    lineEdit_Upper_current->setText(tr("50.00"));
    Threshold_Settings->setText(tr("设置"));
    label_8->setText(tr("温度回差"));
    label_9->setText(tr("电流回差"));
    label_10->setText(tr("延时(秒)"));
    lineEdit_temperature_deadband->setText(tr("0"));
    lineEdit_current_deadband->setText(tr("0"));
    lineEdit_delay->setText(tr("0"));
    Deadband_Settings->setText(tr("设置回差延时"));
}
