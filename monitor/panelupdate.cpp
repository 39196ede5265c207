#include "monitor/panelupdate.h"


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
    return online ? onlineText() : QStringLiteral("离线");
}

QString PanelUpdate::onlineText()
{
    return QStringLiteral("在线");
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
