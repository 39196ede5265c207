#include "app/mainwindow.h"
#include "app/windowsetup.h"
#include "forms/mainwindowform.h"
#include "history/historystore.h"
#include "testsupport.h"

#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

class HistoryPageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstOpeningShowsTheLastDay();
    void aQueryListsTodaysRecordsAndExportsThem();
    void aQueryFindsRecordsWhateverTheLocaleDigits();

private:
    QDateTime minute(int minutesAgo) const;
    QDateTime now;
};

void HistoryPageTest::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Widths are judged at the fonts the station runs with.
    prepareStationApplication(*qApp);
    now = QDateTime::currentDateTime();
}

QDateTime HistoryPageTest::minute(int minutesAgo) const
{
    return now.addSecs(-60 * minutesAgo);
}

void HistoryPageTest::firstOpeningShowsTheLastDay()
{
    QTemporaryDir dir;
    MainWindow window(nullptr, dir.path());
    MainWindowForm *ui = window.form();
    QCOMPARE(ui->history_table->rowCount(), 10080);
    QCOMPARE(ui->history_table->columnCount(), 1);
    QCOMPARE(ui->history_table->horizontalHeaderItem(0)->text(), QStringLiteral("历史记录"));
    QCOMPARE(ui->history_export_button->text(), QStringLiteral("导出"));
    QCOMPARE(ui->history_export_button->geometry(), QRect(830, 370, 75, 23));
    QCOMPARE(ui->history_export_button->parentWidget(), ui->widget_2);

    // The whole stamp shows, seconds included.
    for (QDateTimeEdit *edit : {ui->dateTime_head, ui->dateTime_tail})
        QVERIFY(edit->sizeHint().width() <= edit->width());

    ui->history_button->click();
    const QDateTime tail = ui->dateTime_tail->dateTime();
    QVERIFY(qAbs(tail.secsTo(QDateTime::currentDateTime())) < 5);
    QCOMPARE(ui->dateTime_head->dateTime().secsTo(tail), 24 * 3600);

    // The range the operator sets stays when the page is left and opened again.
    const QDateTime chosen(QDate(2026, 1, 2), QTime(3, 4, 5));
    ui->dateTime_head->setDateTime(chosen);
    ui->history_home_button->click();
    ui->history_button->click();
    QCOMPARE(ui->dateTime_head->dateTime(), chosen);
}

void HistoryPageTest::aQueryListsTodaysRecordsAndExportsThem()
{
    QTemporaryDir dir;
    {
        // Three minutes of the day being filled: device 7 and device 70 report.
        HistoryStore store(dir.path());
        DeviceReadings readings;
        readings.deviceTemperature[6] = 23.5f;
        readings.deviceCurrent[6] = 1.25f;
        readings.deviceStatusText[6] = QStringLiteral("在线");
        readings.deviceTemperature[69] = -5.0f;
        readings.deviceStatusText[69] = QStringLiteral("离线");
        for (int ago : {3, 2, 1})
            store.recordHistoryMinute(readings, minute(ago));
    }
    MainWindow window(nullptr, dir.path());
    MainWindowForm *ui = window.form();
    ui->history_button->click();
    ui->History_id->setText(QStringLiteral("07"));
    ui->history_query_button->click();
    QVERIFY(!ui->history_query_button->isEnabled()); // no second query meanwhile
    QTRY_VERIFY_WITH_TIMEOUT(ui->history_query_button->isEnabled(), 5000);
    QCOMPARE(ui->progressBar->value(), 10079);

    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(ui->history_table->item(row, 0)->text(),
                 QStringLiteral("ID:007 温度:23.5 电流:1.25 状态:在线 时间:%1;")
                     .arg(QLocale::c().toString(minute(3 - row), format)));
    }
    QCOMPARE(ui->history_table->item(3, 0)->text(), QString());
    QVERIFY(ui->history_export_button->isEnabled());

    QString proposed;
    handleNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        proposed = dialog->selectedFiles().value(0);
        static_cast<QDialog *>(dialog)->accept();
    });
    ui->history_export_button->click();
    QVERIFY2(QRegularExpression("^history-007-[0-9]{8}-[0-9]{6}\\.csv$")
                 .match(QFileInfo(proposed).fileName())
                 .hasMatch(),
             qPrintable(proposed));
    QCOMPARE(QFileInfo(proposed).absolutePath(), QDir(dir.path()).absolutePath());
    QFile exported(proposed);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QByteArray expected = QByteArray("\xEF\xBB\xBF") +
                                "设备号,温度,电流,状态,时间\r\n"
                                "007,23.5,1.25,在线," +
                                QLocale::c().toString(minute(3), format).toUtf8() + "\r\n";
    QVERIFY2(exported.readAll().startsWith(expected), qPrintable(proposed));

    // A second query with nothing in range empties the rows the first one filled.
    ui->dateTime_head->setDateTime(now.addDays(1));
    ui->history_query_button->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->history_query_button->isEnabled(), 5000);
    QCOMPARE(ui->history_table->item(0, 0)->text(), QString());
    QVERIFY(!ui->history_export_button->isEnabled());
}

// Qt takes the system locale from the environment once, at start: the query case runs again
// in a child of this test under locales whose digits are not ASCII.
void HistoryPageTest::aQueryFindsRecordsWhateverTheLocaleDigits()
{
    for (const QString locale : {"ar_EG", "fa_IR"}) {
        QVERIFY(QLocale(locale).toString(QDate(2024, 5, 1), "yyyy") != QStringLiteral("2024"));
        const QByteArray failures =
            failuresUnderLocale(locale, QStringLiteral("aQueryListsTodaysRecordsAndExportsThem"));
        QVERIFY2(failures.isEmpty(), failures.constData());
    }
}

KESTRO_TEST_MAIN(HistoryPageTest)
#include "tst_historypage.moc"
