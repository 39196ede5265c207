#include "app/mainwindow.h"
#include "forms/serialportform.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

class SerialPortDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineSettingsAreFixed();
    void typedPortOpensAndCloses();
    void failedOpenIsReportedAndChangesNothing();
    void portHeldElsewhereCannotBeOpened();
    void refreshListsThePlatformPortsAndPicksTheSecond();
    void enterInThePortBoxOpensWhatWasTyped();

private:
    QString openFailureMessage(QPushButton *button);

    QTemporaryDir dataDir;
    MainWindow *window = nullptr;
    SerialPortForm *ui = nullptr;
};

void SerialPortDialogTest::init()
{
    // A port left open by the previous case would be reopened by the next window.
    LinkMemory::forget();
    window = new MainWindow(nullptr, dataDir.path());
    ui = window->serialPortSettings()->form();
}

void SerialPortDialogTest::cleanup()
{
    delete window;
    window = nullptr;
}

QString SerialPortDialogTest::openFailureMessage(QPushButton *button)
{
    QString shown;
    handleNextModal([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
        else
            shown = QStringLiteral("unexpected ") + modal->objectName();
    });
    button->click();
    return shown;
}

void SerialPortDialogTest::lineSettingsAreFixed()
{
    QSerialPort *port = window->port();
    QVERIFY(port);
    QVERIFY(!port->isOpen());
    QCOMPARE(port->baudRate(QSerialPort::Input), 9600);
    QCOMPARE(port->baudRate(QSerialPort::Output), 9600);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(ui->OpenSerialButton->text(), QStringLiteral("打开串口"));
    QCOMPARE(ui->pushButton->text(), QStringLiteral("刷新"));
    QVERIFY(ui->PortBox->isEditable());
}

void SerialPortDialogTest::typedPortOpensAndCloses()
{
    PtyPair pty;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));

    QVERIFY(openPortAsOperator(window, pty.stationEnd()));
    QCOMPARE(window->port()->openMode(), QIODevice::ReadWrite);
    QCOMPARE(ui->OpenSerialButton->text(), QStringLiteral("关闭串口"));
    QCOMPARE(ui->OpenSerialButton->styleSheet(), QStringLiteral("color:red;"));
    // Opening applies the fixed line settings to the device.
    QCOMPARE(window->port()->baudRate(), 9600);

    ui->OpenSerialButton->click();
    QVERIFY(!window->port()->isOpen());
    QCOMPARE(ui->OpenSerialButton->text(), QStringLiteral("打开串口"));
    QCOMPARE(ui->OpenSerialButton->styleSheet(), QStringLiteral("color:green;"));
    for (int value : window->registers())
        QCOMPARE(value, 0);

    ui->OpenSerialButton->click();
    QVERIFY(window->port()->isOpen());
    QCOMPARE(ui->OpenSerialButton->styleSheet(), QStringLiteral("color:red;"));
}

void SerialPortDialogTest::failedOpenIsReportedAndChangesNothing()
{
    ui->PortBox->setEditText(dataDir.filePath(QStringLiteral("no-such-port")));
    QCOMPARE(openFailureMessage(ui->OpenSerialButton), QStringLiteral("提示|串口打开失败!"));
    QVERIFY(!window->port()->isOpen());
    QCOMPARE(ui->OpenSerialButton->text(), QStringLiteral("打开串口"));
    QVERIFY(ui->OpenSerialButton->styleSheet().isEmpty());

    ui->PortBox->setEditText(QString());
    QCOMPARE(openFailureMessage(ui->OpenSerialButton), QStringLiteral("提示|串口打开失败!"));

    // Control characters never name a port; they are refused like a missing one.
    ui->PortBox->setEditText(QStringLiteral("tty") + QChar(0) + QStringLiteral("S0"));
    QCOMPARE(openFailureMessage(ui->OpenSerialButton), QStringLiteral("提示|串口打开失败!"));
    QVERIFY(!window->port()->isOpen());
}

void SerialPortDialogTest::portHeldElsewhereCannotBeOpened()
{
    PtyPair pty;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    QSerialPort holder(pty.stationEnd());
    QVERIFY(holder.open(QIODevice::ReadWrite));

    ui->PortBox->setEditText(pty.stationEnd());
    QCOMPARE(openFailureMessage(ui->OpenSerialButton), QStringLiteral("提示|串口打开失败!"));
    QVERIFY(!window->port()->isOpen());

    holder.close();
    ui->OpenSerialButton->click();
    QVERIFY(window->port()->isOpen());
}

void SerialPortDialogTest::refreshListsThePlatformPortsAndPicksTheSecond()
{
    ui->PortBox->setEditText(QStringLiteral("typed-before"));
    ui->pushButton->click();
    QStringList expected;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        expected << info.portName();
    QStringList listed;
    for (int i = 0; i < ui->PortBox->count(); ++i)
        listed << ui->PortBox->itemText(i);
    QCOMPARE(listed, expected);
    if (expected.size() >= 2) {
        QCOMPARE(ui->PortBox->currentIndex(), 1);
        QCOMPARE(ui->PortBox->currentText(), expected.at(1));
    } else {
        QCOMPARE(ui->PortBox->currentIndex(), -1);
        QVERIFY(ui->PortBox->currentText().isEmpty());
    }
    QCOMPARE(window->port()->portName(), ui->PortBox->currentText());
    QVERIFY(!window->port()->isOpen());
}

void SerialPortDialogTest::enterInThePortBoxOpensWhatWasTyped()
{
    PtyPair pty;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));

    // Typed and entered as an operator would, in the dialog as the station shows it.
    QString shownAfterEnter;
    bool openAfterEnter = false;
    handleNextModal([&](QWidget *) {
        QLineEdit *typing = ui->PortBox->lineEdit();
        typing->clear();
        typing->setFocus();
        QTest::keyClicks(typing, pty.stationEnd());
        QTest::keyClick(typing, Qt::Key_Return);
        shownAfterEnter = ui->PortBox->currentText();
        openAfterEnter = window->port()->isOpen();
        // A second Enter while open must not close it.
        QTest::keyClick(typing, Qt::Key_Enter);
    });
    window->findChild<QPushButton *>(QStringLiteral("Serial_port_parameters"))->click();
    QCOMPARE(shownAfterEnter, pty.stationEnd());
    QVERIFY(openAfterEnter);
    QVERIFY(window->port()->isOpen());
    QCOMPARE(window->port()->portName(), pty.stationEnd());
    QCOMPARE(ui->OpenSerialButton->text(), QStringLiteral("关闭串口"));
}

KESTRO_TEST_MAIN(SerialPortDialogTest)
#include "tst_serialport.moc"
