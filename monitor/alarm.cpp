#include "monitor/alarm.h"

#include "core/wholefile.h"

#include "core/csv.h"
#include "forms/alarmform.h"
#include "monitor/alarmjournaldialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QTableWidget>
#include <set>

namespace {

constexpr int kRowCount = 999;
constexpr int kColumnWidths[] = {100, 180, 180};

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *cell = table->item(row, column);
    return cell ? cell->text() : QString();
}

} // namespace

Alarm::Alarm(QWidget *parent) : QDialog(parent), ui(new AlarmForm)
{
    ui->setupUi(this);
    setUpTable();
    // A row chosen at an earlier opening must not be acknowledged unseen at the next.
    connect(this, &QDialog::finished, ui->tableWidget_alarm, &QTableWidget::clearSelection);
}

void Alarm::enter(const AlarmDetector::Event &event, const QString &timeText)
{
    QTableWidget *table = ui->tableWidget_alarm;
    table->setItem(event.row, 0, new QTableWidgetItem(AlarmDetector::eventText(event)));
    table->setItem(event.row, event.recovery ? 2 : 1, new QTableWidgetItem(timeText));
}

// Colour, weight and tooltip together, so a state is never told by colour alone.
void Alarm::paintRow(int row, AlarmAcknowledgement::State state)
{
    static const QColor colours[] = {QColor(), QColor(200, 0, 0), QColor(150, 80, 0),
                                     QColor(0, 70, 200), QColor(90, 90, 90)};
    const bool bold = state == AlarmAcknowledgement::Unacknowledged
        || state == AlarmAcknowledgement::RecoveredUnacknowledged;
    QTableWidget *table = ui->tableWidget_alarm;
    for (int column = 0; column < table->columnCount(); ++column) {
        QTableWidgetItem *item = table->item(row, column);
        if (!item)
            continue;
        item->setForeground(colours[state]);
        QFont font = item->font();
        font.setBold(bold);
        item->setFont(font);
        item->setToolTip(AlarmAcknowledgement::stateText(state));
    }
}

Alarm::~Alarm()
{
    delete ui;
}

void Alarm::setUpTable()
{
    QTableWidget *table = ui->tableWidget_alarm;
    table->setRowCount(kRowCount);
    table->setColumnCount(3);
    for (int column = 0; column < 3; ++column)
        table->setColumnWidth(column, kColumnWidths[column]);
    table->setHorizontalHeaderLabels({tr("序号"), tr("报警时间"), tr("解除时间")});
}

void Alarm::setExportDirectory(const QString &directory)
{
    exportDirectory = directory;
}

void Alarm::on_pushButton_2_clicked()
{
    ui->tableWidget_alarm->clearContents();
    emit alarmsCleared();
}

void Alarm::on_pushButton_clicked()
{
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-hhmmss"));
    const QString proposed =
        QDir(exportDirectory).filePath(QStringLiteral("alarms-%1.csv").arg(stamp));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出数据"), proposed, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;

    const QTableWidget *table = ui->tableWidget_alarm;
    QStringList heading;
    for (int column = 0; column < table->columnCount(); ++column)
        heading << table->horizontalHeaderItem(column)->text();
    QList<QStringList> rows;
    rows.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList fields;
        for (int column = 0; column < table->columnCount(); ++column)
            fields << cellText(table, row, column);
        rows << fields;
    }

    QString error;
    if (!WholeFile::write(path, Csv::document(heading, rows), &error))
        QMessageBox::warning(this, tr("提示"), tr("导出失败：") + error);
}

void Alarm::on_pushButton_3_clicked()
{
    close();
}

void Alarm::setJournalDatabase(StationDatabase *database)
{
    journalDatabase = database;
}

void Alarm::showSoundEnabled(bool enabled)
{
    ui->checkBox_sound->setChecked(enabled);
}

void Alarm::on_pushButton_acknowledge_clicked()
{
    std::set<int> chosen;
    for (const QModelIndex &index : ui->tableWidget_alarm->selectionModel()->selectedIndexes())
        chosen.insert(index.row());
    acknowledgingChosen = !chosen.empty();
    emit acknowledgeRequested(QVector<int>(chosen.begin(), chosen.end()));
}

void Alarm::acknowledgementDone(int acknowledged)
{
    if (acknowledged > 0)
        return;
    // Not modal: the list stays usable, and nothing waits on the operator.
    auto *notice = new QMessageBox(QMessageBox::Information, windowTitle(),
                                   acknowledgingChosen ? tr("所选报警均已确认")
                                                       : tr("没有待确认的报警"),
                                   QMessageBox::Ok, this);
    notice->setObjectName(QStringLiteral("acknowledge_notice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}

void Alarm::on_pushButton_silence_clicked()
{
    emit silenceRequested();
}

void Alarm::on_pushButton_journal_clicked()
{
    AlarmJournalDialog journal(journalDatabase, this);
    journal.setExportDirectory(exportDirectory);
    journal.exec();
}

void Alarm::on_pushButton_rules_clicked()
{
    emit rulesRequested();
}

void Alarm::on_checkBox_sound_clicked(bool checked)
{
    emit soundEnabledChanged(checked);
}
