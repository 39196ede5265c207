#include "monitor/threshold.h"

#include "forms/thresholdform.h"
#include "monitor/thresholdrange.h"

#include <QLabel>
#include <QLineEdit>

Threshold::Threshold(QWidget *parent) : QDialog(parent), ui(new ThresholdForm)
{
    ui->setupUi(this);
}

Threshold::~Threshold()
{
    delete ui;
}

void Threshold::on_Threshold_Settings_clicked()
{
    const QString problem = ThresholdRange::limitsProblem(ui->lineEdit_Upper_temperature->text(),
                                                          ui->lineEdit_Lower_temperature->text(),
                                                          ui->lineEdit_Upper_current->text());
    ui->threshold_message->setText(problem);
    if (!problem.isEmpty())
        return;
    // QString's conversions ignore the system locale: '.' is the decimal point everywhere.
    emit thresholdsApplied(ui->Before_seria_num->text().toInt(),
                           ui->After_serial_num->text().toInt(),
                           ui->lineEdit_Upper_temperature->text().toFloat(),
                           ui->lineEdit_Lower_temperature->text().toFloat(),
                           ui->lineEdit_Upper_current->text().toFloat());
}

void Threshold::on_Deadband_Settings_clicked()
{
    const QString problem = ThresholdRange::deadbandProblem(
        ui->lineEdit_temperature_deadband->text(), ui->lineEdit_current_deadband->text(),
        ui->lineEdit_delay->text());
    ui->threshold_message->setText(problem);
    if (!problem.isEmpty())
        return;
    emit deadbandsApplied(ui->Before_seria_num->text().toInt(), ui->After_serial_num->text().toInt(),
                          ui->lineEdit_temperature_deadband->text().toFloat(),
                          ui->lineEdit_current_deadband->text().toFloat(),
                          ui->lineEdit_delay->text().toInt());
}
