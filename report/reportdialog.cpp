#include "report/reportdialog.h"

#include "forms/formwidgets.h"
#include "report/reportscheduler.h"
#include "report/reportsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

using FormWidgets::named;

const char kDayFormat[] = "yyyy-MM-dd";
const char kMonthFormat[] = "yyyy-MM";

} // namespace

ReportDialog::ReportDialog(ReportScheduler *scheduler, const QString &dataDirectory, QWidget *parent)
    : QDialog(parent), reports(scheduler), dataDir(dataDirectory)
{
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(tr("报表"));
    resize(560, 380);

    kind = named(new QComboBox(this), "report_kind");
    kind->addItem(tr("日报"), QStringLiteral("day"));
    kind->addItem(tr("月报"), QStringLiteral("month"));
    period = named(new QDateEdit(this), "report_period");
    period->setCalendarPopup(true);
    // Today's report covers up to now; a later one would be empty.
    period->setMaximumDate(QDate::currentDate());
    period->setDate(QDate::currentDate().addDays(-1));
    folder = named(new QLineEdit(this), "report_folder");
    browseButton = named(new QPushButton(tr("浏览…"), this), "report_browse");
    makeButton = named(new QPushButton(tr("生成报表"), this), "report_make");
    cancelButton = named(new QPushButton(tr("取消"), this), "report_cancel");
    progress = named(new QProgressBar(this), "report_progress");
    progress->setRange(0, 100);
    progress->setValue(0);
    result = named(new QLabel(this), "report_result");
    result->setWordWrap(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    openFolderButton = named(new QPushButton(tr("打开文件夹"), this), "report_open_folder");
    daily = named(new QCheckBox(tr("每天 00:05 生成前一天的日报"), this), "report_daily");
    monthly = named(new QCheckBox(tr("每月 1 日 00:05 生成上个月的月报"), this), "report_monthly");
    message = named(new QLabel(this), "report_message");
    message->setWordWrap(true);
    message->setStyleSheet(QStringLiteral("color: #c00000;"));
    applyButton = named(new QPushButton(tr("应用"), this), "report_apply");
    closeButton = named(new QPushButton(tr("返回"), this), "report_close");
    for (QPushButton *button : {browseButton, makeButton, cancelButton, openFolderButton, applyButton, closeButton})
        button->setAutoDefault(false);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browseButton);
    auto *makeRow = new QHBoxLayout;
    makeRow->addWidget(makeButton);
    makeRow->addWidget(cancelButton);
    makeRow->addWidget(progress, 1);
    auto *resultRow = new QHBoxLayout;
    resultRow->addWidget(result, 1);
    resultRow->addWidget(openFolderButton, 0, Qt::AlignTop);

    auto *onDemand = named(new QGroupBox(tr("生成报表"), this), "report_make_box");
    auto *form = new QFormLayout(onDemand);
    form->addRow(tr("类型"), kind);
    form->addRow(tr("日期"), period);
    form->addRow(tr("保存到"), folderRow);
    form->addRow(makeRow);
    form->addRow(resultRow);

    auto *scheduled = named(new QGroupBox(tr("定时生成"), this), "report_schedule_box");
    auto *schedule = new QVBoxLayout(scheduled);
    schedule->addWidget(daily);
    schedule->addWidget(monthly);
    auto *makeUp = new QLabel(tr("错过的时间（未开机）在下次启动时补做。PDF 可打印签字，Excel 便于汇总。"), scheduled);
    makeUp->setWordWrap(true);
    schedule->addWidget(makeUp);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(onDemand);
    layout->addWidget(scheduled);
    layout->addWidget(message);
    layout->addStretch();
    layout->addLayout(buttons);

    const ReportSettings settings = ReportSettings::load();
    daily->setChecked(settings.daily);
    monthly->setChecked(settings.monthly);
    folder->setText(QDir::toNativeSeparators(settings.folderPath(dataDir)));
    showKind();
    setBusy(reports->isBusy());
    openFolderButton->setEnabled(false);

    connect(kind, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ReportDialog::showKind);
    connect(browseButton, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, tr("报表保存到"), folderPath());
        if (!chosen.isEmpty())
            folder->setText(QDir::toNativeSeparators(chosen));
    });
    connect(makeButton, &QPushButton::clicked, this, &ReportDialog::makeReport);
    connect(cancelButton, &QPushButton::clicked, reports, &ReportScheduler::cancel);
    connect(openFolderButton, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(lastFolder)); });
    connect(reports, &ReportScheduler::progressed, this, &ReportDialog::showProgress);
    connect(reports, &ReportScheduler::finished, this, &ReportDialog::showOutcome);
    connect(applyButton, &QPushButton::clicked, this, &ReportDialog::apply);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

void ReportDialog::showKind()
{
    const bool isDay = kind->currentData().toString() == QLatin1String("day");
    const QDate today = QDate::currentDate();
    period->setDisplayFormat(QLatin1String(isDay ? kDayFormat : kMonthFormat));
    // The latest whole one by default: yesterday, or the month before.
    period->setDate(isDay ? today.addDays(-1) : today.addMonths(-1));
}

QString ReportDialog::folderPath() const
{
    ReportSettings typed;
    typed.folder = folder->text();
    return typed.folderPath(dataDir);
}

void ReportDialog::setBusy(bool busy)
{
    makeButton->setEnabled(!busy);
    cancelButton->setEnabled(busy);
}

void ReportDialog::makeReport()
{
    const QDate date = period->date();
    const bool isDay = kind->currentData().toString() == QLatin1String("day");
    const ReportPeriod chosen = isDay ? ReportPeriod::day(date) : ReportPeriod::month(date.year(), date.month());
    lastFolder = folderPath();
    if (!reports->make(chosen, lastFolder)) {
        result->setText(tr("另一份报表正在生成，请稍候"));
        return;
    }
    setBusy(true);
    openFolderButton->setEnabled(false);
    result->setStyleSheet(QString());
    result->setText(tr("正在生成 %1 的报表…").arg(chosen.text()));
}

void ReportDialog::showProgress(int percent)
{
    progress->setValue(percent);
    setBusy(reports->isBusy());
}

void ReportDialog::showOutcome(const ReportOutcome &outcome, bool onDemand)
{
    setBusy(false);
    if (!onDemand)
        return;
    const QString what = outcome.period.text();
    QString text;
    if (outcome.written()) {
        QStringList names;
        for (const QString &file : outcome.files)
            names << QDir::toNativeSeparators(file);
        text = tr("%1 的报表已生成：\n%2").arg(what, names.join(QLatin1Char('\n')));
        if (!outcome.notes.isEmpty())
            text += tr("\n注意：%1").arg(outcome.notes.join(QStringLiteral("；")));
        openFolderButton->setEnabled(true);
    } else if (outcome.cancelled) {
        text = tr("已取消，未生成报表");
    } else if (outcome.empty) {
        text = tr("%1 没有任何记录，未生成报表").arg(what);
    } else {
        text = tr("%1 的报表未能生成：%2").arg(what, outcome.error);
    }
    result->setStyleSheet(outcome.written() ? QString() : QStringLiteral("color: #c00000;"));
    result->setText(text);
    if (!outcome.written())
        progress->setValue(0);
}

void ReportDialog::apply()
{
    ReportSettings settings;
    settings.daily = daily->isChecked();
    settings.monthly = monthly->isChecked();
    // The data folder's own reports/ is kept as "no choice", so it follows a moved data folder.
    const QString typed = QDir::cleanPath(QDir::fromNativeSeparators(folder->text().trimmed()));
    settings.folder = typed == ReportSettings().folderPath(dataDir) ? QString() : folder->text().trimmed();
    FormWidgets::checkedSave(QString(), [&settings](QString *unsaved) { return settings.save(unsaved); },
                             message, tr("定时报表"));
}
