#pragma once

#include <QMetaType>
#include <QString>

// How this station reaches the site broker. Kept per user in the station's settings, group
// "site"; the password is not among them (PasswordStore keeps it).
struct SiteSettings
{
    bool enabled = false;
    QString host;
    int port = 1883;        // key missing: 1883, or 8883 with TLS
    bool tls = false;
    QString ca;
    QString user;
    QString station;        // key missing: QSysInfo::machineHostName()
    QString prefix = QStringLiteral("kestro");

    static SiteSettings load();   // the station's settings, group "site"
    // False, with the operator's text in *problem, when they could not be written: the
    // settings stored stay as they were.
    bool save(QString *problem = nullptr) const;

    // The broker's usual port: 1883 in the clear, 8883 under TLS.
    static int defaultPort(bool tls);
    // Why these settings cannot be applied, for the operator; empty when they can. A link
    // that is switched off may be saved half filled in.
    QString problem() const;

    bool operator==(const SiteSettings &other) const;
    bool operator!=(const SiteSettings &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(SiteSettings)
