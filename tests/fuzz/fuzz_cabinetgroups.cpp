// The cabinet groups' CSV reader on arbitrary file bytes: never a crash; what it accepts is a
// set of sound groups, and writing them out and reading that back gives the same groups.

#include "fuzzcheck.h"

#include "config/cabinetgroupscsv.h"

#include <QByteArray>
#include <QSet>
#include <cstddef>
#include <cstdint>

constexpr char kFuzzTarget[] = "fuzz_cabinetgroups";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const CabinetGroupsCsv::Result read = CabinetGroupsCsv::parse(bytes);
    if (read.badLine) {
        REQUIRE(read.groups.isEmpty(), "a refused file gives no groups");
        REQUIRE(!read.problem.isEmpty(), "a refused file says why");
        return 0;
    }
    REQUIRE(read.groups.size() <= CabinetGroupsCsv::kMaxGroups, "at most the bound of groups");
    QSet<QString> names;
    for (const CabinetGroup &group : read.groups) {
        REQUIRE(!group.name.isEmpty() && !names.contains(group.name), "names present and unique");
        names.insert(group.name);
        bool phase = false;
        for (int device : group.phases) {
            REQUIRE(device >= 0 && device <= 200, "phase devices 0..200");
            phase = phase || device != 0;
        }
        REQUIRE(phase, "every group has a phase");
        REQUIRE(group.ambient >= 0 && group.ambient <= 200, "ambient device 0..200");
    }
    const CabinetGroupsCsv::Result again = CabinetGroupsCsv::parse(CabinetGroupsCsv::format(read.groups));
    REQUIRE(again.badLine == 0, "what was written is read");
    REQUIRE(again.groups == read.groups, "the same groups come back");
    return 0;
}
