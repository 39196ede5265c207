#include "site/sitedialog.h"

#include "forms/formwidgets.h"
#include "site/passwordstore.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton *button(const char *name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QLabel *label(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

SiteDialog::SiteDialog(QWidget *parent)
    : QDialog(parent), store(new PasswordStore(this))
{
    setObjectName(QStringLiteral("SiteDialog"));
    setWindowTitle(tr("远程发布"));
    resize(460, 640);

    enabled = new QCheckBox(tr("启用"), this);
    enabled->setObjectName(QStringLiteral("site_enabled"));
    host = lineEdit("site_host", this);
    port = new QSpinBox(this);
    port->setObjectName(QStringLiteral("site_port"));
    port->setRange(1, 65535);
    tls = new QCheckBox(QStringLiteral("TLS"), this);
    tls->setObjectName(QStringLiteral("site_tls"));
    ca = lineEdit("site_ca", this);
    ca->setPlaceholderText(tr("留空则用系统信任的证书"));
    caBrowse = button("site_ca_browse", tr("浏览…"), this);
    user = lineEdit("site_user", this);
    password = lineEdit("site_password", this);
    password->setEchoMode(QLineEdit::Password);
    password->setPlaceholderText(tr("留空则不修改"));
    station = lineEdit("site_station", this);
    prefix = lineEdit("site_prefix", this);
    passwordWhere = label("site_password_where", this);
    state = label("site_state", this);
    message = label("site_message", this);
    message->setStyleSheet(QStringLiteral("color: #c00000;"));
    applyButton = button("site_apply", tr("应用"), this);
    closeButton = button("site_close", tr("返回"), this);

    auto *modbusBox = new QGroupBox(tr("Modbus TCP 服务"), this);
    modbusEnabled = new QCheckBox(tr("启用（只读）"), modbusBox);
    modbusEnabled->setObjectName(QStringLiteral("modbus_enabled"));
    modbusAddress = lineEdit("modbus_address", modbusBox);
    modbusPort = new QSpinBox(modbusBox);
    modbusPort->setObjectName(QStringLiteral("modbus_port"));
    modbusPort->setRange(1, 65535);
    modbusUnit = new QSpinBox(modbusBox);
    modbusUnit->setObjectName(QStringLiteral("modbus_unit"));
    modbusUnit->setRange(1, 255);
    auto *modbusForm = new QFormLayout(modbusBox);
    modbusForm->addRow(QString(), modbusEnabled);
    modbusForm->addRow(tr("监听地址"), modbusAddress);
    modbusForm->addRow(tr("端口"), modbusPort);
    modbusForm->addRow(tr("从站地址"), modbusUnit);

    auto *caRow = new QHBoxLayout;
    caRow->addWidget(ca, 1);
    caRow->addWidget(caBrowse);

    auto *form = new QFormLayout;
    form->addRow(QString(), enabled);
    form->addRow(tr("主机"), host);
    form->addRow(tr("端口"), port);
    form->addRow(QString(), tls);
    form->addRow(tr("CA 文件"), caRow);
    form->addRow(tr("用户名"), user);
    form->addRow(tr("密码"), password);
    form->addRow(tr("站名"), station);
    form->addRow(tr("前缀"), prefix);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(passwordWhere);
    layout->addWidget(state);
    layout->addWidget(message);
    layout->addWidget(modbusBox);
    layout->addStretch();
    layout->addLayout(buttons);

    showSettings(SiteSettings::load());
    const ModbusServerSettings served = ModbusServerSettings::load();
    modbusEnabled->setChecked(served.enabled);
    modbusAddress->setText(served.address);
    modbusPort->setValue(served.port);
    modbusUnit->setValue(served.unit);
    passwordWhere->setText(store->whereText());
    showState(QString());

    connect(tls, &QCheckBox::toggled, this, &SiteDialog::tlsToggled);
    connect(caBrowse, &QPushButton::clicked, this, &SiteDialog::browseCa);
    connect(applyButton, &QPushButton::clicked, this, &SiteDialog::apply);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(store, &PasswordStore::passwordRead, this, &SiteDialog::passwordRead);
    connect(store, &PasswordStore::written, this, &SiteDialog::passwordWritten);
    connect(store, &PasswordStore::whereChanged, this,
            [this] { passwordWhere->setText(store->whereText()); });
}

void SiteDialog::showState(const QString &statusText)
{
    state->setText(statusText.isEmpty() ? tr("远程发布：未启用") : statusText);
}

int SiteDialog::portForTls(int port, bool tls)
{
    if (port == SiteSettings::defaultPort(!tls))
        return SiteSettings::defaultPort(tls);
    return port;
}

void SiteDialog::showSettings(const SiteSettings &settings)
{
    enabled->setChecked(settings.enabled);
    host->setText(settings.host);
    // Before the box, so its toggle does not move the stored port.
    tls->blockSignals(true);
    tls->setChecked(settings.tls);
    tls->blockSignals(false);
    port->setValue(settings.port);
    ca->setText(settings.ca);
    user->setText(settings.user);
    station->setText(settings.station);
    prefix->setText(settings.prefix);
}

SiteSettings SiteDialog::editedSettings() const
{
    SiteSettings settings;
    settings.enabled = enabled->isChecked();
    settings.host = host->text().trimmed();
    settings.port = port->value();
    settings.tls = tls->isChecked();
    settings.ca = ca->text().trimmed();
    settings.user = user->text();
    settings.station = station->text().trimmed();
    settings.prefix = prefix->text().trimmed();
    return settings;
}

ModbusServerSettings SiteDialog::editedModbusSettings() const
{
    ModbusServerSettings settings;
    settings.enabled = modbusEnabled->isChecked();
    settings.address = modbusAddress->text().trimmed();
    settings.port = modbusPort->value();
    settings.unit = modbusUnit->value();
    return settings;
}

void SiteDialog::tlsToggled(bool on)
{
    port->setValue(portForTls(port->value(), on));
}

void SiteDialog::browseCa()
{
    const QString start = ca->text().isEmpty() ? QString() : QFileInfo(ca->text()).absolutePath();
    const QString path = QFileDialog::getOpenFileName(
        this, tr("选择 CA 文件"), start, tr("证书 (*.pem *.crt *.cer);;所有文件 (*)"));
    if (!path.isEmpty())
        ca->setText(QDir::toNativeSeparators(path));
}

void SiteDialog::apply()
{
    const SiteSettings settings = editedSettings();
    const ModbusServerSettings served = editedModbusSettings();
    const QString problem = settings.problem().isEmpty() ? served.problem() : settings.problem();
    if (!FormWidgets::checkedSave(problem, [&](QString *unsaved) { return served.save(unsaved) && settings.save(unsaved); },
                                  message, tr("远程发布")))
        return;
    emit modbusServerApplied(served);
    const QString typed = password->text();
    // Not kept in the widget once handed on.
    password->clear();
    if (!typed.isEmpty()) {
        awaitingPassword = false;
        store->write(typed);
        emit settingsApplied(settings, typed);
        return;
    }
    if (settings.user.isEmpty()) {
        awaitingPassword = false;
        emit settingsApplied(settings, QString());
        return;
    }
    // The link needs the stored password; a later 应用 overtakes one still being read.
    pending = settings;
    awaitingPassword = true;
    store->read();
}

void SiteDialog::passwordRead(const QString &stored, const QString &error)
{
    if (!awaitingPassword)
        return;
    awaitingPassword = false;
    if (!error.isEmpty())
        message->setText(tr("密码未能读取：%1").arg(error));
    // Applied even so: the link then says why the broker refuses it.
    emit settingsApplied(pending, stored);
}

void SiteDialog::passwordWritten(bool ok, const QString &error)
{
    if (!ok)
        message->setText(tr("密码未能保存：%1").arg(error));
}
