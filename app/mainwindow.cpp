#include "app/mainwindow.h"

#include "app/applicationtitle.h"
#include "app/datadirectory.h"
#include "forms/mainwindowform.h"
#include "monitor/panelupdate.h"
#include "monitor/pollingcycle.h"
#include "navigation/dialog.h"
#include "navigation/pagenavigation.h"
#include "serial/responsecollector.h"
#include "serial/serial_port.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>
#include <QTimerEvent>

// The station code lives in a static library; referencing the bundle here keeps the
// linker from dropping the backdrop images.
static void initialiseResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent, const QString &dataDirectory)
    : QMainWindow(parent),
      dataDir(dataDirectory.isEmpty() ? DataDirectory::defaultPath() : dataDirectory)
{
    initialiseResources();

    ui = new MainWindowForm;
    ui->setupUi(this);

    deviceSelectionDialog = new Dialog(this);
    serialPortDialog = new Serial_port(this);

    pollingCycle = new PollingCycle(this);
    responseCollector = new ResponseCollector(this);
    connect(pollingCycle, &PollingCycle::requestDue, this, &MainWindow::sendPollRequest);
    connect(pollingCycle, &PollingCycle::stepElapsed, this, &MainWindow::finishPollStep);
    connect(responseCollector, &ResponseCollector::responseCollected, this,
            &MainWindow::acceptResponse);

    initialiseStartup();
}

MainWindow::~MainWindow()
{
    delete ui;
    // Has no parent; deleting it here releases the port with the window.
    delete serialPort;
}

void MainWindow::initialiseStartup()
{
    clockTimer = startTimer(1000, Qt::CoarseTimer);
    pollTimer = startTimer(1000, Qt::CoarseTimer);
    evaluationTimer = startTimer(1000, Qt::CoarseTimer);
    historyTimer = startTimer(60000, Qt::CoarseTimer);

    currentPage = 0;
    registerValues.fill(0);
    historyLineCount = 0;

    connect(serialPort, &QSerialPort::readyRead, this, &MainWindow::DataReceived);

    temperatureAlarmActive.fill(0);
    voltageAlarmActive.fill(0);
    currentAlarmActive.fill(0);
    upperTemperatureLimit.fill(80.0f);
    lowerTemperatureLimit.fill(-40.0f);
    upperCurrentLimit.fill(50.0f);

    ui->progressBar->setRange(0, 10079);

    DataDirectory::ensureExists(dataDir);
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == clockTimer) {
        clockTick();
    } else if (id == pollTimer) {
        pollingTick();
    } else if (id == evaluationTimer) {
        // readings are evaluated here once alarm detection is in place
    } else if (id == historyTimer) {
        // minute records are written here once the history store is in place
    }
}

void MainWindow::clockTick()
{
    ui->system_time->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void MainWindow::pollingTick()
{
    // A cycle outlasts many ticks; a tick only starts the next one once it is over.
    if (!pollingCycle->isRunning())
        pollingCycle->start(PollingCycle::addressFromText(ui->concentrator_id->text()));
}

void MainWindow::setPollStepInterval(int milliseconds)
{
    pollingCycle->setStepInterval(milliseconds);
}

void MainWindow::sendPollRequest(int, const QByteArray &frame)
{
    // A step must never show another block's values: start every window from
    // "no reading" with nothing left over from earlier answers. The collector is
    // already empty: it is reset when a window closes and fed only while one is open.
    registerValues.fill(0);
    responsesInWindow = 0;
    answerWindowOpen = true;
    if (!serialPort->isOpen())
        return;
    serialPort->clear(QSerialPort::Input);
    serialPort->write(frame);
}

void MainWindow::finishPollStep(int step)
{
    answerWindowOpen = false;
    responseCollector->reset();
    const PollingCycle::Step &done = PollingCycle::steps()[static_cast<size_t>(step)];
    PanelUpdate::updateColumn(this, done.quantity, done.firstDevice, registerValues,
                              currentLineEdit);
}

void MainWindow::DataReceived()
{
    const QByteArray bytes = serialPort->readAll();
    if (answerWindowOpen)
        responseCollector->append(bytes);
}

void MainWindow::acceptResponse(const QByteArray &bytes)
{
    if (!ModbusFrame::isAcceptedResponse(bytes))
        return;
    // Two answers to one request cannot both be ours, and nothing says which one is.
    if (++responsesInWindow == 1)
        registerValues = ModbusFrame::decodeRegisters(bytes);
    else
        registerValues.fill(0);
}

void MainWindow::showDevicePage(int pageIndex)
{
    currentPage = pageIndex;
    ui->stackedWidget->setCurrentIndex(pageIndex);
}

void MainWindow::applyPageMove(const PageMove &move)
{
    if (move.showPage)
        showDevicePage(move.currentPage);
    else
        currentPage = move.currentPage;
}

void MainWindow::on_next_pageButton_clicked()
{
    applyPageMove(PageMove::next(currentPage));
}

void MainWindow::on_previous_pageButton_clicked()
{
    applyPageMove(PageMove::previous(currentPage));
}

void MainWindow::openDialog(QDialog *dialog)
{
    dialog->setWindowTitle(applicationTitle());
    dialog->exec();
}

void MainWindow::on_Device_selection_clicked()
{
    openDialog(deviceSelectionDialog);
}

void MainWindow::on_alarm_record_clicked()
{
    // The alarm record dialog is not part of the station yet.
}

void MainWindow::on_Threshold_Settings_button_clicked()
{
    // The threshold dialog is not part of the station yet.
}

void MainWindow::on_Serial_port_parameters_clicked()
{
    openDialog(serialPortDialog);
}

// Paging makes no sense on the query pages, and the headings and clock belong to the panels.
void MainWindow::setDeviceViewControls(bool deviceView)
{
    ui->Device_selection->setEnabled(deviceView);
    ui->next_pageButton->setEnabled(deviceView);
    ui->previous_pageButton->setEnabled(deviceView);
    ui->system_time->setVisible(deviceView);
    for (QLabel *heading : ui->columnHeadings())
        heading->setVisible(deviceView);
}

void MainWindow::enterQueryView(QWidget *pageWidget)
{
    setDeviceViewControls(false);
    ui->stackedWidget->setCurrentWidget(pageWidget);
}

void MainWindow::returnToDeviceView()
{
    setDeviceViewControls(true);
    showDevicePage(0);
}

void MainWindow::on_pushButton_graph_clicked()
{
    enterQueryView(ui->page_14);
}

void MainWindow::on_history_button_clicked()
{
    enterQueryView(ui->page_15);
}

void MainWindow::on_pushButton_graph_home_clicked()
{
    returnToDeviceView();
}

void MainWindow::on_history_home_button_clicked()
{
    returnToDeviceView();
}
