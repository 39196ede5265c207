#pragma once

#include <QHash>
#include <QString>

class QLineEdit;
class QObject;

// The panel fields by object name. The form never adds or removes a widget, so the
// names are indexed once: a recursive search per field would cost 800 walks of the
// whole window every second.
class PanelFields
{
public:
    explicit PanelFields(QObject *root);

    // The field prefix + device (lineEdit_voltage_7), or null when there is none.
    QLineEdit *field(const char *prefix, int device) const;

private:
    QHash<QString, QLineEdit *> byName;
};
