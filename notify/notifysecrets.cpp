#include "notify/notifysecrets.h"

#include "site/passwordstore.h"

#include <QDir>

NotifySecrets::NotifySecrets(QObject *parent)
    : QObject(parent),
      mail(new PasswordStore(this, QStringLiteral("smtp"))),
      hook(new PasswordStore(this, QStringLiteral("webhook")))
{
    // One after the other, so one answer of each store belongs to one read.
    connect(mail, &PasswordStore::passwordRead, this, [this](const QString &password, const QString &error) {
        readPassword = password;
        readProblem = error;
        hook->read();
    });
    connect(hook, &PasswordStore::passwordRead, this, [this](const QString &secret, const QString &error) {
        const QString problem = readProblem.isEmpty() ? error : error.isEmpty() ? readProblem
                                                                                : readProblem + QStringLiteral("；") + error;
        emit secretsRead(readPassword, secret, problem);
        readPassword.clear();
    });
    connect(mail, &PasswordStore::whereChanged, this, &NotifySecrets::whereChanged);
    for (PasswordStore *store : {mail, hook})
        connect(store, &PasswordStore::written, this, [this](bool ok, const QString &error) {
            if (!ok)
                writeProblem = error;
            if (--writesOut == 0) {
                emit written(writeProblem.isEmpty(), writeProblem);
                writeProblem.clear();
            }
        });
}

QString NotifySecrets::whereText() const
{
    if (mail->where() == PasswordStore::SecretStore)
        return tr("密码与密钥保存在桌面密钥库");
    return tr("密码与密钥保存在仅本用户可读的文件：%1、%2")
        .arg(QDir::toNativeSeparators(mail->userFilePath()), QDir::toNativeSeparators(hook->userFilePath()));
}

void NotifySecrets::read()
{
    mail->read();
}

void NotifySecrets::write(const QString &smtpPassword, const QString &webhookSecret)
{
    writesOut += int(!smtpPassword.isEmpty()) + int(!webhookSecret.isEmpty());
    if (!smtpPassword.isEmpty())
        mail->write(smtpPassword);
    if (!webhookSecret.isEmpty())
        hook->write(webhookSecret);
    if (writesOut == 0)
        QMetaObject::invokeMethod(this, [this] { emit written(true, QString()); }, Qt::QueuedConnection);
}
