#pragma once

#include <QString>
#include <array>

// Devices judged together: up to three phases (A, B, C) of one cabinet, and optionally a
// device that measures the air around them. A device number of 0 means none.
struct CabinetGroup
{
    QString name;               // "1号柜进线"
    std::array<int, 3> phases{}; // A, B, C
    int ambient = 0;

    bool operator==(const CabinetGroup &other) const
    {
        return name == other.name && phases == other.phases && ambient == other.ambient;
    }
};
