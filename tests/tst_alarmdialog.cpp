#include "app/mainwindow.h"
#include "forms/alarmform.h"
#include "forms/mainwindowform.h"
#include "monitor/alarm.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class AlarmDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshTableIsEmptyWithItsHeadingsAndButtons();
    void clearingEmptiesTheTableAndSaysSoEachTime();
    void returnClosesTheDialog();
    void exportWritesTheProposedFileWithTheRowsHoldingText();
    void cancelledExportWritesNothing();
    void failedExportWarnsAndLeavesNoFile();
    void rulesOpenedFromTheListAreStoredOrRefused();

private:
    QTableWidget *table() const { return alarm->form()->tableWidget_alarm; }
    void put(int row, int column, const QString &text)
    {
        table()->setItem(row, column, new QTableWidgetItem(text));
    }
    void verifyEmptyTableKeepsItsShape();

    QTemporaryDir exportDir;
    Alarm *alarm = nullptr;
};

void AlarmDialogTest::initTestCase()
{
    // Qt's own file dialog on every platform theme, so the test can fill it in.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void AlarmDialogTest::init()
{
    alarm = new Alarm;
    alarm->setExportDirectory(exportDir.path());
}

void AlarmDialogTest::cleanup()
{
    delete alarm;
    alarm = nullptr;
    for (const QString &name : filesIn(exportDir.path()))
        QFile::remove(exportDir.filePath(name));
}

void AlarmDialogTest::verifyEmptyTableKeepsItsShape()
{
    QCOMPARE(table()->rowCount(), 999);
    QCOMPARE(table()->columnCount(), 3);
    QCOMPARE(table()->columnWidth(0), 100);
    QCOMPARE(table()->columnWidth(1), 180);
    QCOMPARE(table()->columnWidth(2), 180);
    const QStringList headings = {"序号", "报警时间", "解除时间"};
    for (int column = 0; column < 3; ++column)
        QCOMPARE(table()->horizontalHeaderItem(column)->text(), headings[column]);
    QCOMPARE(table()->model()->headerData(998, Qt::Vertical).toString(), QStringLiteral("999"));
    for (int row = 0; row < 999; ++row)
        for (int column = 0; column < 3; ++column)
            QVERIFY2(!table()->item(row, column),
                     qPrintable(QStringLiteral("%1/%2").arg(row).arg(column)));
}

void AlarmDialogTest::freshTableIsEmptyWithItsHeadingsAndButtons()
{
    QCOMPARE(alarm->objectName(), QStringLiteral("Alarm"));
    QCOMPARE(alarm->size(), QSize(511, 371));
    QCOMPARE(alarm->windowTitle(), QStringLiteral("Dialog"));
    QVERIFY(alarm->styleSheet().isEmpty());
    QCOMPARE(table()->objectName(), QStringLiteral("tableWidget_alarm"));
    QCOMPARE(table()->geometry(), QRect(0, 0, 511, 321));
    verifyEmptyTableKeepsItsShape();

    AlarmForm *ui = alarm->form();
    QCOMPARE(ui->pushButton->text(), QStringLiteral("导出数据"));
    QCOMPARE(ui->pushButton->geometry(), QRect(0, 320, 75, 23));
    QCOMPARE(ui->pushButton_2->text(), QStringLiteral("清除数据"));
    QCOMPARE(ui->pushButton_2->geometry(), QRect(210, 320, 75, 23));
    QCOMPARE(ui->pushButton_3->text(), QStringLiteral("返回"));
    QCOMPARE(ui->pushButton_3->size(), QSize(75, 23));
    QCOMPARE(ui->pushButton_3->y(), 320);
}

void AlarmDialogTest::clearingEmptiesTheTableAndSaysSoEachTime()
{
    put(0, 0, QStringLiteral("5温度异常"));
    put(0, 1, QStringLiteral("2024-03-01 08:00:00"));
    put(996, 2, QStringLiteral("2024-03-01 08:00:05"));
    put(998, 0, QStringLiteral("typed by hand"));
    QSignalSpy cleared(alarm, &Alarm::alarmsCleared);

    alarm->form()->pushButton_2->click();
    QCOMPARE(cleared.count(), 1);
    verifyEmptyTableKeepsItsShape();

    alarm->form()->pushButton_2->click();
    QCOMPARE(cleared.count(), 2);
    verifyEmptyTableKeepsItsShape();
}

void AlarmDialogTest::returnClosesTheDialog()
{
    alarm->show();
    QVERIFY(QTest::qWaitForWindowExposed(alarm));
    QTest::mouseClick(alarm->form()->pushButton_3, Qt::LeftButton);
    QVERIFY(!alarm->isVisible());
}

void AlarmDialogTest::exportWritesTheProposedFileWithTheRowsHoldingText()
{
    put(0, 0, QStringLiteral("5温度恢复正常"));
    put(0, 1, QStringLiteral("2024-03-01 08:00:00"));
    put(0, 2, QStringLiteral("2024-03-01 08:00:05"));
    put(1, 0, QStringLiteral("7电压欠压"));
    put(1, 1, QStringLiteral("2024-03-01 08:00:01"));
    put(2, 0, QString()); // an item, but no text
    // Cells are editable, so an operator's text may hold anything.
    put(3, 0, QStringLiteral("note, \"typed\"\r\nsecond line"));
    put(998, 2, QStringLiteral("2024-03-01 09:00:00"));

    QString proposed;
    handleNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->parentWidget(), static_cast<QWidget *>(alarm));
        proposed = dialog->selectedFiles().value(0);
        static_cast<QDialog *>(dialog)->accept(); // public there, protected in QFileDialog
    });
    const QDateTime before = QDateTime::currentDateTime();
    alarm->form()->pushButton->click();
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(QFileInfo(proposed).dir().canonicalPath(), QDir(exportDir.path()).canonicalPath());
    QStringList namesInTime;
    for (QDateTime t = before.addMSecs(-before.time().msec()); t <= after; t = t.addSecs(1))
        namesInTime << QStringLiteral("alarms-") + t.toString(QStringLiteral("yyyyMMdd-hhmmss")) +
                           QStringLiteral(".csv");
    QVERIFY2(namesInTime.contains(QFileInfo(proposed).fileName()), qPrintable(proposed));
    QCOMPARE(filesIn(exportDir.path()), QStringList{QFileInfo(proposed).fileName()});

    const QByteArray expected = QByteArray("\xEF\xBB\xBF") +
                                "序号,报警时间,解除时间\r\n"
                                "5温度恢复正常,2024-03-01 08:00:00,2024-03-01 08:00:05\r\n"
                                "7电压欠压,2024-03-01 08:00:01,\r\n"
                                "\"note, \"\"typed\"\"\r\nsecond line\",,\r\n"
                                ",,2024-03-01 09:00:00\r\n";
    QCOMPARE(fileBytes(proposed), expected);
}

void AlarmDialogTest::cancelledExportWritesNothing()
{
    put(0, 0, QStringLiteral("5温度异常"));
    handleNextModal([](QWidget *modal) { QVERIFY(qobject_cast<QFileDialog *>(modal)); });
    alarm->form()->pushButton->click();
    QVERIFY(filesIn(exportDir.path()).isEmpty());
}

void AlarmDialogTest::failedExportWarnsAndLeavesNoFile()
{
    const QString blocker = exportDir.filePath(QStringLiteral("blocker"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    put(0, 0, QStringLiteral("5温度异常"));

    QString boxTitle, boxText;
    QWidget *boxParent = nullptr;
    handleNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        // A folder that cannot exist: its would-be parent is a regular file.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(exportDir.filePath(QStringLiteral("blocker/alarms.csv")));
        handleNextModal([&](QWidget *box) {
            auto *message = qobject_cast<QMessageBox *>(box);
            QVERIFY(message);
            boxTitle = message->windowTitle();
            boxText = message->text();
            boxParent = message->parentWidget();
        });
        static_cast<QDialog *>(dialog)->accept(); // public there, protected in QFileDialog
    });
    alarm->form()->pushButton->click();

    QCOMPARE(boxTitle, QStringLiteral("提示"));
    QVERIFY2(boxText.startsWith(QStringLiteral("导出失败")), qPrintable(boxText));
    QCOMPARE(boxParent, static_cast<QWidget *>(alarm));
    QCOMPARE(filesIn(exportDir.path()), QStringList{QStringLiteral("blocker")});
    QCOMPARE(fileBytes(blocker), QByteArray("x"));
}

void AlarmDialogTest::rulesOpenedFromTheListAreStoredOrRefused()
{
    QTemporaryDir data;
    MainWindow window(nullptr, data.path());
    const QString file = exportDir.filePath(QStringLiteral("groups.csv"));
    QVERIFY(writeFileBytes(file, "柜组,A相,B相,C相,环境\n1号柜,4,5,6,11\n"));
    handleNextModal([&](QWidget *list) {
        handleNextModal([&](QWidget *rules) {
            QCOMPARE(rules->windowTitle(), QStringLiteral("报警规则"));
            handleNextModal([&](QWidget *dialog) {
                QVERIFY(qobject_cast<QFileDialog *>(dialog));
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(file);
                static_cast<QDialog *>(dialog)->accept();
            });
            rules->findChild<QPushButton *>(QStringLiteral("rules_import"))->click();
            for (const QPair<int, double> warning : {qMakePair(7, 85.0), qMakePair(8, 70.0)}) {
                for (const char *name : {"rules_warning_first", "rules_warning_last"})
                    rules->findChild<QSpinBox *>(QLatin1String(name))->setValue(warning.first);
                rules->findChild<QDoubleSpinBox *>(QStringLiteral("rules_warning_limit"))
                    ->setValue(warning.second);
                rules->findChild<QPushButton *>(QStringLiteral("rules_warning_set"))->click();
            }
            // 85 is not below device 7's upper limit of 80: listed, but red and said.
            auto *warnings = rules->findChild<QTableWidget *>(QStringLiteral("rules_warnings"));
            QCOMPARE(warnings->rowCount(), 2);
            QCOMPARE(warnings->item(0, 1)->text(), QStringLiteral("85"));
            QCOMPARE(warnings->item(0, 1)->foreground().color(), QColor(200, 0, 0));
            QVERIFY(warnings->item(0, 1)->toolTip().contains(QStringLiteral("不判定")));
            QCOMPARE(warnings->item(1, 1)->text(), QStringLiteral("70"));
            QCOMPARE(warnings->item(1, 1)->foreground().style(), Qt::NoBrush);
            QVERIFY(warnings->item(1, 1)->toolTip().isEmpty());
            rules->findChild<QPushButton *>(QStringLiteral("rules_save"))->click();
            QVERIFY(!rules->isVisible());
        });
        static_cast<Alarm *>(list)->form()->pushButton_rules->click();
    });
    window.form()->alarm_record->click();

    const QVector<CabinetGroup> imported{{QStringLiteral("1号柜"), {4, 5, 6}, 11}};
    QCOMPARE(window.station()->cabinetGroups(), imported);
    QCOMPARE(window.station()->jointRuleSettings().warningLimit[6], 85.0f);
    QCOMPARE(window.station()->jointRuleSettings().warningLimit[7], 70.0f);
    QVERIFY(qIsNaN(window.station()->jointRuleSettings().warningLimit[8]));

    // From the corner: a group naming device 201 is pointed at, and nothing is stored.
    handleNextModal([](QWidget *rules) {
        rules->findChild<QPushButton *>(QStringLiteral("rules_add_group"))->click();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("G2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("201"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        rules->findChild<QPushButton *>(QStringLiteral("rules_save"))->click();
        QVERIFY(rules->isVisible());
        QCOMPARE(rules->findChild<QLabel *>(QStringLiteral("rules_message"))->text(),
                 QStringLiteral("第 2 行 A相：“201”不是 1～200 的设备号"));
        auto *groups = rules->findChild<QTableWidget *>(QStringLiteral("rules_groups"));
        QCOMPARE(groups->currentIndex(), groups->model()->index(1, 1));
    });
    window.form()->rules_button->click();
    QCOMPARE(window.station()->cabinetGroups(), imported);
}

KESTRO_TEST_MAIN(AlarmDialogTest)
#include "tst_alarmdialog.moc"
