#pragma once

#include <QString>

// Shown on the main window and on every dialog each time it is opened.
inline QString applicationTitle()
{
    return QStringLiteral("Kestro   www.kestro.example");
}
