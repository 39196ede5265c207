#pragma once

#include "notify/notifysettings.h"

#include <QDialog>
#include <QString>

class NotifySecrets;
class NotifySender;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "报警通知": who is told of alarms by e-mail and webhook. A test message goes out with what
// is typed, before anything is saved; 应用 saves and puts it in force. A password or secret
// field left empty keeps the stored one.
class NotifyDialog : public QDialog
{
    Q_OBJECT

public:
    explicit NotifyDialog(QWidget *parent = nullptr);

signals:
    void settingsApplied(const NotifySettings &settings, const QString &smtpPassword,
                         const QString &webhookSecret);

private slots:
    void apply();
    void sendTest(int channel);
    void testFinished(int channel, bool accepted, const QString &error);
    void secretsRead(const QString &password, const QString &secret, const QString &error);

private:
    void showSettings(const NotifySettings &settings);
    NotifySettings editedSettings() const;
    QString typedOr(const QLineEdit *field, const QString &stored) const;

    NotifySecrets *secrets;
    NotifySender *tester;
    QString storedPassword;
    QString storedSecret;

    QCheckBox *enabled;
    QComboBox *level;
    QCheckBox *recoveries;
    QSpinBox *hourlyCap;
    QSpinBox *escalateMinutes;
    QLineEdit *escalateTo;
    QLineEdit *smtpHost;
    QSpinBox *smtpPort;
    QComboBox *smtpSecurity;
    QLineEdit *smtpUser;
    QLineEdit *smtpPassword;
    QLineEdit *mailFrom;
    QLineEdit *mailTo;
    QLineEdit *webhookUrl;
    QComboBox *webhookFormat;
    QLineEdit *webhookSecret;
    QLineEdit *telegramChat;
    QLineEdit *caFile;
    QPushButton *testButtons[2];
    QLabel *testResults[2];
    QLabel *passwordWhere;
    QLabel *message;
    QPushButton *applyButton;
    QPushButton *closeButton;
};
