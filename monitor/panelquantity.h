#pragma once

// The four readings a device panel shows, one concentrator register block each.
enum class PanelQuantity { Voltage, Temperature, Current, Status };

// Object-name prefix of the panel field that shows the quantity.
const char *panelPrefix(PanelQuantity quantity);
