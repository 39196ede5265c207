#pragma once

#include <QtCharts/QChartView>

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class QTableWidget;
class QWidget;

// The main window's widget tree. Members bear the object names of their widgets;
// the 1400 panel fields are reached by object name only (see PanelColumn).
class MainWindowForm
{
public:
    QWidget *centralwidget = nullptr;
    QWidget *widget_3 = nullptr;
    QLabel *label_8 = nullptr;
    QLabel *system_time = nullptr;
    QStackedWidget *stackedWidget = nullptr;

    QWidget *page = nullptr;
    QWidget *page_1 = nullptr;
    QWidget *page_2 = nullptr;
    QWidget *page_3 = nullptr;
    QWidget *page_4 = nullptr;
    QWidget *page_5 = nullptr;
    QWidget *page_6 = nullptr;
    QWidget *page_7 = nullptr;
    QWidget *page_8 = nullptr;
    QWidget *page_9 = nullptr;
    QWidget *page_10 = nullptr;
    QWidget *page_11 = nullptr;
    QWidget *page_12 = nullptr;
    QWidget *page_13 = nullptr;

    // Curve page.
    QWidget *page_14 = nullptr;
    QtCharts::QChartView *widget = nullptr;
    QLabel *label_213 = nullptr;
    QLineEdit *Historical_curve_temperature_id = nullptr;
    QPushButton *Historical_curve_query_button = nullptr;
    QPushButton *pushButton_graph_home = nullptr;

    // History page.
    QWidget *page_15 = nullptr;
    QWidget *widget_2 = nullptr;
    QTableWidget *history_table = nullptr;
    QLabel *label_205 = nullptr;
    QLineEdit *History_id = nullptr;
    QLabel *label_209 = nullptr;
    QDateTimeEdit *dateTime_head = nullptr;
    QLabel *label_212 = nullptr;
    QDateTimeEdit *dateTime_tail = nullptr;
    QPushButton *history_query_button = nullptr;
    QPushButton *history_export_button = nullptr;
    QPushButton *history_trend_button = nullptr;
    QPushButton *history_home_button = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *label_207 = nullptr;

    // Column headings.
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *label_3 = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *label_5 = nullptr;
    QLabel *label_215 = nullptr;
    QLabel *label_6 = nullptr;
    QLabel *label_7 = nullptr;

    // Command row.
    QLabel *label_39 = nullptr;
    QLineEdit *concentrator_id = nullptr;
    QPushButton *Serial_port_parameters = nullptr;
    QPushButton *save_button = nullptr;
    QPushButton *history_button = nullptr;
    QPushButton *pushButton_graph = nullptr;
    QPushButton *Threshold_Settings_button = nullptr;
    QPushButton *alarm_record = nullptr;
    QPushButton *silence_button = nullptr;
    QPushButton *site_button = nullptr;
    QPushButton *trend_button = nullptr;
    QCheckBox *autostart_check = nullptr;
    QPushButton *rules_button = nullptr;
    QPushButton *notify_button = nullptr;
    QPushButton *report_button = nullptr;
    QPushButton *Device_selection = nullptr;
    QPushButton *next_pageButton = nullptr;
    QPushButton *previous_pageButton = nullptr;

    QMenuBar *menubar = nullptr;
    QStatusBar *statusbar = nullptr;

    void setupUi(QMainWindow *mainWindow);
    void retranslateUi(QMainWindow *mainWindow);

    QWidget *devicePage(int index) const;
    // The eight headings above the panel columns, in column order.
    QList<QLabel *> columnHeadings() const;

private:
    void buildDevicePage(QWidget *pageWidget, int pageIndex);
    void buildCurvePage();
    void buildHistoryPage();
    void buildCommandRowAndHeadings(QWidget *parent);
    void buildBackdrop(QWidget *parent);
};
