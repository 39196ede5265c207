#include "monitor/readingfreshness.h"

std::array<std::array<qint8, kDevices>, 4> ReadingFreshness::filled()
{
    std::array<std::array<qint8, kDevices>, 4> never;
    for (auto &quantity : never)
        quantity.fill(kNever);
    return never;
}

void ReadingFreshness::answered(PanelQuantity quantity, int firstDevice)
{
    auto &column = misses[index(quantity)];
    for (int device = firstDevice; device < firstDevice + kBlockSize && device <= kDevices; ++device)
        column[device - 1] = 0;
}

void ReadingFreshness::missed(PanelQuantity quantity, int firstDevice)
{
    auto &column = misses[index(quantity)];
    for (int device = firstDevice; device < firstDevice + kBlockSize && device <= kDevices; ++device) {
        qint8 &count = column[device - 1];
        if (count != kNever && count < kStaleAfterMisses)
            ++count;
    }
}

void ReadingFreshness::typed(PanelQuantity quantity, int device)
{
    if (device >= 1 && device <= kDevices)
        misses[index(quantity)][device - 1] = 0;
}

bool ReadingFreshness::isFresh(PanelQuantity quantity, int device) const
{
    const qint8 count = misses[index(quantity)][device - 1];
    return count != kNever && count < kStaleAfterMisses;
}

quint8 ReadingFreshness::staleQuantities(int device) const
{
    quint8 stale = 0;
    for (PanelQuantity quantity : {PanelQuantity::Voltage, PanelQuantity::Temperature,
                                   PanelQuantity::Current, PanelQuantity::Status})
        if (!isFresh(quantity, device))
            stale |= quint8(1u << index(quantity));
    return stale;
}

void ReadingFreshness::mark(DeviceReadings &readings) const
{
    for (int device = 1; device <= kDevices; ++device)
        readings.staleQuantities[device - 1] = staleQuantities(device);
}
