#include "app/applicationtitle.h"
#include "app/mainwindow.h"
#include "forms/dialogform.h"
#include "forms/mainwindowform.h"
#include "navigation/dialog.h"
#include "navigation/pagenavigation.h"
#include "serial/serial_port.h"
#include "testsupport.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

class NavigationTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pageButtonsStopAtBothEnds_data();
    void pageButtonsStopAtBothEnds();
    void dialogButtonsOpenTheirRange_data();
    void dialogButtonsOpenTheirRange();
    void queryViewDisablesPagingAndReturnShowsFirstPage();
    void queryViewsReachEachOtherAndDialogsStillOpen();
    void dialogButtonsOpenModallyUnderTheApplicationTitle();

private:
    int shownIndex() const { return window->form()->stackedWidget->currentIndex(); }
    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    QTemporaryDir dataDir;
    MainWindow *window = nullptr;
};

void NavigationTest::init()
{
    window = new MainWindow(nullptr, dataDir.path());
    window->show();
}

void NavigationTest::cleanup()
{
    delete window;
    window = nullptr;
}

void NavigationTest::pageButtonsStopAtBothEnds_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("clicks"); // n: next page, p: previous page
    QTest::addColumn<int>("shown");
    QTest::newRow("previous on the first page") << 0 << "p" << 0;
    QTest::newRow("previous from the second") << 1 << "p" << 0;
    QTest::newRow("next on the last page") << 13 << "n" << 13;
    QTest::newRow("next to the last page") << 12 << "n" << 13;
    QTest::newRow("twenty nexts") << 0 << QString(20, QLatin1Char('n')) << 13;
    QTest::newRow("next on the last, then previous") << 13 << "np" << 12;
}

void NavigationTest::pageButtonsStopAtBothEnds()
{
    QFETCH(int, start);
    QFETCH(QString, clicks);
    QFETCH(int, shown);
    window->showDevicePage(start);
    for (const QChar c : clicks)
        click(c == QLatin1Char('n') ? window->form()->next_pageButton
                                    : window->form()->previous_pageButton);
    QCOMPARE(shownIndex(), shown);
    QCOMPARE(window->shownDevicePage(), shown);
}

void NavigationTest::dialogButtonsOpenTheirRange_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("firstDeviceShown");
    QTest::newRow("p1") << 1 << "1-15" << "001";
    QTest::newRow("p5") << 5 << "61-75" << "061";
    QTest::newRow("p7") << 7 << "91-105" << "091";
    QTest::newRow("p11") << 11 << "151-165" << "151";
    QTest::newRow("p14") << 14 << "196-200" << "196";
}

void NavigationTest::dialogButtonsOpenTheirRange()
{
    QFETCH(int, button);
    QFETCH(QString, text);
    QFETCH(QString, firstDeviceShown);

    Dialog *dialog = window->devicePageDialog();
    QPushButton *pageButton = dialog->findChild<QPushButton *>(QStringLiteral("pushButton_p%1").arg(button));
    QVERIFY(pageButton);
    QCOMPARE(pageButton->text(), text);
    const int row = (button - 1) / 4, column = (button - 1) % 4;
    QCOMPARE(pageButton->geometry(), QRect(20 + 100 * column, 20 + 40 * row, 75, 23));

    if (button != 1)
        window->showDevicePage(0);
    dialog->show();
    click(pageButton);
    QCOMPARE(shownIndex(), button - 1);
    QCOMPARE(window->shownDevicePage(), button - 1);
    QVERIFY(!dialog->isVisible());

    const auto labels = window->form()->stackedWidget->currentWidget()->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.begin(), labels.end(),
                        [&](QLabel *label) { return label->text() == firstDeviceShown; }));
}

void NavigationTest::queryViewDisablesPagingAndReturnShowsFirstPage()
{
    MainWindowForm *ui = window->form();
    for (int i = 0; i < 5; ++i)
        click(ui->next_pageButton);
    QCOMPARE(shownIndex(), 5);

    click(ui->history_button);
    QCOMPARE(ui->stackedWidget->currentWidget(), ui->page_15);
    QCOMPARE(window->shownDevicePage(), 5);
    QVERIFY(!ui->Device_selection->isEnabled());
    QVERIFY(!ui->next_pageButton->isEnabled());
    QVERIFY(!ui->previous_pageButton->isEnabled());
    QVERIFY(!ui->system_time->isVisible());
    for (QLabel *heading : ui->columnHeadings())
        QVERIFY2(!heading->isVisible(), qPrintable(heading->objectName()));

    click(ui->next_pageButton); // disabled: nothing may happen
    QCOMPARE(ui->stackedWidget->currentWidget(), ui->page_15);

    click(ui->history_home_button);
    QCOMPARE(shownIndex(), 0);
    QCOMPARE(window->shownDevicePage(), 0);
    QVERIFY(ui->Device_selection->isEnabled());
    QVERIFY(ui->next_pageButton->isEnabled());
    QVERIFY(ui->previous_pageButton->isEnabled());
    QVERIFY(ui->system_time->isVisible());
    for (QLabel *heading : ui->columnHeadings())
        QVERIFY(heading->isVisible());

    click(ui->next_pageButton);
    QCOMPARE(shownIndex(), 1);

    click(ui->pushButton_graph);
    QCOMPARE(ui->stackedWidget->currentWidget(), ui->page_14);
    QVERIFY(!ui->system_time->isVisible());
    click(ui->pushButton_graph_home);
    QCOMPARE(shownIndex(), 0);
    QVERIFY(ui->system_time->isVisible());
}

void NavigationTest::queryViewsReachEachOtherAndDialogsStillOpen()
{
    MainWindowForm *ui = window->form();
    click(ui->pushButton_graph);
    QVERIFY(ui->history_button->isEnabled());
    click(ui->history_button);
    QCOMPARE(ui->stackedWidget->currentWidget(), ui->page_15);
    click(ui->pushButton_graph);
    QCOMPARE(ui->stackedWidget->currentWidget(), ui->page_14);

    QVERIFY(ui->Serial_port_parameters->isEnabled());
    QVERIFY(ui->alarm_record->isEnabled());
    QVERIFY(ui->Threshold_Settings_button->isEnabled());
    QVERIFY(ui->save_button->isEnabled());
    QWidget *opened = nullptr;
    handleNextModal([&](QWidget *modal) { opened = modal; });
    click(ui->Serial_port_parameters);
    QCOMPARE(opened, static_cast<QWidget *>(window->serialPortSettings()));
}

void NavigationTest::dialogButtonsOpenModallyUnderTheApplicationTitle()
{
    MainWindowForm *ui = window->form();
    const QList<QPair<QPushButton *, QDialog *>> openers = {
        {ui->Device_selection, window->devicePageDialog()},
        {ui->Serial_port_parameters, window->serialPortSettings()}};
    for (const auto &opener : openers) {
        QWidget *opened = nullptr;
        QString title;
        handleNextModal([&](QWidget *modal) {
            opened = modal;
            title = modal->windowTitle();
        });
        click(opener.first);
        QCOMPARE(opened, static_cast<QWidget *>(opener.second));
        QCOMPARE(title, applicationTitle());
        QVERIFY(!opener.second->isVisible());
    }
    // Closing the page dialog by its frame keeps the page.
    window->showDevicePage(3);
    handleNextModal([](QWidget *) {});
    click(ui->Device_selection);
    QCOMPARE(shownIndex(), 3);
    QCOMPARE(window->shownDevicePage(), 3);
}

KESTRO_TEST_MAIN(NavigationTest)
#include "tst_navigation.moc"
