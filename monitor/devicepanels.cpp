#include "monitor/devicepanels.h"

#include "forms/panelcolumn.h"
#include "forms/panelfields.h"
#include "monitor/panelquantity.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

namespace {

constexpr PanelQuantity kQuantities[] = {PanelQuantity::Voltage, PanelQuantity::Temperature,
                                         PanelQuantity::Current, PanelQuantity::Status};
const char *const kSettingPrefixes[] = {PanelPrefix::Name, PanelPrefix::Location,
                                        PanelPrefix::Correction};

quint8 bit(PanelQuantity quantity)
{
    return quint8(1u << static_cast<int>(quantity));
}

} // namespace

DevicePanels::DevicePanels(const PanelFields &panelFields, DeviceModel *deviceModel, QObject *parent)
    : QObject(parent), fields(panelFields), model(deviceModel)
{
    for (int device = 1; device <= kDevices; ++device) {
        for (PanelQuantity quantity : kQuantities) {
            // What the field holds, which its length limit may have cut short.
            if (QLineEdit *edit = field(panelPrefix(quantity), device))
                connect(edit, &QLineEdit::textEdited, model,
                        [this, edit, quantity, device]() { model->type(quantity, device, edit->text()); });
        }
        for (int setting = 0; setting < DeviceModel::kSettingCount; ++setting) {
            const auto which = DeviceModel::Setting(setting);
            if (QLineEdit *edit = field(kSettingPrefixes[setting], device))
                connect(edit, &QLineEdit::textChanged, model,
                        [this, edit, which, device]() { model->setSetting(which, device, edit->text()); });
        }
    }
    connect(model, &DeviceModel::textsChanged, this, &DevicePanels::showTexts);
    connect(model, &DeviceModel::settingChanged, this, &DevicePanels::showSetting);
    connect(model, &DeviceModel::freshnessChanged, this, &DevicePanels::showFreshness);
    connect(model, &DeviceModel::alarmsChanged, this, &DevicePanels::showAlarms);
    // The value fields are empty until something is heard, so only what differs is painted.
    shownStale.fill(bit(PanelQuantity::Voltage) | bit(PanelQuantity::Temperature)
                    | bit(PanelQuantity::Current));
    for (PanelQuantity quantity : kQuantities)
        showTexts(quantity, 1, kDevices);
    for (int device = 1; device <= kDevices; ++device)
        for (int setting = 0; setting < DeviceModel::kSettingCount; ++setting)
            showSetting(DeviceModel::Setting(setting), device);
    showFreshness(1, kDevices);
}

QLineEdit *DevicePanels::field(const char *prefix, int device)
{
    currentLineEdit = fields.field(prefix, device);
    return currentLineEdit;
}

void DevicePanels::showTexts(PanelQuantity quantity, int firstDevice, int lastDevice)
{
    for (int device = firstDevice; device <= lastDevice; ++device) {
        QLineEdit *edit = field(panelPrefix(quantity), device);
        // The same text again would only lay the field out anew, and put the cursor of an
        // operator working in it back to the end.
        if (edit && edit->text() != model->text(quantity, device))
            edit->setText(model->text(quantity, device));
    }
}

void DevicePanels::showSetting(DeviceModel::Setting setting, int device)
{
    QLineEdit *edit = field(kSettingPrefixes[setting], device);
    if (edit && edit->text() != model->setting(setting, device))
        edit->setText(model->setting(setting, device));
}

void DevicePanels::showFreshness(int firstDevice, int lastDevice)
{
    for (int device = firstDevice; device <= qMin(lastDevice, kDevices); ++device) {
        const quint8 stale = model->staleQuantities(device);
        quint8 &shown = shownStale[size_t(device - 1)];
        const quint8 changed = stale ^ shown;
        shown = stale;
        for (PanelQuantity quantity : kQuantities) {
            QLineEdit *edit = changed & bit(quantity) ? field(panelPrefix(quantity), device) : nullptr;
            if (!edit)
                continue;
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Text, stale & bit(quantity)
                                 ? QColor(120, 120, 120)
                                 : QApplication::palette(edit).color(QPalette::Text));
            edit->setPalette(palette);
        }
    }
}

void DevicePanels::showAlarms(int device)
{
    static const PanelQuantity quantities[] = {PanelQuantity::Temperature, PanelQuantity::Voltage,
                                               PanelQuantity::Current};
    static const QColor colours[] = {QColor(), QColor(255, 96, 96), QColor(255, 190, 190)};
    const quint8 open = model->alarms(device);
    for (size_t k = 0; k < 3; ++k) {
        const PanelQuantity quantity = quantities[k];
        const quint8 look = !(open & (1u << k)) ? 0 : open & (1u << (k + 3)) ? 2 : 1;
        quint8 &shown = shownAlarm[size_t(device - 1)][k];
        if (look == shown)
            continue;
        shown = look;
        if (QLineEdit *edit = field(panelPrefix(quantity), device)) {
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, look ? colours[look]
                                                  : QApplication::palette(edit).color(QPalette::Base));
            edit->setPalette(palette);
        }
    }
}
