#include "scada/modbusserversettings.h"

#include "config/stationsettings.h"

#include <QHostAddress>
#include <QVariant>

namespace {

const char kModbusServerGroup[] = "modbus_server";
const char *const kModbusServerKeys[] = {"enabled", "address", "port", "unit"};

} // namespace

ModbusServerSettings ModbusServerSettings::load()
{
    const auto store = StationSettings::open();
    store->beginGroup(QLatin1String(kModbusServerGroup));
    // A hand-edited number that makes no sense counts as none.
    const auto number = [&store](const char *key, int fallback, int lowest, int highest) {
        bool ok = false;
        const int value = store->value(QLatin1String(key)).toInt(&ok);
        return ok && value >= lowest && value <= highest ? value : fallback;
    };
    ModbusServerSettings settings;
    settings.enabled = store->value(QStringLiteral("enabled"), false).toBool();
    settings.address =
        store->value(QStringLiteral("address"), settings.address).toString().trimmed();
    if (settings.address.isEmpty())
        settings.address = QStringLiteral("0.0.0.0");
    settings.port = number("port", 502, 1, 65535);
    settings.unit = number("unit", 1, 1, 255);
    return settings;
}

bool ModbusServerSettings::save(QString *problem) const
{
    return StationSettings::saveGroup(kModbusServerGroup,
                                      {{kModbusServerKeys[0], enabled}, {kModbusServerKeys[1], address.trimmed()},
                                       {kModbusServerKeys[2], port}, {kModbusServerKeys[3], unit}},
                                      problem);
}

QString ModbusServerSettings::problem() const
{
    if (QHostAddress(address.trimmed()).isNull())
        return tr("监听地址应为 IP 地址，如 0.0.0.0");
    if (port < 1 || port > 65535)
        return tr("端口应在 1 到 65535 之间");
    // 0 is the serial line's broadcast, which is never answered.
    if (unit < 1 || unit > 255)
        return tr("从站地址应在 1 到 255 之间");
    return QString();
}

bool ModbusServerSettings::operator==(const ModbusServerSettings &other) const
{
    return enabled == other.enabled && address == other.address && port == other.port
           && unit == other.unit;
}
