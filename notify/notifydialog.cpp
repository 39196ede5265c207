#include "notify/notifydialog.h"

#include "forms/formwidgets.h"
#include "notify/notifysecrets.h"
#include "notify/notifysender.h"
#include "site/sitesettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

using FormWidgets::named;

QComboBox *choices(const char *name, const QVector<QPair<QString, QString>> &items, QWidget *parent)
{
    auto *box = named(new QComboBox(parent), name);
    for (const auto &item : items)
        box->addItem(item.first, item.second);
    return box;
}

void choose(QComboBox *box, const QString &value)
{
    box->setCurrentIndex(qMax(0, box->findData(value)));
}

QLabel *note(const char *name, QWidget *parent)
{
    auto *label = named(new QLabel(parent), name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

NotifyDialog::NotifyDialog(QWidget *parent)
    : QDialog(parent), secrets(new NotifySecrets(this)), tester(new NotifySender(this))
{
    setObjectName(QStringLiteral("NotifyDialog"));
    setWindowTitle(tr("报警通知"));
    resize(720, 560);

    enabled = named(new QCheckBox(tr("启用"), this), "notify_enabled");
    level = choices("notify_level", {{tr("预警和报警"), QStringLiteral("warning")}, {tr("仅报警"), QStringLiteral("alarm")}}, this);
    recoveries = named(new QCheckBox(tr("恢复正常时也发送"), this), "notify_recoveries");
    hourlyCap = named(new QSpinBox(this), "notify_hourly_cap");
    hourlyCap->setRange(1, 10000);
    hourlyCap->setSuffix(tr(" 条/小时，超出的合并为一条汇总"));
    escalateMinutes = named(new QSpinBox(this), "notify_escalate_minutes");
    escalateMinutes->setRange(0, 7 * 24 * 60);
    escalateMinutes->setSpecialValueText(tr("不再次发送"));
    escalateMinutes->setSuffix(tr(" 分钟未确认则再次发送"));
    escalateTo = named(new QLineEdit(this), "notify_escalate_to");
    escalateTo->setPlaceholderText(tr("留空则发给收件人"));

    smtpHost = named(new QLineEdit(this), "notify_smtp_host");
    smtpPort = named(new QSpinBox(this), "notify_smtp_port");
    smtpPort->setRange(1, 65535);
    smtpSecurity = choices("notify_smtp_security", {{QStringLiteral("STARTTLS"), QStringLiteral("starttls")},
                                                    {QStringLiteral("TLS"), QStringLiteral("tls")},
                                                    {tr("不加密"), QStringLiteral("none")}}, this);
    smtpUser = named(new QLineEdit(this), "notify_smtp_user");
    smtpUser->setPlaceholderText(tr("留空则不登录"));
    smtpPassword = named(new QLineEdit(this), "notify_smtp_password");
    smtpPassword->setEchoMode(QLineEdit::Password);
    smtpPassword->setPlaceholderText(tr("留空则不修改"));
    mailFrom = named(new QLineEdit(this), "notify_mail_from");
    mailTo = named(new QLineEdit(this), "notify_mail_to");
    mailTo->setPlaceholderText(tr("多个地址用 ; 分隔"));

    webhookUrl = named(new QLineEdit(this), "notify_webhook_url");
    webhookUrl->setPlaceholderText(QStringLiteral("https://"));
    webhookFormat = choices("notify_webhook_format", {{tr("通用 JSON"), QStringLiteral("generic")},
                                                      {tr("企业微信"), QStringLiteral("wecom")},
                                                      {tr("钉钉"), QStringLiteral("dingtalk")},
                                                      {QStringLiteral("Telegram"), QStringLiteral("telegram")}}, this);
    webhookSecret = named(new QLineEdit(this), "notify_webhook_secret");
    webhookSecret->setEchoMode(QLineEdit::Password);
    webhookSecret->setPlaceholderText(tr("留空则不修改"));
    telegramChat = named(new QLineEdit(this), "notify_telegram_chat");
    caFile = named(new QLineEdit(this), "notify_ca_file");
    caFile->setPlaceholderText(tr("留空则用系统信任的证书"));

    const char *testNames[] = {"notify_mail_test", "notify_webhook_test"};
    const char *resultNames[] = {"notify_mail_result", "notify_webhook_result"};
    for (int channel = 0; channel < 2; ++channel) {
        testButtons[channel] = named(new QPushButton(tr("发送测试消息"), this), testNames[channel]);
        testButtons[channel]->setAutoDefault(false);
        testButtons[channel]->setEnabled(false); // until the stored secrets are known
        testResults[channel] = note(resultNames[channel], this);
        connect(testButtons[channel], &QPushButton::clicked, this, [this, channel] { sendTest(channel); });
    }
    passwordWhere = note("notify_password_where", this);
    message = note("notify_message", this);
    message->setStyleSheet(QStringLiteral("color: #c00000;"));
    applyButton = named(new QPushButton(tr("应用"), this), "notify_apply");
    applyButton->setEnabled(false);
    closeButton = named(new QPushButton(tr("返回"), this), "notify_close");
    for (QPushButton *button : {applyButton, closeButton})
        button->setAutoDefault(false);

    auto *common = new QFormLayout;
    common->addRow(QString(), enabled);
    common->addRow(tr("通知级别"), level);
    common->addRow(QString(), recoveries);
    common->addRow(tr("上限"), hourlyCap);
    common->addRow(tr("升级"), escalateMinutes);
    common->addRow(tr("升级收件人"), escalateTo);
    common->addRow(tr("CA 文件"), caFile);

    auto withTest = [](QFormLayout *form, QPushButton *button, QLabel *result) {
        auto *row = new QHBoxLayout;
        row->addWidget(button);
        row->addWidget(result, 1);
        form->addRow(row);
    };
    auto *mailBox = named(new QGroupBox(tr("邮件"), this), "notify_mail_box");
    auto *mail = new QFormLayout(mailBox);
    mail->addRow(tr("SMTP 主机"), smtpHost);
    mail->addRow(tr("端口"), smtpPort);
    mail->addRow(tr("加密"), smtpSecurity);
    mail->addRow(tr("用户名"), smtpUser);
    mail->addRow(tr("密码"), smtpPassword);
    mail->addRow(tr("发件人"), mailFrom);
    mail->addRow(tr("收件人"), mailTo);
    withTest(mail, testButtons[NotifyOutbox::Mail], testResults[NotifyOutbox::Mail]);

    auto *hookBox = named(new QGroupBox(tr("推送"), this), "notify_webhook_box");
    auto *hook = new QFormLayout(hookBox);
    hook->addRow(tr("地址"), webhookUrl);
    hook->addRow(tr("格式"), webhookFormat);
    hook->addRow(tr("密钥/令牌"), webhookSecret);
    hook->addRow(QStringLiteral("Telegram chat"), telegramChat);
    withTest(hook, testButtons[NotifyOutbox::Webhook], testResults[NotifyOutbox::Webhook]);

    auto *channels = new QHBoxLayout;
    channels->addWidget(mailBox, 1);
    channels->addWidget(hookBox, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(common);
    layout->addLayout(channels);
    layout->addWidget(passwordWhere);
    layout->addWidget(message);
    layout->addStretch();
    layout->addLayout(buttons);

    showSettings(NotifySettings::load());
    passwordWhere->setText(secrets->whereText());

    // A port still holding another security's usual number follows the choice.
    connect(smtpSecurity, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] {
        for (const char *other : {"none", "starttls", "tls"})
            if (smtpPort->value() == NotifySettings::defaultPort(QLatin1String(other))) {
                smtpPort->setValue(NotifySettings::defaultPort(smtpSecurity->currentData().toString()));
                break;
            }
    });
    connect(tester, &NotifySender::finished, this, &NotifyDialog::testFinished);
    connect(secrets, &NotifySecrets::secretsRead, this, &NotifyDialog::secretsRead);
    connect(secrets, &NotifySecrets::written, this, [this](bool ok, const QString &error) {
        if (!ok)
            message->setText(tr("密码未能保存：%1").arg(error));
    });
    connect(secrets, &NotifySecrets::whereChanged, this, [this] { passwordWhere->setText(secrets->whereText()); });
    connect(applyButton, &QPushButton::clicked, this, &NotifyDialog::apply);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    secrets->read();
}

void NotifyDialog::showSettings(const NotifySettings &settings)
{
    enabled->setChecked(settings.enabled);
    choose(level, settings.minLevel == 0 ? QStringLiteral("warning") : QStringLiteral("alarm"));
    recoveries->setChecked(settings.recoveries);
    hourlyCap->setValue(settings.hourlyCap);
    escalateMinutes->setValue(settings.escalateMinutes);
    escalateTo->setText(settings.escalateTo.join(QStringLiteral("; ")));
    smtpHost->setText(settings.smtpHost);
    // Before the port, so the choice does not move the stored port.
    smtpSecurity->blockSignals(true);
    choose(smtpSecurity, settings.smtpSecurity);
    smtpSecurity->blockSignals(false);
    smtpPort->setValue(settings.smtpPort);
    smtpUser->setText(settings.smtpUser);
    mailFrom->setText(settings.mailFrom);
    mailTo->setText(settings.mailTo.join(QStringLiteral("; ")));
    webhookUrl->setText(settings.webhookUrl);
    choose(webhookFormat, settings.webhookFormat);
    telegramChat->setText(settings.telegramChat);
    caFile->setText(settings.caFile);
}

NotifySettings NotifyDialog::editedSettings() const
{
    NotifySettings settings;
    settings.enabled = enabled->isChecked();
    settings.minLevel = level->currentData().toString() == QLatin1String("warning") ? 0 : 1;
    settings.recoveries = recoveries->isChecked();
    settings.hourlyCap = hourlyCap->value();
    settings.escalateMinutes = escalateMinutes->value();
    settings.escalateTo = NotifySettings::addresses(escalateTo->text());
    settings.smtpHost = smtpHost->text().trimmed();
    settings.smtpPort = smtpPort->value();
    settings.smtpSecurity = smtpSecurity->currentData().toString();
    settings.smtpUser = smtpUser->text().trimmed();
    settings.mailFrom = mailFrom->text().trimmed();
    settings.mailTo = NotifySettings::addresses(mailTo->text());
    settings.webhookUrl = webhookUrl->text().trimmed();
    settings.webhookFormat = webhookFormat->currentData().toString();
    settings.telegramChat = telegramChat->text().trimmed();
    settings.caFile = caFile->text().trimmed();
    return settings;
}

QString NotifyDialog::typedOr(const QLineEdit *field, const QString &stored) const
{
    return field->text().isEmpty() ? stored : field->text();
}

void NotifyDialog::secretsRead(const QString &password, const QString &secret, const QString &error)
{
    storedPassword = password;
    storedSecret = secret;
    if (!error.isEmpty())
        message->setText(tr("密码未能读取：%1").arg(error));
    applyButton->setEnabled(true);
    for (QPushButton *button : testButtons)
        button->setEnabled(true);
}

void NotifyDialog::sendTest(int channel)
{
    // The channel's own keys checked as 应用 checks them; the rest may still be half typed.
    const NotifySettings settings = editedSettings();
    QString problem = channel == NotifyOutbox::Mail ? settings.mailProblem() : settings.webhookProblem();
    if (problem.isEmpty() && (channel == NotifyOutbox::Mail ? settings.smtpHost : settings.webhookUrl).isEmpty())
        problem = channel == NotifyOutbox::Mail ? tr("请填写 SMTP 主机和收件人") : tr("请填写推送地址");
    QLabel *result = testResults[channel];
    result->setStyleSheet(QStringLiteral("color: #c00000;"));
    if (!problem.isEmpty()) {
        result->setText(problem);
        return;
    }
    tester->setSettings(settings, typedOr(smtpPassword, storedPassword), typedOr(webhookSecret, storedSecret));
    if (!tester->sendTest(channel, SiteSettings::load().station))
        return;
    testButtons[channel]->setEnabled(false);
    result->setStyleSheet(QString());
    result->setText(tr("正在发送…"));
}

void NotifyDialog::testFinished(int channel, bool accepted, const QString &error)
{
    testButtons[channel]->setEnabled(true);
    QLabel *result = testResults[channel];
    result->setStyleSheet(accepted ? QStringLiteral("color: #007000;") : QStringLiteral("color: #c00000;"));
    const QString at = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss"));
    result->setText(accepted ? tr("%1 已发送，请查收").arg(at) : tr("%1 未能发送：%2").arg(at, error));
}

void NotifyDialog::apply()
{
    const NotifySettings settings = editedSettings();
    if (!FormWidgets::checkedSave(settings.problem(), [&settings](QString *unsaved) { return settings.save(unsaved); },
                                  message, tr("报警通知")))
        return;
    secrets->write(smtpPassword->text(), webhookSecret->text());
    storedPassword = typedOr(smtpPassword, storedPassword);
    storedSecret = typedOr(webhookSecret, storedSecret);
    // Not kept in the widgets once handed on.
    smtpPassword->clear();
    webhookSecret->clear();
    emit settingsApplied(settings, storedPassword, storedSecret);
}
