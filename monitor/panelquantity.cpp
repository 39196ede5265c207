#include "monitor/panelquantity.h"

#include "forms/panelcolumn.h"

const char *panelPrefix(PanelQuantity quantity)
{
    switch (quantity) {
    case PanelQuantity::Voltage:
        return PanelPrefix::Voltage;
    case PanelQuantity::Temperature:
        return PanelPrefix::Temperature;
    case PanelQuantity::Current:
        return PanelPrefix::Current;
    case PanelQuantity::Status:
        return PanelPrefix::Status;
    }
    return PanelPrefix::Status;
}
