#include "windowsupport.h"

#include "app/mainwindow.h"
#include "forms/panelcolumn.h"
#include "forms/serialportform.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#if defined(__SANITIZE_ADDRESS__)
#define KESTRO_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRO_LEAK_CHECKED 1
#endif
#endif
#ifdef KESTRO_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

std::unique_ptr<QApplication> makeTestApplication(int &argc, char **argv)
{
#ifdef KESTRO_LEAK_CHECKED
    __lsan_disable();
#endif
    auto app = std::make_unique<QApplication>(argc, argv);
#ifdef KESTRO_LEAK_CHECKED
    __lsan_enable();
#endif
    return app;
}

void StationRig::setUpRig()
{
    // A port left open by the previous case would be reopened by the next window.
    LinkMemory::forget();
    pty = new PtyPair;
    simulator = new Simulator;
}

void StationRig::tearDownRig()
{
    delete window;
    window = nullptr;
    delete simulator;
    simulator = nullptr;
    delete pty;
    pty = nullptr;
}

MainWindow *StationRig::newWindow(int stepMs)
{
    auto *made = new MainWindow(nullptr, dataDir.path());
    made->setPollStepInterval(stepMs);
    return made;
}

bool StationRig::startStation(const QStringList &simulatorOptions, int stepMs)
{
    QString error;
    if (!pty->start(&error) ||
        !simulator->start(pty->concentratorEnd(), simulatorOptions, &error)) {
        qWarning().noquote() << error;
        return false;
    }
    window = newWindow(stepMs);
    return openPortAsOperator(window, pty->stationEnd());
}

void handleNextModal(std::function<void(QWidget *)> inspect)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, inspect]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        poll->deleteLater();
        inspect(modal);
        // Left alone once inspect has answered it, so an accept is not turned into a reject.
        if (!modal->isVisible())
            return;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll->start();
}

QLineEdit *panelField(QObject *root, const char *prefix, int device)
{
    return root->findChild<QLineEdit *>(PanelColumn::fieldName(prefix, device));
}

void typeIntoPanel(QObject *root, const char *prefix, int device, const QString &text)
{
    QLineEdit *edit = panelField(root, prefix, device);
    edit->setText(text);
    emit edit->textEdited(text);
}

bool openPortAsOperator(MainWindow *window, const QString &portPath)
{
    SerialPortForm *ui = window->serialPortSettings()->form();
    ui->PortBox->setEditText(portPath);
    ui->OpenSerialButton->click();
    return window->port()->isOpen();
}
