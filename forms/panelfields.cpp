#include "forms/panelfields.h"

#include "forms/panelcolumn.h"

#include <QLineEdit>

PanelFields::PanelFields(QObject *root)
{
    const auto edits = root->findChildren<QLineEdit *>();
    byName.reserve(edits.size());
    for (QLineEdit *edit : edits) {
        if (!edit->objectName().isEmpty())
            byName.insert(edit->objectName(), edit);
    }
}

QLineEdit *PanelFields::field(const char *prefix, int device) const
{
    if (device < 1 || device > PanelColumn::kDeviceCount)
        return byName.value(PanelColumn::fieldName(prefix, device), nullptr);
    for (const Column &column : qAsConst(columns)) {
        if (column.prefix == prefix)
            return column.byDevice.at(device);
    }
    Column column{QByteArray(prefix), QVector<QLineEdit *>(PanelColumn::kDeviceCount + 1)};
    for (int number = 1; number <= PanelColumn::kDeviceCount; ++number)
        column.byDevice[number] = byName.value(PanelColumn::fieldName(prefix, number), nullptr);
    columns.append(column);
    return column.byDevice.at(device);
}
