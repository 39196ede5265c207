#include "app/applicationtitle.h"
#include "app/mainwindow.h"
#include "app/windowsetup.h"
#include "forms/mainwindowform.h"
#include "testsupport.h"

#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QMainWindow>
#include <QTest>

namespace {

// The seven panel columns: object-name prefix and x, as the form's table gives them.
const struct
{
    const char *prefix;
    int x;
} kColumns[] = {{"lineEdit_a", 140},           {"lineEdit_b", 270},
                {"lineEdit_voltage_", 400},    {"lineEdit_temperature_", 530},
                {"lineEdit_temperaturecp_", 660}, {"lineEdit_current_", 790},
                {"lineEdit_Device_status_", 920}};

QString fieldName(const char *prefix, int device)
{
    return QLatin1String(prefix) + QString::number(device);
}

} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void devicePanelsSitOnTheirPagesAndRows_data();
    void devicePanelsSitOnTheirPagesAndRows();
    void lastPageHoldsOnlyFiveDevices();
    void everyPanelNameFindsExactlyOneCentredEditableField();
    void composedNamesDoNotMatchNeighbours();
    void initialTexts();
    void stackedWidgetHasSixteenPagesInOrder();
    void backdropLiesBehindEverythingAndStaysInsideItself();
    void windowIsFixedUnderTheApplicationTitle();

private:
    QTemporaryDir dataDir;
    MainWindow *window = nullptr;
};

void FormTest::init()
{
    window = new MainWindow(nullptr, dataDir.path());
}

void FormTest::cleanup()
{
    delete window;
    window = nullptr;
}

void FormTest::devicePanelsSitOnTheirPagesAndRows_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("pageName");
    QTest::addColumn<int>("row");
    QTest::newRow("first device") << 1 << "page" << 0;
    QTest::newRow("last row of first page") << 15 << "page" << 14;
    QTest::newRow("first row of second page") << 16 << "page_1" << 0;
    QTest::newRow("middle") << 100 << "page_6" << 9;
    QTest::newRow("last device") << 200 << "page_13" << 4;
}

void FormTest::devicePanelsSitOnTheirPagesAndRows()
{
    QFETCH(int, device);
    QFETCH(QString, pageName);
    QFETCH(int, row);

    for (const auto &column : kColumns) {
        QLineEdit *field = window->findChild<QLineEdit *>(fieldName(column.prefix, device));
        QVERIFY2(field, column.prefix);
        QCOMPARE(field->parentWidget()->objectName(), pageName);
        QCOMPARE(field->geometry(), QRect(column.x, 10 + 30 * row, 101, 20));
    }
    const QString number = QStringLiteral("%1").arg(device, 3, 10, QLatin1Char('0'));
    QWidget *page = window->findChild<QWidget *>(pageName);
    const auto labels = page->findChildren<QLabel *>();
    auto found = std::find_if(labels.begin(), labels.end(),
                              [&](QLabel *label) { return label->text() == number; });
    QVERIFY(found != labels.end());
    QCOMPARE((*found)->geometry(), QRect(60, 10 + 30 * row, 41, 16));
}

void FormTest::lastPageHoldsOnlyFiveDevices()
{
    QWidget *last = window->form()->page_13;
    QCOMPARE(last->findChildren<QLineEdit *>().size(), 5 * 7);
    QCOMPARE(last->findChildren<QLabel *>().size(), 5);
    QCOMPARE(window->form()->page_12->findChildren<QLineEdit *>().size(), 15 * 7);
}

void FormTest::everyPanelNameFindsExactlyOneCentredEditableField()
{
    for (const auto &column : kColumns) {
        for (int device = 1; device <= 200; ++device) {
            const QString name = fieldName(column.prefix, device);
            const auto matches = window->findChildren<QLineEdit *>(name);
            QVERIFY2(matches.size() == 1, qPrintable(name));
            QLineEdit *field = matches.first();
            QVERIFY2(!field->isReadOnly(), qPrintable(name));
            QCOMPARE(field->alignment(), Qt::AlignCenter);
            QVERIFY(field->validator() == nullptr);
        }
    }
}

void FormTest::composedNamesDoNotMatchNeighbours()
{
    QLineEdit *temperature = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_temperature_20"));
    QVERIFY(temperature);
    QCOMPARE(temperature->x(), 530);
    QLineEdit *name = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_a1"));
    QVERIFY(name);
    QCOMPARE(name->x(), 140);
    QVERIFY(!window->findChild<QLineEdit *>(QStringLiteral("lineEdit_a001")));
    QVERIFY(!window->findChild<QLineEdit *>(QStringLiteral("lineEdit_voltage_007")));
    QVERIFY(!window->findChild<QLineEdit *>(QStringLiteral("lineEdit_voltage_0")));
    QVERIFY(!window->findChild<QLineEdit *>(QStringLiteral("lineEdit_voltage_201")));
}

void FormTest::initialTexts()
{
    MainWindowForm *ui = window->form();
    QCOMPARE(ui->label_8->text(), QStringLiteral("Orvanta"));
    QCOMPARE(ui->system_time->text(), QStringLiteral("2023-0-29 00:00:00"));
    QCOMPARE(ui->concentrator_id->text(), QStringLiteral("01"));
    QCOMPARE(ui->History_id->text(), QStringLiteral("1"));
    QCOMPARE(ui->Historical_curve_temperature_id->text(), QStringLiteral("1"));
    QCOMPARE(ui->dateTime_head->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(ui->dateTime_tail->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(ui->label_207->text(), QStringLiteral("当数据过多时 按下查询等待一至五分钟"));

    QStringList headings;
    for (QLabel *heading : ui->columnHeadings())
        headings << heading->text();
    QCOMPARE(headings, (QStringList{"设备号", "设备名称", "安装部位", "电压（mV）", "温度（℃）",
                                    "温度校正", "电流（A）", "设备状态"}));

    const QList<QPair<QPushButton *, QString>> buttons = {
        {ui->Serial_port_parameters, "串口参数"}, {ui->save_button, "保存"},
        {ui->history_button, "历史记录"},        {ui->pushButton_graph, "曲线图"},
        {ui->Threshold_Settings_button, "阈值设置"}, {ui->alarm_record, "报警记录"},
        {ui->Device_selection, "设备选择"},      {ui->next_pageButton, "下一页"},
        {ui->previous_pageButton, "上一页"}};
    for (const auto &button : buttons) {
        QCOMPARE(button.first->text(), button.second);
        QVERIFY(button.first->isEnabled());
    }
    // Next stands to the left of previous.
    QVERIFY(ui->next_pageButton->mapTo(window, QPoint()).x() <
            ui->previous_pageButton->mapTo(window, QPoint()).x());

    // The form writes "0" into every correction field, but the start-up that follows
    // loads the settings file, and without one every correction field is empty.
    QMainWindow bare;
    MainWindowForm form;
    form.setupUi(&bare);
    auto text = [](QWidget *in, const char *prefix, int device) {
        return in->findChild<QLineEdit *>(fieldName(prefix, device))->text();
    };
    for (int device : {1, 77, 200})
        QCOMPARE(text(&bare, "lineEdit_temperaturecp_", device), QStringLiteral("0"));

    for (int device : {1, 77, 200}) {
        for (const char *prefix : {"lineEdit_temperaturecp_", "lineEdit_a", "lineEdit_b",
                                   "lineEdit_temperature_"})
            QVERIFY(text(window, prefix, device).isEmpty());
    }
}

void FormTest::stackedWidgetHasSixteenPagesInOrder()
{
    QStackedWidget *stack = window->form()->stackedWidget;
    QCOMPARE(stack->count(), 16);
    QCOMPARE(stack->widget(0)->objectName(), QStringLiteral("page"));
    for (int index = 1; index < 16; ++index)
        QCOMPARE(stack->widget(index)->objectName(), QStringLiteral("page_%1").arg(index));
    QCOMPARE(stack->currentIndex(), 0);
    QVERIFY(window->form()->widget->parentWidget() == window->form()->page_14);
    QVERIFY(window->form()->history_table->parentWidget() == window->form()->page_15);
    QVERIFY(window->form()->history_query_button->parentWidget() == window->form()->widget_2);
}

void FormTest::backdropLiesBehindEverythingAndStaysInsideItself()
{
    MainWindowForm *ui = window->form();
    const QObjectList siblings = ui->centralwidget->children();
    QVERIFY(!siblings.isEmpty());
    QCOMPARE(siblings.first(), static_cast<QObject *>(ui->widget_3));
    QCOMPARE(ui->widget_3->geometry(), QRect(-50, -30, 1201, 741));
    // The picture must be drawn by the backdrop only, never inside the controls on it.
    QVERIFY(ui->widget_3->styleSheet().startsWith(QStringLiteral("#widget_3")));
    QVERIFY(ui->widget_3->styleSheet().contains(QStringLiteral(":/new/prefix1/img/P1.jpg")));
    QVERIFY(ui->concentrator_id->parentWidget() == ui->widget_3);
    QCOMPARE(ui->concentrator_id->mapTo(ui->centralwidget, QPoint()), QPoint(80, 610));
    QCOMPARE(ui->label_215->mapTo(ui->centralwidget, QPoint()), QPoint(658, 100));
    QVERIFY(!QImage(QStringLiteral(":/new/prefix1/img/P1.jpg")).isNull());
    QVERIFY(!QImage(QStringLiteral(":/new/prefix1/img/P2.jpg")).isNull());
    QVERIFY(!QImage(QStringLiteral(":/new/prefix1/img/P3.jpg")).isNull());
}

void FormTest::windowIsFixedUnderTheApplicationTitle()
{
    prepareStationWindow(*window);
    QCOMPARE(window->size(), QSize(1100, 680));
    QCOMPARE(window->minimumSize(), QSize(1100, 680));
    QCOMPARE(window->maximumSize(), QSize(1100, 680));
    QCOMPARE(window->windowTitle(), applicationTitle());
    QVERIFY(applicationTitle().startsWith(QStringLiteral("Kestro   ")));
    QVERIFY(!applicationTitle().startsWith(QStringLiteral("Kestro    ")));
}

KESTRO_TEST_MAIN(FormTest)
#include "tst_form.moc"
