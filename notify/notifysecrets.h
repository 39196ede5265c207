#pragma once

#include <QObject>
#include <QString>

class PasswordStore;

// The SMTP password and the webhook's secret (a signing secret or a bot token), each in a
// password store of its own ("smtp", "webhook"), read and written as a pair.
class NotifySecrets : public QObject
{
    Q_OBJECT

public:
    explicit NotifySecrets(QObject *parent = nullptr);

    QString whereText() const;
    // Async; emits secretsRead once both stores answered.
    void read();
    // An empty value leaves that one as stored. Async; emits written once both are done.
    void write(const QString &smtpPassword, const QString &webhookSecret);

signals:
    // error names what could not be read; what could is given even so.
    void secretsRead(const QString &smtpPassword, const QString &webhookSecret, const QString &error);
    void written(bool ok, const QString &error);
    // The secret store said it has no backend after all; files serve from now on.
    void whereChanged();

private:
    PasswordStore *mail;
    PasswordStore *hook;
    QString readPassword;
    QString readProblem;
    QString writeProblem;
    int writesOut = 0;
};
