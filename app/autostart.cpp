#include "app/autostart.h"

#include "core/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

#ifdef Q_OS_WIN
const char *const kRunKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const kRunValue = "Kestro";
#endif

// One Exec argument as the desktop-entry rules want it: quoted when it holds a reserved
// character, with \ " ` $ escaped inside the quotes, and % doubled so it is no field code.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString arg = argument;
    arg.replace(QLatin1Char('%'), QLatin1String("%%"));
    bool quote = arg.isEmpty();
    for (const QChar c : arg)
        quote = quote || reserved.contains(c);
    if (!quote)
        return arg;
    QString quoted;
    for (const QChar c : arg) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('`') ||
            c == QLatin1Char('$'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The string-value escapes every key of a desktop entry shares, applied after the quoting.
QString escapedValue(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += c;
    }
    return escaped;
}

// One argument after the program in a Windows command line, split as the C runtime splits
// it: inside quotes a backslash is literal unless quotes follow it, so only those double.
QString windowsArgument(const QString &argument)
{
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || c == QLatin1Char(' ') || c == QLatin1Char('\t') ||
                c == QLatin1Char('\n') || c == QLatin1Char('\v') || c == QLatin1Char('"');
    if (!quote)
        return argument;
    QString quoted(QLatin1Char('"'));
    int backslashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"'))
            quoted += QString(backslashes + 1, QLatin1Char('\\'));
        backslashes = c == QLatin1Char('\\') ? backslashes + 1 : 0;
        quoted += c;
    }
    return quoted + QString(backslashes, QLatin1Char('\\')) + QLatin1Char('"');
}

#ifndef Q_OS_WIN
// A session skips an entry marked so in its main group, though the file is still there.
bool switchedOff(const QByteArray &entry)
{
    bool inMainGroup = false;
    for (const QByteArray &raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inMainGroup = line == "[Desktop Entry]";
        else if (inMainGroup &&
                 (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false"))
            return true;
    }
    return false;
}
#endif

} // namespace

namespace Autostart {

QString location()
{
#ifdef Q_OS_WIN
    return QLatin1String(kRunKey) + QLatin1Char('\\') + QLatin1String(kRunValue);
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/autostart/kestro.desktop");
#endif
}

QByteArray desktopEntry(const QString &program, const QStringList &arguments)
{
    QString command = execArgument(QFileInfo(program).absoluteFilePath());
    for (const QString &argument : arguments)
        command += QLatin1Char(' ') + execArgument(argument);
    const QString exec = escapedValue(command);
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Kestro\n") +
           "Exec=" + exec.toUtf8() + '\n' +
           QByteArrayLiteral("Icon=kestro\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

QString runCommand(const QString &program, const QStringList &arguments)
{
    // The program is read up to its closing quote, with no escapes: it holds no quote.
    QString command = QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"');
    for (const QString &argument : arguments)
        command += QLatin1Char(' ') + windowsArgument(argument);
    return command;
}

bool isEnabled()
{
#ifdef Q_OS_WIN
    QSettings run(QLatin1String(kRunKey), QSettings::NativeFormat);
    return !run.value(QLatin1String(kRunValue)).toString().isEmpty();
#else
    QFile file(location());
    return file.open(QIODevice::ReadOnly) && !switchedOff(file.readAll());
#endif
}

bool setEnabled(bool on, const QString &program, const QStringList &arguments, QString *error)
{
    QString reason;
#ifdef Q_OS_WIN
    QSettings run(QLatin1String(kRunKey), QSettings::NativeFormat);
    if (on)
        run.setValue(QLatin1String(kRunValue),
                     runCommand(QFileInfo(program).absoluteFilePath(), arguments));
    else
        run.remove(QLatin1String(kRunValue));
    run.sync();
    if (run.status() != QSettings::NoError)
        reason = QStringLiteral("%1: access denied").arg(location());
#else
    const QString path = location();
    const QString folder = QFileInfo(path).absolutePath();
    if (on) {
        if (!QDir().mkpath(folder))
            reason = QStringLiteral("%1: cannot make the folder").arg(folder);
        else if (!WholeFile::write(path, desktopEntry(program, arguments), &reason))
            reason = path + QLatin1String(": ") + reason;
    } else {
        QFile file(path);
        if (file.exists() && !file.remove())
            reason = path + QLatin1String(": ") + file.errorString();
    }
#endif
    if (!reason.isEmpty() && error)
        *error = reason;
    return reason.isEmpty();
}

} // namespace Autostart
