// The device settings loader on arbitrary file bytes, and a round trip of arbitrary texts
// through the writer's format. Never a crash; always 600 lines, none holding a line end.

#include "fuzzcheck.h"

#include "config/devicesettingsfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstddef>
#include <cstdint>

constexpr char kFuzzTarget[] = "fuzz_settings";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));

    // Whatever a file holds, it loads as 600 texts without line feeds.
    QVector<QString> lines;
    DeviceSettingsFile::parse(bytes, &lines);
    REQUIRE(lines.size() == DeviceSettingsFile::kLineCount, "600 lines");
    for (const QString &line : lines)
        REQUIRE(!line.contains(QLatin1Char('\n')), "no line feed inside a line");

    // The input read as UTF-8 and cut into 600 texts at NUL bytes: saved and loaded
    // again, each comes back with its line breaks as blanks, nothing shifted.
    const QString text = QString::fromUtf8(bytes);
    QVector<QString> typed(DeviceSettingsFile::kLineCount);
    const QStringList pieces = text.split(QChar(0));
    for (int j = 0; j < pieces.size() && j < typed.size(); ++j)
        typed[j] = pieces.at(j);
    QVector<QString> read;
    DeviceSettingsFile::parse(DeviceSettingsFile::format(typed), &read);
    for (int j = 0; j < typed.size(); ++j) {
        QString expected = typed.at(j);
        for (QChar &c : expected) {
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
                c = QLatin1Char(' ');
        }
        REQUIRE(read.at(j) == expected, "a saved text loads back unchanged");
    }
    return 0;
}
