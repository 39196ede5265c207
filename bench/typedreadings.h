#pragma once

#include "app/mainwindow.h"

#include <QLineEdit>
#include <QString>

// Puts text in a column of the panels' fields, as typed: the station judges only readings it
// has heard or been given.
inline void typeIntoAll(MainWindow &window, const char *prefix, const QString &text, int first = 1, int step = 1)
{
    for (int device = first; device <= 200; device += step) {
        QLineEdit *field = window.findChild<QLineEdit *>(QString::fromLatin1(prefix) + QString::number(device));
        field->setText(text);
        emit field->textEdited(text);
    }
}
