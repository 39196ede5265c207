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

    void pageMovesStopAtBothEnds();
    void previousOnFirstAndNextOnLastKeepThePage();
    void twentyNextsEndOnTheLastPage();
    void dialogButtonsOpenTheirRange_data();
    void dialogButtonsOpenTheirRange();
    void lastRangeThenNextThenPrevious();
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

void NavigationTest::pageMovesStopAtBothEnds()
{
    QCOMPARE(PageMove::next(0).currentPage, 1);
    QVERIFY(PageMove::next(12).showPage);
    QCOMPARE(PageMove::next(13).currentPage, 13);
    QVERIFY(!PageMove::next(13).showPage);
    QCOMPARE(PageMove::previous(1).currentPage, 0);
    QVERIFY(PageMove::previous(1).showPage);
    QCOMPARE(PageMove::previous(0).currentPage, 0);
    QVERIFY(!PageMove::previous(0).showPage);
}

void NavigationTest::previousOnFirstAndNextOnLastKeepThePage()
{
    MainWindowForm *ui = window->form();
    click(ui->previous_pageButton);
    QCOMPARE(shownIndex(), 0);
    QCOMPARE(window->shownDevicePage(), 0);

    window->showDevicePage(13);
    click(ui->next_pageButton);
    QCOMPARE(shownIndex(), 13);
    QCOMPARE(window->shownDevicePage(), 13);
}

void NavigationTest::twentyNextsEndOnTheLastPage()
{
    for (int i = 0; i < 20; ++i)
        click(window->form()->next_pageButton);
    QCOMPARE(shownIndex(), 13);
    QCOMPARE(window->shownDevicePage(), 13);
    click(window->form()->previous_pageButton);
    QCOMPARE(shownIndex(), 12);
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

void NavigationTest::lastRangeThenNextThenPrevious()
{
    Dialog *dialog = window->devicePageDialog();
    dialog->show();
    click(dialog->form()->pageButtons[13]);
    click(window->form()->next_pageButton);
    QCOMPARE(shownIndex(), 13);
    click(window->form()->previous_pageButton);
    QCOMPARE(shownIndex(), 12);
    QCOMPARE(window->shownDevicePage(), 12);
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
