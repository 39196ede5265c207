#pragma once

#include <QByteArray>
#include <QSettings>

// The INI text of QSettings::IniFormat as Qt 5 writes and reads it without a codec: what
// read() makes of a file is what Qt's own format makes of it (sections, %-escaped keys,
// quoting, \x escapes of non-ASCII text, lists, @ByteArray/@Variant values; UTF-8 after a
// byte-order mark), and what Qt reads from write()'s text is the map that was written.
namespace IniText {

QByteArray write(const QSettings::SettingsMap &map);
// Lines it cannot make sense of are passed over, as Qt does, keeping all the rest.
QSettings::SettingsMap read(const QByteArray &text);

} // namespace IniText
