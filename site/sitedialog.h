#pragma once

#include "scada/modbusserversettings.h"
#include "site/sitesettings.h"

#include <QDialog>
#include <QString>

class PasswordStore;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "远程发布": edits every key of the site link and its password, and shows how the link
// stands; below it, the Modbus TCP server for a plant SCADA. Nothing takes effect until 应用;
// a password field left empty keeps the stored one.
class SiteDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SiteDialog(QWidget *parent = nullptr);

    void showState(const QString &statusText);   // the SiteLink's statusText

    // The port after the TLS box changes: a port still holding the other mode's usual
    // number follows the box, one the operator chose stays.
    static int portForTls(int port, bool tls);

signals:
    void settingsApplied(const SiteSettings &settings, const QString &password);
    void modbusServerApplied(const ModbusServerSettings &settings);

private slots:
    void apply();
    void browseCa();
    void tlsToggled(bool tls);
    void passwordRead(const QString &password, const QString &error);
    void passwordWritten(bool ok, const QString &error);

private:
    void showSettings(const SiteSettings &settings);
    SiteSettings editedSettings() const;
    ModbusServerSettings editedModbusSettings() const;

    PasswordStore *store;
    SiteSettings pending;
    bool awaitingPassword = false;

    QCheckBox *enabled;
    QLineEdit *host;
    QSpinBox *port;
    QCheckBox *tls;
    QLineEdit *ca;
    QPushButton *caBrowse;
    QLineEdit *user;
    QLineEdit *password;
    QLineEdit *station;
    QLineEdit *prefix;
    QCheckBox *modbusEnabled;
    QLineEdit *modbusAddress;
    QSpinBox *modbusPort;
    QSpinBox *modbusUnit;
    QLabel *passwordWhere;
    QLabel *state;
    QLabel *message;
    QPushButton *applyButton;
    QPushButton *closeButton;
};
