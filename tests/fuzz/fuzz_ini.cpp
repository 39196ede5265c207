// The per-user settings file's reader on arbitrary bytes, which a hand edit or a damaged disk
// may leave: never a crash. And any text the station keeps there, under the station's own
// keys, reads back as it was written.

#include "fuzzcheck.h"

#include "config/initext.h"

#include <QByteArray>
#include <QStringList>
#include <cstddef>
#include <cstdint>

constexpr char kFuzzTarget[] = "fuzz_ini";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    IniText::write(IniText::read(bytes));

    const QString text = QString::fromUtf8(bytes);
    QSettings::SettingsMap kept;
    kept.insert(QStringLiteral("port"), QString::fromLatin1(bytes));
    kept.insert(QStringLiteral("site/station"), text);
    kept.insert(QStringLiteral("trend/devices"), text.split(QChar(0)));
    kept.insert(QStringLiteral("alarm/sound"), !bytes.isEmpty() && bytes.at(0) & 1);
    REQUIRE(IniText::read(IniText::write(kept)) == kept, "kept texts read back unchanged");
    return 0;
}
