#pragma once

#include "core/devicereadings.h"

#include <array>

// Which panel readings the station may judge. A reading is fresh from the accepted answer
// that brought it, or from the operator typing it, until its block's answer window has
// closed twice in a row without a valid answer: it lives through one missed answer and goes
// stale when it is two polling cycles old. A reading never received is stale. Plain state:
// the polling side tells it what each window brought.
class ReadingFreshness
{
public:
    static constexpr int kBlockSize = 100;

    // The block of 100 devices from firstDevice was answered: fresh again.
    void answered(PanelQuantity quantity, int firstDevice);
    // The block's window closed without a valid answer.
    void missed(PanelQuantity quantity, int firstDevice);
    // The operator typed the reading into the panel.
    void typed(PanelQuantity quantity, int device);

    bool isFresh(PanelQuantity quantity, int device) const;
    // One bit per stale quantity, bit n for PanelQuantity n; 0 when all four are fresh.
    quint8 staleQuantities(int device) const;
    // Into readings.staleQuantities, for everything that judges the readings.
    void mark(DeviceReadings &readings) const;

private:
    static constexpr qint8 kNever = -1;
    static constexpr qint8 kStaleAfterMisses = 2;

    static int index(PanelQuantity quantity) { return static_cast<int>(quantity); }

    // Per quantity and device: windows missed since the reading came, or kNever.
    std::array<std::array<qint8, kDevices>, 4> misses = filled();

    static std::array<std::array<qint8, kDevices>, 4> filled();
};
