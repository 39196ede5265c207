#pragma once

#include <QString>

// Why the site link is down, in words an operator can act on. Shown in the status bar and the
// settings dialog, and written to the service log.
namespace MqttReason {

// The broker's refusal, by the return code of its CONNACK.
QString refused(int connackCode);
// A failed connect or a lost connection: the library's code, the system's error number that
// came with it (errno, or the name lookup's code), and the first TLS complaint it logged.
QString lost(int rc, int systemNumber, const QString &tlsComplaint);
// A library sentence as a clause of ours: trimmed, no full stop.
QString clause(QString text);

} // namespace MqttReason
