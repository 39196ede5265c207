#pragma once

#include <QDialog>

class ThresholdForm;

// Gives one set of three alarm limits to a range of device numbers. The dialog keeps no
// limits itself: it says what was asked, and the owner of the limits applies it.
class Threshold : public QDialog
{
    Q_OBJECT

public:
    explicit Threshold(QWidget *parent = nullptr);
    ~Threshold() override;

    ThresholdForm *form() const { return ui; }

signals:
    // Texts that are not numbers arrive as 0 and 0.0; limits that would switch alarms off
    // (not finite, or beyond what a sensor reports) are refused in the dialog and never sent.
    void thresholdsApplied(int firstDevice, int lastDevice, float upperTemperature,
                           float lowerTemperature, float upperCurrent);
    // Deadbands in ℃ and A (0..50), delay in whole seconds (0..3600); anything else is refused
    // in the dialog.
    void deadbandsApplied(int firstDevice, int lastDevice, float temperatureDeadband,
                          float currentDeadband, int delaySeconds);

private slots:
    void on_Threshold_Settings_clicked();
    void on_Deadband_Settings_clicked();

private:
    ThresholdForm *ui;
};
