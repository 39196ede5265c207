#include "forms/mainwindowform.h"

#include "forms/formwidgets.h"
#include "forms/panelcolumn.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>

namespace {

const char *const kWhiteText = "color: rgb(255, 255, 255);";

// The stacked widget's x: panel fields stand this far right of the central widget's origin.
constexpr int kPanelOriginX = 10;
// Room for the longest heading in YaHei on Windows and DejaVu/WenQuanYi elsewhere, with a
// few pixels to spare between neighbours, whose columns stand 130 px from each other.
constexpr int kHeadingWidth = 125;
constexpr int kNumberHeadingWidth = 81;

using FormWidgets::make;
using FormWidgets::whiteLabel;

// Every command button as the form table gives it; four CJK glyphs fit at the station's font.
QPushButton *button(QWidget *parent, const char *name, int x, int y)
{
    return make<QPushButton>(parent, name, QRect(x, y, 75, 23));
}

// Centred over the panel cells it names (given in page coordinates), so a longer text grows
// evenly to both sides. Widths differ by an even number, which keeps the centre exact.
QRect headingOver(int cellX, int cellWidth, int width)
{
    return QRect(kPanelOriginX + cellX + (cellWidth - width) / 2, 100, width, 31);
}

QLabel *heading(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *label = whiteLabel(parent, name, geometry, 16);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// Number labels are never looked up; 300 + N keeps their names clear of the fixed labels.
QString numberLabelName(int device)
{
    return QStringLiteral("label_%1").arg(300 + device);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void MainWindowForm::setupUi(QMainWindow *mainWindow)
{
    if (mainWindow->objectName().isEmpty())
        mainWindow->setObjectName(QStringLiteral("MainWindow"));
    mainWindow->resize(1100, 687);
    mainWindow->setMinimumSize(0, 0);
    mainWindow->setToolTipDuration(-1);
    mainWindow->setStyleSheet(QString());

    centralwidget = new QWidget(mainWindow);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    centralwidget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    label_8 = whiteLabel(centralwidget, "label_8", QRect(390, 0, 331, 81), 25);
    // Wide enough for a running clock in YaHei; right-aligned so it keeps to the window edge.
    system_time = whiteLabel(centralwidget, "system_time", QRect(850, 40, 241, 21), 13);
    system_time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    stackedWidget =
        make<QStackedWidget>(centralwidget, "stackedWidget", QRect(kPanelOriginX, 130, 1081, 471));
    stackedWidget->setStyleSheet(QString());

    QWidget **devicePages[PanelColumn::kDevicePageCount] = {
        &page,   &page_1, &page_2, &page_3,  &page_4,  &page_5,  &page_6,
        &page_7, &page_8, &page_9, &page_10, &page_11, &page_12, &page_13};
    for (int index = 0; index < PanelColumn::kDevicePageCount; ++index) {
        QWidget *pageWidget = new QWidget();
        pageWidget->setObjectName(index == 0 ? QStringLiteral("page")
                                             : QStringLiteral("page_%1").arg(index));
        buildDevicePage(pageWidget, index);
        stackedWidget->addWidget(pageWidget);
        *devicePages[index] = pageWidget;
    }
    buildCurvePage();
    buildHistoryPage();

    buildCommandRowAndHeadings(centralwidget);
    buildBackdrop(centralwidget);

    mainWindow->setCentralWidget(centralwidget);
    menubar = new QMenuBar(mainWindow);
    menubar->setObjectName(QStringLiteral("menubar"));
    menubar->setGeometry(QRect(0, 0, 1100, 23));
    mainWindow->setMenuBar(menubar);
    statusbar = new QStatusBar(mainWindow);
    statusbar->setObjectName(QStringLiteral("statusbar"));
    mainWindow->setStatusBar(statusbar);

    retranslateUi(mainWindow);
    stackedWidget->setCurrentIndex(0);
    QMetaObject::connectSlotsByName(mainWindow);
}

void MainWindowForm::buildDevicePage(QWidget *pageWidget, int pageIndex)
{
    const int first = pageIndex * PanelColumn::kDevicesPerPage + 1;
    const int last = qMin(first + PanelColumn::kDevicesPerPage - 1, PanelColumn::kDeviceCount);
    for (int device = first; device <= last; ++device) {
        const int y = PanelColumn::rowY(device);
        auto *number = whiteLabel(
            pageWidget, "",
            QRect(PanelColumn::kNumberLabelX, y, PanelColumn::kNumberLabelWidth, 16), 13);
        number->setObjectName(numberLabelName(device));
        number->setAlignment(Qt::AlignCenter);
        for (const PanelColumn &column : PanelColumn::fields()) {
            auto *field = new QLineEdit(pageWidget);
            field->setObjectName(PanelColumn::fieldName(column.prefix, device));
            field->setGeometry(column.x, y, PanelColumn::kFieldWidth, PanelColumn::kFieldHeight);
            field->setAlignment(Qt::AlignCenter);
        }
    }
}

void MainWindowForm::buildCurvePage()
{
    page_14 = new QWidget();
    page_14->setObjectName(QStringLiteral("page_14"));
    widget = make<QtCharts::QChartView>(page_14, "widget", QRect(150, 0, 811, 411));
    // Captions end just short of the field they name and grow leftwards.
    label_213 = make<QLabel>(page_14, "label_213", QRect(640, 431, 78, 21));
    label_213->setStyleSheet(QLatin1String(kWhiteText));
    label_213->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Historical_curve_temperature_id =
        make<QLineEdit>(page_14, "Historical_curve_temperature_id", QRect(720, 431, 61, 21));
    Historical_curve_query_button = button(page_14, "Historical_curve_query_button", 800, 430);
    pushButton_graph_home = button(page_14, "pushButton_graph_home", 890, 430);
    stackedWidget->addWidget(page_14);
}

void MainWindowForm::buildHistoryPage()
{
    page_15 = new QWidget();
    page_15->setObjectName(QStringLiteral("page_15"));
    widget_2 = make<QWidget>(page_15, "widget_2", QRect(29, 0, 1031, 421));
    widget_2->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));
    // The captions may reach left up to the history table's edge (x 512 here), no further.
    label_205 = make<QLabel>(widget_2, "label_205", QRect(512, 20, 86, 21));
    label_205->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    History_id = make<QLineEdit>(widget_2, "History_id", QRect(600, 20, 61, 21));
    label_209 = make<QLabel>(widget_2, "label_209", QRect(512, 60, 86, 21));
    label_209->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the whole stamp, seconds included, beside the spin arrows.
    dateTime_head = make<QDateTimeEdit>(widget_2, "dateTime_head", QRect(600, 60, 155, 22));
    label_212 = make<QLabel>(widget_2, "label_212", QRect(757, 60, 18, 21));
    dateTime_tail = make<QDateTimeEdit>(widget_2, "dateTime_tail", QRect(777, 60, 155, 22));
    history_query_button = button(widget_2, "history_query_button", 920, 370);
    history_export_button = button(widget_2, "history_export_button", 830, 370);
    // The listed device and range as a trend, beside the other ways out of the list.
    history_trend_button = button(widget_2, "history_trend_button", 740, 370);

    history_table = make<QTableWidget>(page_15, "history_table", QRect(30, 0, 511, 421));
    history_home_button = button(page_15, "history_home_button", 980, 440);
    progressBar = make<QProgressBar>(page_15, "progressBar", QRect(30, 420, 1061, 16));
    progressBar->setValue(0);
    // The hint lies on the bar; a percentage drawn underneath would make it unreadable.
    progressBar->setTextVisible(false);
    label_207 = make<QLabel>(page_15, "label_207", QRect(440, 420, 311, 16));
    label_207->setStyleSheet(QStringLiteral("color: rgb(85, 85, 255);"));
    stackedWidget->addWidget(page_15);
}

void MainWindowForm::buildCommandRowAndHeadings(QWidget *parent)
{
    pushButton_graph = button(parent, "pushButton_graph", 560, 610);
    Threshold_Settings_button = button(parent, "Threshold_Settings_button", 650, 610);
    alarm_record = button(parent, "alarm_record", 740, 610);
    // In the free stretch between the port and save buttons of the row.
    silence_button = button(parent, "silence_button", 270, 610);
    // The site link's settings: seldom used, so out of the command row, in the free corner.
    site_button = button(parent, "site_button", 20, 20);
    // The command row is full; the trend opens a window of its own, so it joins the corner.
    trend_button = button(parent, "trend_button", 105, 20);
    // Six glyphs beside the box: room for YaHei's full em each, as the buttons' texts have.
    autostart_check = make<QCheckBox>(parent, "autostart_check", QRect(190, 20, 110, 23));
    autostart_check->setStyleSheet(QLatin1String(kWhiteText));
    // Set up once per site, as the site link is; in the corner, short of the title at 390.
    rules_button = button(parent, "rules_button", 305, 20);
    // The corner's row is full up to the title: its next settings start a second row.
    notify_button = button(parent, "notify_button", 20, 52);
    report_button = button(parent, "report_button", 105, 52);
    Device_selection = button(parent, "Device_selection", 830, 610);
    next_pageButton = button(parent, "next_pageButton", 920, 610);
    previous_pageButton = button(parent, "previous_pageButton", 1010, 610);

    const auto &columns = PanelColumn::fields();
    auto overColumn = [&columns](int index) {
        return headingOver(columns[index].x, PanelColumn::kFieldWidth, kHeadingWidth);
    };
    label = heading(parent, "label",
                    headingOver(PanelColumn::kNumberLabelX, PanelColumn::kNumberLabelWidth,
                                kNumberHeadingWidth));
    label_2 = heading(parent, "label_2", overColumn(0));
    label_3 = heading(parent, "label_3", overColumn(1));
    label_4 = heading(parent, "label_4", overColumn(2));
    label_5 = heading(parent, "label_5", overColumn(3));
    label_6 = heading(parent, "label_6", overColumn(5));
    label_7 = heading(parent, "label_7", overColumn(6));
}

void MainWindowForm::buildBackdrop(QWidget *parent)
{
    widget_3 = make<QWidget>(parent, "widget_3", QRect(-50, -30, 1201, 741));
    // Scoped to the backdrop itself: an unscoped image rule would repeat the picture
    // inside every button and field placed on it.
    widget_3->setStyleSheet(
        QStringLiteral("#widget_3 { image: url(:/new/prefix1/img/P1.jpg); }"));

    // Children use backdrop coordinates: central-widget position + (50, 30).
    const int correctionX = PanelColumn::fields()[4].x;
    label_215 = heading(
        widget_3, "label_215",
        headingOver(correctionX, PanelColumn::kFieldWidth, kHeadingWidth).translated(50, 30));
    // Ends just short of concentrator_id and grows leftwards, up to the window's edge.
    label_39 = whiteLabel(widget_3, "label_39", QRect(50, 642, 78, 16), 10);
    label_39->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    concentrator_id = make<QLineEdit>(widget_3, "concentrator_id", QRect(130, 640, 61, 21));
    Serial_port_parameters = button(widget_3, "Serial_port_parameters", 210, 640);
    save_button = button(widget_3, "save_button", 430, 640);
    history_button = button(widget_3, "history_button", 520, 640);

    widget_3->lower();
}

void MainWindowForm::retranslateUi(QMainWindow *mainWindow)
{
    mainWindow->setWindowTitle(tr("MainWindow"));
    label_8->setText(tr("Orvanta"));
    system_time->setText(tr("2023-0-29 00:00:00"));

    for (int device = 1; device <= PanelColumn::kDeviceCount; ++device) {
        QWidget *pageWidget = devicePage(PanelColumn::pageOf(device));
        if (auto *number = pageWidget->findChild<QLabel *>(numberLabelName(device)))
            number->setText(QStringLiteral("%1").arg(device, 3, 10, QLatin1Char('0')));
        for (const PanelColumn &column : PanelColumn::fields()) {
            if (*column.initialText == '\0')
                continue;
            if (auto *field =
                    pageWidget->findChild<QLineEdit *>(PanelColumn::fieldName(column.prefix, device)))
                field->setText(tr(column.initialText));
        }
    }

    label_213->setText(tr("设备号："));
    Historical_curve_temperature_id->setText(tr("1"));
    Historical_curve_query_button->setText(tr("查询"));
    pushButton_graph_home->setText(tr("返回"));

    label_205->setText(tr("设备号："));
    History_id->setText(tr("1"));
    label_209->setText(tr("时间范围："));
    dateTime_head->setDisplayFormat(tr("yyyy-MM-dd HH:mm:ss"));
    label_212->setText(tr("--"));
    dateTime_tail->setDisplayFormat(tr("yyyy-MM-dd HH:mm:ss"));
    history_query_button->setText(tr("查询"));
    history_export_button->setText(tr("导出"));
    history_trend_button->setText(tr("趋势"));
    history_home_button->setText(tr("返回"));
    label_207->setText(tr("当数据过多时 按下查询等待一至五分钟"));

    label->setText(tr("设备号"));
    label_2->setText(tr("设备名称"));
    label_3->setText(tr("安装部位"));
    label_4->setText(tr("电压（mV）"));
    label_5->setText(tr("温度（℃）"));
    label_215->setText(tr("温度校正"));
    label_6->setText(tr("电流（A）"));
    label_7->setText(tr("设备状态"));

    label_39->setText(tr("集中器ID："));
    concentrator_id->setText(tr("01"));
    Serial_port_parameters->setText(tr("串口参数"));
    save_button->setText(tr("保存"));
    history_button->setText(tr("历史记录"));
    pushButton_graph->setText(tr("曲线图"));
    Threshold_Settings_button->setText(tr("阈值设置"));
    alarm_record->setText(tr("报警记录"));
    silence_button->setText(tr("消音"));
    site_button->setText(tr("远程发布"));
    trend_button->setText(tr("趋势"));
    autostart_check->setText(tr("开机自动启动"));
    rules_button->setText(tr("报警规则"));
    notify_button->setText(tr("报警通知"));
    report_button->setText(tr("报表"));
    Device_selection->setText(tr("设备选择"));
    next_pageButton->setText(tr("下一页"));
    previous_pageButton->setText(tr("上一页"));
}

QWidget *MainWindowForm::devicePage(int index) const
{
    if (index < 0 || index >= PanelColumn::kDevicePageCount)
        return nullptr;
    return stackedWidget->widget(index);
}

QList<QLabel *> MainWindowForm::columnHeadings() const
{
    return {label, label_2, label_3, label_4, label_5, label_215, label_6, label_7};
}
