#pragma once

#include <QDateTime>
#include <QString>

// The station's service log on standard error, one line per event, each subsystem under a
// name of its own: "yyyy-MM-dd hh:mm:ss link: concentrator answering".
namespace ServiceLog {

QString line(const QDateTime &when, const char *source, const QString &text);
// Written at once: the station may next stop by a power cut.
void writeLine(const QString &line);
void write(const char *source, const QString &text);

} // namespace ServiceLog
