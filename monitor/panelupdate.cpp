#include "monitor/panelupdate.h"

#include "config/savedsettingslines.h"
#include "forms/panelcolumn.h"
#include "forms/panelfields.h"

#include <QLineEdit>

QString PanelUpdate::voltageText(int registerValue)
{
    return QString::number(registerValue);
}

QString PanelUpdate::temperatureText(int registerValue, const QString &correctionText)
{
    const float correction = correctionText.toFloat();
    const auto tenths = static_cast<qint16>(static_cast<quint16>(registerValue));
    const double celsius = static_cast<double>(correction) + tenths * 0.1;
    return QString::number(celsius, 'g', 6);
}

QString PanelUpdate::currentText(int registerValue)
{
    return QString::number(registerValue * 0.01, 'g', 6);
}

QString PanelUpdate::statusText(int registerValue)
{
    const bool online = registerValue == 0x45 || registerValue == 0x55;
    return online ? QStringLiteral("在线") : QStringLiteral("离线");
}

QString PanelUpdate::text(PanelQuantity quantity, int registerValue, const QString &correctionText)
{
    switch (quantity) {
    case PanelQuantity::Voltage:
        return voltageText(registerValue);
    case PanelQuantity::Temperature:
        return temperatureText(registerValue, correctionText);
    case PanelQuantity::Current:
        return currentText(registerValue);
    case PanelQuantity::Status:
        return statusText(registerValue);
    }
    return QString();
}

void PanelUpdate::updateColumn(const PanelFields &fields, PanelQuantity quantity, int firstDevice,
                               const ModbusFrame::Registers &registers,
                               QLineEdit *&currentLineEdit)
{
    const char *prefix = panelPrefix(quantity);
    for (int k = 0; k < ModbusFrame::kRegisterCount; ++k) {
        const int device = firstDevice + k;
        currentLineEdit = fields.field(prefix, device);
        if (!currentLineEdit)
            continue;
        const QString correction =
            quantity == PanelQuantity::Temperature ? savedCorrectionText(device) : QString();
        // The same text again would only lay the field out and paint it anew, and put the
        // cursor of an operator working in it back to the end.
        const QString shown = text(quantity, registers[k], correction);
        if (currentLineEdit->text() != shown)
            currentLineEdit->setText(shown);
    }
}
