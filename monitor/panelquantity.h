#pragma once

#include "core/devicereadings.h"

// Object-name prefix of the panel field that shows the quantity.
const char *panelPrefix(PanelQuantity quantity);
