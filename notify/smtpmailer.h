#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

// One message handed to an SMTP server through libcurl. It blocks until the server has
// answered or the timeout has passed, so it runs on a worker thread, never the GUI thread's.
class SmtpMailer
{
public:
    enum class Security { None, StartTls, Tls };

    struct Server
    {
        QString host;
        int port = 25;
        Security security = Security::StartTls;
        QString user;      // no login when empty
        QString password;
        QString caFile;    // besides the system's authorities, for a site's own; may be empty
        int timeoutSeconds = 30;
    };

    struct Result
    {
        bool accepted = false; // the server took the message (250 after its end)
        long reply = 0;        // the server's last reply code, 0 when none came
        QString error;         // why not, when not
    };

    // "none", "starttls" or "tls" as the settings hold it; anything else is StartTls, so an
    // unknown word never sends a password in the clear.
    static Security securityFromText(const QString &text);

    // cancel, when given and set, ends the exchange within a second (the station is closing).
    static Result send(const Server &server, const QString &from, const QStringList &to,
                       const QByteArray &message, const std::atomic<bool> *cancel = nullptr);
};
