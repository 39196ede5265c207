#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

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
    // Each prefix's fields by device, made at its first use: building the name for every
    // look-up took most of the evaluation tick.
    struct Column
    {
        QByteArray prefix;
        QVector<QLineEdit *> byDevice;
    };

    QHash<QString, QLineEdit *> byName;
    mutable QVector<Column> columns;
};
