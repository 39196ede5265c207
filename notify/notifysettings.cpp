#include "notify/notifysettings.h"

#include "config/stationsettings.h"

#include <QFileInfo>
#include <QPair>
#include <QUrl>
#include <QVector>

namespace {

const char kNotifyGroup[] = "notify";

// Enough to catch a slip of the keyboard; the server judges the rest.
bool looksLikeAddress(const QString &address)
{
    const int at = address.indexOf(QLatin1Char('@'));
    return at > 0 && at == address.lastIndexOf(QLatin1Char('@')) && at < address.size() - 1
           && !address.contains(QLatin1Char(' ')) && !address.contains(QLatin1Char(','));
}

} // namespace

int NotifySettings::defaultPort(const QString &security)
{
    return security == QLatin1String("tls") ? 465 : security == QLatin1String("none") ? 25 : 587;
}

QStringList NotifySettings::addresses(const QString &text)
{
    QStringList list;
    for (const QString &address : text.split(QLatin1Char(';')))
        if (!address.trimmed().isEmpty())
            list << address.trimmed();
    return list;
}

QString NotifySettings::mailProblem() const
{
    const QStringList addressLists[] = {mailTo, escalateTo, mailFrom.isEmpty() ? QStringList() : QStringList(mailFrom)};
    for (const QStringList &list : addressLists)
        for (const QString &address : list)
            if (!looksLikeAddress(address))
                return tr("邮件地址有误：%1").arg(address);
    if (!smtpHost.isEmpty() && mailTo.isEmpty())
        return tr("请填写收件人");
    if (smtpHost.isEmpty() && !mailTo.isEmpty())
        return tr("请填写 SMTP 主机");
    return caProblem();
}

QString NotifySettings::webhookProblem() const
{
    if (!webhookUrl.isEmpty()) {
        const QUrl url(webhookUrl);
        if (!url.isValid() || url.host().isEmpty()
            || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
            return tr("推送地址须以 https:// 或 http:// 开头");
        if (webhookFormat == QLatin1String("telegram") && telegramChat.isEmpty())
            return tr("Telegram 推送需要填写 chat");
    }
    return caProblem();
}

QString NotifySettings::caProblem() const
{
    if (!caFile.isEmpty() && !QFileInfo(caFile).isFile())
        return tr("CA 文件不存在：%1").arg(caFile);
    return QString();
}

QString NotifySettings::problem() const
{
    const QString channels = mailProblem().isEmpty() ? webhookProblem() : mailProblem();
    if (!channels.isEmpty())
        return channels;
    if (enabled && smtpHost.isEmpty() && webhookUrl.isEmpty())
        return tr("启用报警通知需要填写邮件服务器和收件人，或推送地址");
    return QString();
}

NotifySettings NotifySettings::load()
{
    const auto opened = StationSettings::open();
    QSettings &store = *opened;
    store.beginGroup(QLatin1String(kNotifyGroup));
    auto text = [&store](const char *key, const QString &fallback = QString()) {
        return store.value(QLatin1String(key), fallback).toString().trimmed();
    };
    // A hand-edited number that makes no sense counts as none.
    auto number = [&store](const char *key, int fallback, int lowest, int highest) {
        bool ok = false;
        const int value = store.value(QLatin1String(key)).toInt(&ok);
        return ok && value >= lowest && value <= highest ? value : fallback;
    };
    NotifySettings settings;
    settings.enabled = store.value(QStringLiteral("enabled"), false).toBool();
    settings.minLevel = text("min_level") == QLatin1String("warning") ? 0 : 1;
    settings.recoveries = store.value(QStringLiteral("recoveries"), true).toBool();
    settings.escalateMinutes = number("escalate_minutes", 0, 0, 7 * 24 * 60);
    settings.escalateTo = addresses(text("escalate_to"));
    settings.hourlyCap = number("hourly_cap", 20, 1, 10000);
    settings.smtpHost = text("smtp_host");
    const QString security = text("smtp_security", QStringLiteral("starttls"));
    settings.smtpSecurity = security == QLatin1String("none") || security == QLatin1String("tls")
                                ? security
                                : QStringLiteral("starttls");
    settings.smtpPort = number("smtp_port", defaultPort(settings.smtpSecurity), 1, 65535);
    settings.smtpUser = text("smtp_user");
    settings.mailFrom = text("mail_from");
    settings.mailTo = addresses(text("mail_to"));
    settings.webhookUrl = text("webhook_url");
    settings.webhookFormat = text("webhook_format", QStringLiteral("generic"));
    settings.telegramChat = text("telegram_chat");
    settings.caFile = text("ca_file");
    return settings;
}

bool NotifySettings::save(QString *problem) const
{
    const QVector<QPair<const char *, QVariant>> values = {
        {"enabled", enabled},
        {"min_level", minLevel == 0 ? QStringLiteral("warning") : QStringLiteral("alarm")},
        {"recoveries", recoveries},
        {"escalate_minutes", escalateMinutes},
        {"escalate_to", escalateTo.join(QLatin1Char(';'))},
        {"hourly_cap", hourlyCap},
        {"smtp_host", smtpHost},
        {"smtp_port", smtpPort},
        {"smtp_security", smtpSecurity},
        {"smtp_user", smtpUser},
        {"mail_from", mailFrom},
        {"mail_to", mailTo.join(QLatin1Char(';'))},
        {"webhook_url", webhookUrl},
        {"webhook_format", webhookFormat},
        {"telegram_chat", telegramChat},
        {"ca_file", caFile}};
    return StationSettings::saveGroup(kNotifyGroup, values, problem);
}
