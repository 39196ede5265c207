#pragma once

#include <QString>
#include <QVector>

// The device settings file as read at start-up: 0-199 names, 200-399 install
// locations, 400-599 temperature corrections. Program-wide by design.
constexpr int kSavedSettingsLineCount = 600;
extern QVector<QString> savedSettingsLines;

// Correction text of device 1..200 as loaded; empty when nothing was loaded.
QString savedCorrectionText(int device);
