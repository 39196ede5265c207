#pragma once

#include "serial/linkstate.h"
#include "serial/pollingpace.h"

#include <QDialog>

class SerialPortForm;
class Station;

// Chooses, opens and closes the one port to the concentrator. The port object and the link
// belong to the station; this dialog lists the ports and tells the link which to use.
class Serial_port : public QDialog
{
    Q_OBJECT

public:
    explicit Serial_port(Station *station, QWidget *parent = nullptr);
    ~Serial_port() override;

    SerialPortForm *form() const { return ui; }

    // Shows the port to be reopened after a restart and hands it to the link.
    void resume(const QString &portName);

signals:
    // The operator chose how fast to poll; it is in the settings already.
    void paceChosen(const PollingPace &pace);

public slots:
    // The button always tells whether the port is really open.
    void showPortState(LinkState state);

private slots:
    void on_OpenSerialButton_clicked();
    void on_pushButton_clicked();
    void RefreshSerialPort(int index);

private:
    void probeAvailablePorts();
    void openTypedPort();
    void choosePace(int index);

    SerialPortForm *ui;
    Station *station;
    bool everOpened = false;
};
