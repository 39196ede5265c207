#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Starting the station when the user logs in: an XDG autostart entry on Linux, the per-user
// Run key on Windows. Only the user's own entry is touched, never a system-wide one.
namespace Autostart {

// Where the entry lives: the desktop entry's path, or the Run key's value on Windows.
QString location();

// The whole desktop entry that starts `program` (an absolute path) with `arguments` at login.
QByteArray desktopEntry(const QString &program, const QStringList &arguments = QStringList());

// The Run value's command line: quoted so that Windows hands the program these arguments.
QString runCommand(const QString &program, const QStringList &arguments);

// True when the user's entry is there and not switched off (Hidden=true and the like).
bool isEnabled();

// Makes or removes the entry, which starts `program` with `arguments`; the entry is replaced
// whole or not at all. False, with the reason in *error when given, when that could not be done.
bool setEnabled(bool on, const QString &program, const QStringList &arguments = QStringList(),
                QString *error = nullptr);

} // namespace Autostart
