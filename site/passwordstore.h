#pragma once

#include <QObject>
#include <QString>

// A password kept out of the plain settings: in the desktop's secret store where one runs,
// otherwise in a file only this user can read. Each has a name of its own ("site" for the site
// broker's). Both ways answer by signal, never before the call returns, so callers see one
// behaviour.
class PasswordStore : public QObject
{
    Q_OBJECT

public:
    enum Where { SecretStore, UserFile };

    explicit PasswordStore(QObject *parent = nullptr, const QString &entry = QStringLiteral("site"));

    Where where() const;
    // For the dialog: "密码保存在桌面密钥库" or "密码保存在仅本用户可读的文件：<path>".
    QString whereText() const;
    void read();                            // async; emits passwordRead
    void write(const QString &password);    // async; emits written

    // "<entry>-password" beside the station's settings file.
    QString userFilePath() const;

signals:
    // Nothing stored yet reads as an empty password with no error.
    void passwordRead(const QString &password, const QString &error);
    void written(bool ok, const QString &error);
    // The secret store said it has no backend after all; the file serves from now on.
    void whereChanged();

private:
    static bool secretStoreRuns();
    void readSecret();
    void writeSecret(const QString &password);
    void readFile();
    void writeFile(const QString &password);
    void fallBackToFile();

    QString entry;
    Where place;
};
