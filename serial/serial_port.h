#pragma once

#include <QDialog>

class MainWindow;
class SerialPortForm;

// Chooses, opens and closes the one port to the concentrator. The port object
// itself belongs to the main window; this dialog creates and configures it.
class Serial_port : public QDialog
{
    Q_OBJECT

public:
    explicit Serial_port(QWidget *parent = nullptr);
    ~Serial_port() override;

    SerialPortForm *form() const { return ui; }

private slots:
    void on_OpenSerialButton_clicked();
    void on_pushButton_clicked();
    void RefreshSerialPort(int index);

private:
    void probeAvailablePorts();

    SerialPortForm *ui;
    MainWindow *mainWindow;
};
