#include "config/savedsettingslines.h"

QVector<QString> savedSettingsLines(kSavedSettingsLineCount);

QString savedCorrectionText(int device)
{
    const int index = 400 + device - 1;
    if (device < 1 || device > 200 || index >= savedSettingsLines.size())
        return QString();
    return savedSettingsLines.at(index);
}
