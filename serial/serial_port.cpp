#include "serial/serial_port.h"

#include "forms/serialportform.h"
#include "serial/concentratorlink.h"
#include "station/station.h"

#include <QComboBox>
#include <QDebug>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>

Serial_port::Serial_port(Station *owner, QWidget *parent)
    : QDialog(parent), ui(new SerialPortForm), station(owner)
{
    ui->setupUi(this);
    // Enter in the port box must open what was typed, never run a default button
    // that would refresh the list and wipe it.
    ui->pushButton->setAutoDefault(false);
    ui->OpenSerialButton->setAutoDefault(false);
    connect(ui->PortBox->lineEdit(), &QLineEdit::returnPressed, this, &Serial_port::openTypedPort);
    ui->poll_pace_box->setCurrentIndex(PollingPace::load().fast ? 1 : 0);
    connect(ui->poll_pace_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Serial_port::choosePace);

    probeAvailablePorts();
    connect(station->link(), &ConcentratorLink::stateChanged, this, &Serial_port::showPortState);
}

Serial_port::~Serial_port()
{
    delete ui;
}

// Lists only ports that can be opened right now, so a port held by another
// program does not show up as a choice at start-up.
void Serial_port::probeAvailablePorts()
{
    QSerialPort *port = station->port();
    const auto ports = station->startupPorts().take();
    for (const QSerialPortInfo &info : ports) {
        port->setPort(info);
        if (port->open(QIODevice::ReadWrite)) {
            ui->PortBox->addItem(info.portName());
            port->close();
        } else {
            qDebug().noquote() << QStringLiteral("串口打开失败，请重试");
        }
    }
}

void Serial_port::on_OpenSerialButton_clicked()
{
    ConcentratorLink *link = station->link();
    if (link->isPortOpen()) {
        station->closePort();
        return;
    }
    if (!link->open(ui->PortBox->currentText()))
        QMessageBox::warning(this, tr("提示"), tr("串口打开失败!"));
}

void Serial_port::openTypedPort()
{
    if (!station->link()->isPortOpen())
        on_OpenSerialButton_clicked();
}

void Serial_port::choosePace(int index)
{
    // The gap is a hand-kept setting: read afresh, so an edit of the file counts from here.
    PollingPace pace = PollingPace::load();
    pace.fast = index == 1;
    pace.save();
    emit paceChosen(pace);
}

void Serial_port::resume(const QString &portName)
{
    ui->PortBox->setEditText(portName);
    station->link()->resume(portName);
}

void Serial_port::showPortState(LinkState state)
{
    const bool open = state == LinkState::Polling || state == LinkState::Answering ||
                      state == LinkState::Silent;
    everOpened = everOpened || open || state == LinkState::Lost;
    ui->OpenSerialButton->setText(open ? tr("关闭串口") : tr("打开串口"));
    if (open)
        ui->OpenSerialButton->setStyleSheet(QStringLiteral("color:red;"));
    else if (everOpened)
        ui->OpenSerialButton->setStyleSheet(QStringLiteral("color:green;"));
}

void Serial_port::on_pushButton_clicked()
{
    RefreshSerialPort(0);
}

void Serial_port::RefreshSerialPort(int index)
{
    QSerialPort *port = station->port();
    if (index == 0) {
        ui->PortBox->clear();
        const auto ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports)
            ui->PortBox->addItem(info.portName());
        // The second entry: on the usual machine the first is a built-in port.
        ui->PortBox->setCurrentIndex(ui->PortBox->count() >= 2 ? 1 : -1);
    }
    port->setPortName(ui->PortBox->currentText());
}
