#include "forms/panelcolumn.h"

const std::array<PanelColumn, 7> &PanelColumn::fields()
{
    static const std::array<PanelColumn, 7> columns = {{
        {PanelPrefix::Name, 140, ""},
        {PanelPrefix::Location, 270, ""},
        {PanelPrefix::Voltage, 400, ""},
        {PanelPrefix::Temperature, 530, ""},
        {PanelPrefix::Correction, 660, "0"},
        {PanelPrefix::Current, 790, ""},
        {PanelPrefix::Status, 920, ""},
    }};
    return columns;
}

QString PanelColumn::fieldName(const char *prefix, int device)
{
    return QLatin1String(prefix) + QString::number(device);
}
