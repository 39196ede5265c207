#pragma once

#include "core/cabinetgroup.h"
#include "core/jointrulesettings.h"

#include <QDialog>
#include <QString>
#include <QVector>
#include <array>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class Station;

// "报警规则": the cabinet groups and the joint rules' settings, as the station holds them at
// each opening. Nothing takes effect until 保存, which stores groups and settings together;
// what cannot be stored is said in the dialog, and the edits stay.
class AlarmRulesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AlarmRulesDialog(Station *station, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void addGroup();
    void deleteGroups();
    void importGroups();
    void exportGroups();
    void setWarningLimit();
    void clearWarningLimit();
    void warningChosen(int row);
    void save();

private:
    // The three fields of a rule with two levels.
    struct LimitFields
    {
        QDoubleSpinBox *warning;
        QDoubleSpinBox *alarm;
        QDoubleSpinBox *deadband;
        QSpinBox *delay;
    };

    void showGroups(const QVector<CabinetGroup> &groups);
    void showSettings(const JointRuleSettings &settings);
    void showWarnings();
    // The groups as typed, or false with the first bad cell chosen and said.
    bool editedGroups(QVector<CabinetGroup> *groups);
    // False with the field chosen and said when a 预警 is not below its 报警.
    bool editedSettings(JointRuleSettings *settings);
    void applyToRange(float limit);
    void refuse(const QString &problem);
    void tell(const QString &news);

    Station *station;
    std::array<float, kDevices> warningLimits = JointRuleSettings::offLimits();

    QTableWidget *groupTable;
    QPushButton *addButton;
    QPushButton *deleteButton;
    QPushButton *importButton;
    QPushButton *exportButton;
    LimitFields phase;
    LimitFields ambient;
    LimitFields rate;
    QCheckBox *rateOn;
    QSpinBox *rateWindow;
    QDoubleSpinBox *idleOverAmbient;
    QDoubleSpinBox *idleWithoutAmbient;
    QDoubleSpinBox *warningDeadband;
    QSpinBox *warningDelay;
    QSpinBox *firstDevice;
    QSpinBox *lastDevice;
    QDoubleSpinBox *warningLimit;
    QPushButton *setWarningButton;
    QPushButton *clearWarningButton;
    QTableWidget *warningTable;
    QLabel *message;
    QPushButton *saveButton;
    QPushButton *closeButton;
};
