#include "monitor/devicemodel.h"

#include "config/savedsettingslines.h"
#include "monitor/deviceevaluation.h"
#include "monitor/panelupdate.h"

namespace {

size_t at(int device)
{
    return static_cast<size_t>(device - 1);
}

size_t at(PanelQuantity quantity)
{
    return static_cast<size_t>(quantity);
}

} // namespace

DeviceModel::DeviceModel(QObject *parent) : QObject(parent)
{
    // Nothing has been heard yet: a device the station has no word of is neither online nor
    // offline.
    texts[at(PanelQuantity::Status)].fill(noAnswerText());
    evaluate();
}

QString DeviceModel::noAnswerText()
{
    return tr("无应答");
}

const QString &DeviceModel::setting(Setting which, int device) const
{
    return settings[size_t(which)][at(device)];
}

void DeviceModel::setSetting(Setting which, int device, const QString &text)
{
    if (device < 1 || device > kDevices)
        return;
    QString &held = settings[size_t(which)][at(device)];
    if (held == text)
        return;
    held = text;
    emit settingChanged(which, device);
}

QVector<QString> DeviceModel::settingsLines() const
{
    QVector<QString> lines;
    lines.reserve(kSettingCount * kDevices);
    for (const auto &column : settings)
        for (const QString &text : column)
            lines.append(text);
    return lines;
}

void DeviceModel::setSettingsLines(const QVector<QString> &lines)
{
    for (int line = 0; line < kSettingCount * kDevices; ++line)
        setSetting(Setting(line / kDevices), line % kDevices + 1, lines.value(line));
}

const QString &DeviceModel::text(PanelQuantity quantity, int device) const
{
    return texts[at(quantity)][at(device)];
}

void DeviceModel::stepDone(PanelQuantity quantity, int firstDevice, bool answered,
                           const ModbusFrame::Registers &registers, const QDateTime &when)
{
    const int lastDevice = qMin(firstDevice + ReadingFreshness::kBlockSize - 1, kDevices);
    const quint8 bit = quint8(1u << static_cast<int>(quantity));
    auto &column = texts[at(quantity)];
    // An answer rewrites its column on the panels, whatever was typed over a field there.
    bool changed = answered;
    if (answered) {
        for (int device = firstDevice; device <= lastDevice; ++device) {
            const QString correction = quantity == PanelQuantity::Temperature
                ? savedCorrectionText(device) : QString();
            column[at(device)] = PanelUpdate::text(quantity, registers[size_t(device - firstDevice)], correction);
            answeredAt[at(device)] = when;
        }
        freshness.answered(quantity, firstDevice);
    } else {
        freshness.missed(quantity, firstDevice);
        if (quantity == PanelQuantity::Status) {
            for (int device = firstDevice; device <= lastDevice; ++device) {
                if (!(freshness.staleQuantities(device) & bit) || column[at(device)] == noAnswerText())
                    continue;
                column[at(device)] = noAnswerText();
                changed = true;
            }
        }
    }
    if (changed)
        emit textsChanged(quantity, firstDevice, lastDevice);
    emit freshnessChanged(firstDevice, lastDevice);
}

void DeviceModel::type(PanelQuantity quantity, int device, const QString &text)
{
    if (device < 1 || device > kDevices)
        return;
    texts[at(quantity)][at(device)] = text;
    freshness.typed(quantity, device);
    emit textsChanged(quantity, device, device);
    emit freshnessChanged(device, device);
}

void DeviceModel::read(PanelQuantity quantity, int device)
{
    const QString &shown = texts[at(quantity)][at(device)];
    switch (quantity) {
    case PanelQuantity::Temperature:
        evaluated.deviceTemperature[at(device)] = DeviceEvaluation::temperatureValue(shown);
        break;
    case PanelQuantity::Voltage:
        evaluated.deviceVoltage[at(device)] = DeviceEvaluation::voltageValue(shown);
        break;
    case PanelQuantity::Current:
        evaluated.deviceCurrent[at(device)] = DeviceEvaluation::currentValue(shown);
        break;
    case PanelQuantity::Status:
        evaluated.deviceStatusText[at(device)] = shown;
        break;
    }
}

void DeviceModel::evaluate()
{
    for (PanelQuantity quantity : {PanelQuantity::Temperature, PanelQuantity::Voltage,
                                   PanelQuantity::Current, PanelQuantity::Status})
        for (int device = 1; device <= kDevices; ++device)
            read(quantity, device);
    freshness.mark(evaluated);
}

void DeviceModel::evaluateColumn(PanelQuantity quantity, int firstDevice)
{
    for (int device = firstDevice; device < firstDevice + kDevices / 2 && device <= kDevices; ++device)
        read(quantity, device);
    freshness.mark(evaluated);
}

void DeviceModel::setAlarms(const std::array<quint8, kDevices> &bits)
{
    static const PanelQuantity quantities[] = {PanelQuantity::Temperature, PanelQuantity::Voltage,
                                               PanelQuantity::Current};
    for (int device = 1; device <= kDevices; ++device) {
        // An open alarm whose reading went stale is shown otherwise: a change too.
        quint8 look = bits[at(device)];
        for (int k = 0; k < 3; ++k)
            if ((look & (1u << k)) && !evaluated.isFresh(quantities[k], device))
                look |= quint8(1u << (k + 3));
        if (alarmBits[at(device)] == look)
            continue;
        alarmBits[at(device)] = look;
        emit alarmsChanged(device);
    }
}
