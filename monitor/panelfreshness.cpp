#include "monitor/panelfreshness.h"

#include "forms/panelfields.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

namespace {

constexpr PanelQuantity kQuantities[] = {PanelQuantity::Voltage, PanelQuantity::Temperature,
                                         PanelQuantity::Current, PanelQuantity::Status};

quint8 bit(PanelQuantity quantity)
{
    return quint8(1u << static_cast<int>(quantity));
}

} // namespace

PanelFreshness::PanelFreshness(const PanelFields &panels, QObject *parent)
    : QObject(parent), fields(panels)
{
    for (PanelQuantity quantity : kQuantities) {
        for (int device = 1; device <= kDevices; ++device) {
            QLineEdit *edit = fields.field(panelPrefix(quantity), device);
            if (edit)
                connect(edit, &QLineEdit::textEdited, this,
                        [this, quantity, device]() { typed(quantity, device); });
        }
    }
    // Nothing has been heard yet. The value fields are empty until something is, so only
    // the status fields need saying so.
    shownStale.fill(bit(PanelQuantity::Voltage) | bit(PanelQuantity::Temperature)
                    | bit(PanelQuantity::Current));
    show(1, kDevices);
}

QString PanelFreshness::noAnswerText()
{
    return tr("无应答");
}

void PanelFreshness::stepDone(PanelQuantity quantity, int firstDevice, bool answered)
{
    if (answered)
        state.answered(quantity, firstDevice);
    else
        state.missed(quantity, firstDevice);
    show(firstDevice, firstDevice + ReadingFreshness::kBlockSize - 1);
}

void PanelFreshness::typed(PanelQuantity quantity, int device)
{
    state.typed(quantity, device);
    show(device, device);
}

void PanelFreshness::show(int firstDevice, int lastDevice)
{
    for (int device = firstDevice; device <= qMin(lastDevice, kDevices); ++device) {
        const quint8 stale = state.staleQuantities(device);
        quint8 &shown = shownStale[device - 1];
        const quint8 changed = stale ^ shown;
        for (PanelQuantity quantity : kQuantities) {
            if (!(changed & bit(quantity)))
                continue;
            const bool isStale = stale & bit(quantity);
            QLineEdit *edit = fields.field(panelPrefix(quantity), device);
            if (!edit)
                continue;
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Text,
                             isStale ? QColor(120, 120, 120)
                                     : QApplication::palette(edit).color(QPalette::Text));
            edit->setPalette(palette);
            if (isStale && quantity == PanelQuantity::Status)
                edit->setText(noAnswerText());
        }
        shown = stale;
    }
}
