#include "trend/trendwindow.h"

#include "core/walltime.h"
#include "core/wholefile.h"
#include "trend/trendchart.h"
#include "trend/trendexport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kFirstDevice = 1;
constexpr int kLastDevice = 200;
// Names are typed freely into the panels; a legend entry stays one short line.
constexpr int kLabelNameLength = 24;
// How much of an unreadable entry a message repeats.
constexpr int kQuotedLength = 20;
const char *const kStampFormat = "yyyy-MM-dd HH:mm:ss";

QDateTime localOf(qint64 wallMs)
{
    const QDateTime wall = WallTime::toDateTime(wallMs);
    return QDateTime(wall.date(), wall.time());
}

QString quoted(const QString &text)
{
    return text.size() > kQuotedLength ? text.left(kQuotedLength) + QChar(0x2026) : text;
}

} // namespace

const QVector<TrendWindow::Preset> &TrendWindow::presets()
{
    constexpr qint64 hour = 3600 * 1000;
    static const QVector<Preset> list = {
        {"最近1小时", hour},       {"最近8小时", 8 * hour},   {"最近24小时", 24 * hour},
        {"最近7天", 7 * 24 * hour}, {"最近30天", 30 * 24 * hour}, {"最近1年", 365 * 24 * hour},
    };
    return list;
}

TrendWindow::TrendWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(tr("趋势"));
    resize(1000, 620);

    devicesEdit = new QLineEdit(this);
    devicesEdit->setObjectName(QStringLiteral("trend_devices"));
    devicesEdit->setPlaceholderText(tr("如 5,6,7 或 5-8"));
    devicesEdit->setToolTip(tr("最多 %1 台设备，设备号 1–200").arg(kMaxDevices));
    devicesEdit->setMinimumWidth(130);
    pickButton = new QPushButton(tr("选择…"), this);
    pickButton->setObjectName(QStringLiteral("trend_pick_button"));
    rangeBox = new QComboBox(this);
    rangeBox->setObjectName(QStringLiteral("trend_range"));
    for (const Preset &preset : presets())
        rangeBox->addItem(QString::fromUtf8(preset.text));
    rangeBox->addItem(tr("自定义"));
    fromEdit = new QDateTimeEdit(this);
    fromEdit->setObjectName(QStringLiteral("trend_from"));
    toEdit = new QDateTimeEdit(this);
    toEdit->setObjectName(QStringLiteral("trend_to"));
    for (QDateTimeEdit *edit : {fromEdit, toEdit}) {
        edit->setDisplayFormat(QString::fromLatin1(kStampFormat));
        edit->setCalendarPopup(true);
    }
    showButton = new QPushButton(tr("显示"), this);
    showButton->setObjectName(QStringLiteral("trend_show_button"));
    showButton->setDefault(true);

    currentBox = new QCheckBox(tr("显示电流"), this);
    currentBox->setObjectName(QStringLiteral("trend_current"));
    pngButton = new QPushButton(tr("导出图片"), this);
    pngButton->setObjectName(QStringLiteral("trend_png_button"));
    csvButton = new QPushButton(tr("导出CSV"), this);
    csvButton->setObjectName(QStringLiteral("trend_csv_button"));

    trendChart = new TrendChart(this);
    trendChart->setObjectName(QStringLiteral("trend_chart"));
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("trend_status"));
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Eight devices' counts are longer than the row: wrapped, next to the controls, not under.
    statusLabel->setWordWrap(true);
    statusLabel->setMinimumWidth(240);
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);

    auto *choice = new QHBoxLayout;
    choice->addWidget(new QLabel(tr("设备："), this));
    devicesEdit->setMaximumWidth(260);
    choice->addWidget(devicesEdit, 1);
    choice->addWidget(pickButton);
    choice->addSpacing(16);
    choice->addWidget(new QLabel(tr("范围："), this));
    choice->addWidget(rangeBox);
    choice->addWidget(fromEdit);
    choice->addWidget(new QLabel(tr("至"), this));
    choice->addWidget(toEdit);
    choice->addWidget(showButton);
    choice->addStretch();
    auto *shownRow = new QHBoxLayout;
    shownRow->addWidget(statusLabel, 1);
    shownRow->addSpacing(12);
    shownRow->addWidget(currentBox);
    shownRow->addWidget(pngButton);
    shownRow->addWidget(csvButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    // The chart draws the legend (device colours, numbers and names) itself, so the
    // exported picture carries it too.
    layout->addWidget(trendChart, 1);
    layout->addLayout(shownRow);

    const QDateTime now = QDateTime::currentDateTime();
    fromEdit->setDateTime(now.addDays(-1));
    toEdit->setDateTime(now);
    setPreset(kDefaultPreset);

    connect(showButton, &QPushButton::clicked, this, &TrendWindow::showRequested);
    connect(devicesEdit, &QLineEdit::returnPressed, this, &TrendWindow::showRequested);
    connect(rangeBox, QOverload<int>::of(&QComboBox::activated), this, [this]() {
        if (preset() != kCustom)
            emit showRequested();
    });
    connect(fromEdit, &QDateTimeEdit::dateTimeChanged, this, &TrendWindow::customEdited);
    connect(toEdit, &QDateTimeEdit::dateTimeChanged, this, &TrendWindow::customEdited);
    connect(currentBox, &QCheckBox::toggled, trendChart, &TrendChart::setCurrentShown);
    connect(pickButton, &QPushButton::clicked, this, &TrendWindow::openPicker);
    connect(pngButton, &QPushButton::clicked, this, &TrendWindow::exportPngClicked);
    connect(csvButton, &QPushButton::clicked, this, &TrendWindow::exportCsvClicked);
    trendChart->setCurrentShown(false);
    updateExportButtons();
}

TrendWindow::~TrendWindow()
{
    // The file being written must end whole (or not at all) before the window goes.
    if (csvWriting)
        csvWriting->waitForFinished();
    // A window destroyed while shown hides its children after this part of it is gone, and a
    // date edit hidden mid-edit then commits its text and signals.
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
}

bool TrendWindow::parseDevices(const QString &text, QVector<int> *devices, QString *error)
{
    devices->clear();
    static const QRegularExpression separators(QStringLiteral("[,，、;；\\s]+"));
    static const QRegularExpression dash(QStringLiteral("[-–—~～]"));
    const QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        *error = tr("请输入设备号，如 5,6,7 或 5-8");
        return false;
    }
    for (const QString &part : parts) {
        // From the second character on, so "-5" reads as a number, which is out of range.
        const int at = part.indexOf(dash, 1);
        bool firstOk = false, lastOk = true;
        int first = (at > 0 ? part.left(at) : part).toInt(&firstOk);
        int last = first;
        if (at > 0)
            last = part.mid(at + 1).toInt(&lastOk);
        if (!firstOk || !lastOk) {
            *error = tr("无法识别的设备号：%1").arg(quoted(part));
            return false;
        }
        if (first > last)
            std::swap(first, last);
        if (first < kFirstDevice || last > kLastDevice) {
            *error = tr("设备号须在 1 到 200 之间：%1").arg(quoted(part));
            return false;
        }
        for (int device = first; device <= last; ++device) {
            if (devices->contains(device))
                continue;
            if (devices->size() == kMaxDevices) {
                *error = tr("最多可同时显示 %1 台设备").arg(kMaxDevices);
                devices->clear();
                return false;
            }
            devices->append(device);
        }
    }
    return true;
}

QString TrendWindow::devicesText(QVector<int> devices)
{
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    QStringList parts;
    for (int k = 0; k < devices.size();) {
        int end = k;
        while (end + 1 < devices.size() && devices.at(end + 1) == devices.at(end) + 1)
            ++end;
        if (end - k >= 2) {
            parts << QStringLiteral("%1-%2").arg(devices.at(k)).arg(devices.at(end));
        } else {
            for (int j = k; j <= end; ++j)
                parts << QString::number(devices.at(j));
        }
        k = end + 1;
    }
    return parts.join(QLatin1Char(','));
}

QString TrendWindow::deviceLabel(int device, const QString &name)
{
    const QString number = QStringLiteral("%1").arg(device, 3, 10, QLatin1Char('0'));
    QString shortName = name.simplified();
    if (shortName.isEmpty())
        return number;
    if (shortName.size() > kLabelNameLength)
        shortName = shortName.left(kLabelNameLength) + QChar(0x2026);
    return number + QLatin1Char(' ') + shortName;
}

void TrendWindow::setDeviceNames(const std::function<QString(int)> &names)
{
    deviceNames = names;
}

void TrendWindow::setStationName(const std::function<QString()> &name)
{
    stationName = name;
}

void TrendWindow::setExportDirectory(const QString &directory)
{
    exportDirectory = directory;
}

QString TrendWindow::deviceText() const
{
    return devicesEdit->text();
}

void TrendWindow::setDeviceText(const QString &text)
{
    devicesEdit->setText(text);
}

int TrendWindow::preset() const
{
    const int index = rangeBox->currentIndex();
    return index >= 0 && index < presets().size() ? index : kCustom;
}

void TrendWindow::setPreset(int index)
{
    const QSignalBlocker blocker(rangeBox);
    rangeBox->setCurrentIndex(index >= 0 && index < presets().size() ? index : presets().size());
}

QDateTime TrendWindow::customFrom() const
{
    return fromEdit->dateTime();
}

QDateTime TrendWindow::customTo() const
{
    return toEdit->dateTime();
}

void TrendWindow::setRangeShown(qint64 fromMs, qint64 toMs)
{
    const QSignalBlocker fromBlocker(fromEdit);
    const QSignalBlocker toBlocker(toEdit);
    fromEdit->setDateTime(localOf(fromMs));
    toEdit->setDateTime(localOf(toMs));
}

bool TrendWindow::currentShown() const
{
    return currentBox->isChecked();
}

void TrendWindow::customEdited()
{
    setPreset(kCustom);
}

void TrendWindow::showData(const TrendData &data, const QString &status, bool problem)
{
    shown = data;
    trendChart->setData(data);
    showStatus(status, problem);
    updateExportButtons();
    emit dataShown();
}

void TrendWindow::updateData(const TrendData &data, const QString &status, bool problem)
{
    shown = data;
    trendChart->updateData(data);
    showStatus(status, problem);
    updateExportButtons();
    emit dataShown();
}

void TrendWindow::showStatus(const QString &text, bool problem)
{
    statusLabel->setText(text);
    statusLabel->setToolTip(text);
    statusLabel->setStyleSheet(problem ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
}

QString TrendWindow::statusText() const
{
    return statusLabel->text();
}

void TrendWindow::updateExportButtons()
{
    const bool any = !shown.series.isEmpty();
    pngButton->setEnabled(any);
    csvButton->setEnabled(any && !csvWriting);
}

QString TrendWindow::proposedPath(const QString &suffix) const
{
    QVector<int> devices;
    for (const TrendSeries &series : shown.series)
        devices << series.device;
    return QDir(exportDirectory)
        .filePath(TrendExport::fileName(devices, QDateTime::currentDateTime(), suffix));
}

bool TrendWindow::exportCsv(const QString &path)
{
    if (shown.series.isEmpty() || csvWriting)
        return false;
    const QPair<double, double> view = trendChart->view();
    const qint64 fromMs = qMax(shown.fromMs, qint64(std::ceil(view.first)));
    const qint64 toMs = qMin(shown.toMs, qint64(std::floor(view.second)));
    const TrendData data = shown;
    const bool withCurrent = currentShown();
    csvWriting = new QFutureWatcher<QString>(this);
    connect(csvWriting, &QFutureWatcherBase::finished, this, [this, path]() {
        const QString error = csvWriting->result();
        csvWriting->deleteLater();
        csvWriting = nullptr;
        updateExportButtons();
        emit csvExported(path, error);
    });
    // Formatting a year of hours for eight devices takes longer than the GUI thread may stall.
    csvWriting->setFuture(QtConcurrent::run([data, fromMs, toMs, withCurrent, path]() {
        QString error;
        if (WholeFile::write(path, TrendExport::document(data, fromMs, toMs, withCurrent), &error))
            return QString();
        return error.isEmpty() ? QStringLiteral("write failed") : error;
    }));
    updateExportButtons();
    return true;
}

bool TrendWindow::exportPng(const QString &path, QString *error)
{
    if (shown.series.isEmpty())
        return false;
    if (trendChart->savePng(path, pictureTitle()))
        return true;
    *error = tr("无法写入 %1").arg(QDir::toNativeSeparators(path));
    return false;
}

QString TrendWindow::pictureTitle() const
{
    const QPair<double, double> view = trendChart->view();
    return TrendExport::pictureTitle(stationName ? stationName() : QString(), shown,
                                     qint64(std::floor(view.first)), qint64(std::ceil(view.second)));
}

void TrendWindow::exportCsvClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("导出CSV"), proposedPath("csv"),
                                                      tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    // Told once, whichever export this was.
    auto *once = new QObject(this);
    connect(this, &TrendWindow::csvExported, once, [this, once](const QString &, const QString &error) {
        once->deleteLater();
        if (!error.isEmpty())
            QMessageBox::warning(this, tr("提示"), tr("导出失败：%1").arg(error));
    });
    if (!exportCsv(path))
        once->deleteLater();
}

void TrendWindow::exportPngClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("导出图片"), proposedPath("png"),
                                                      tr("PNG 图片 (*.png)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportPng(path, &error))
        QMessageBox::warning(this, tr("提示"), tr("导出失败：%1").arg(error));
}

void TrendWindow::buildPicker()
{
    picker = new QDialog(this);
    picker->setObjectName(QStringLiteral("trend_picker"));
    picker->setWindowTitle(tr("选择设备"));
    pickerList = new QListWidget(picker);
    pickerList->setObjectName(QStringLiteral("trend_picker_list"));
    for (int device = kFirstDevice; device <= kLastDevice; ++device) {
        auto *item = new QListWidgetItem(pickerList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, device);
    }
    pickerCount = new QLabel(picker);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, picker);
    pickerOk = buttons->button(QDialogButtonBox::Ok);
    // Qt's own captions would be English without its translations installed.
    pickerOk->setText(tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    auto *layout = new QVBoxLayout(picker);
    layout->addWidget(pickerList);
    layout->addWidget(pickerCount);
    layout->addWidget(buttons);
    picker->resize(300, 480);
    connect(pickerList, &QListWidget::itemChanged, this, &TrendWindow::pickerChanged);
    connect(buttons, &QDialogButtonBox::accepted, picker, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, picker, &QDialog::reject);
    connect(picker, &QDialog::accepted, this, &TrendWindow::pickerAccepted);
}

void TrendWindow::openPicker()
{
    if (!picker)
        buildPicker();
    QVector<int> chosen;
    QString ignored;
    parseDevices(devicesEdit->text(), &chosen, &ignored);
    {
        const QSignalBlocker blocker(pickerList);
        for (int row = 0; row < pickerList->count(); ++row) {
            QListWidgetItem *item = pickerList->item(row);
            const int device = item->data(Qt::UserRole).toInt();
            item->setText(deviceLabel(device, deviceNames ? deviceNames(device) : QString()));
            item->setCheckState(chosen.contains(device) ? Qt::Checked : Qt::Unchecked);
        }
    }
    pickerChanged();
    picker->open();
}

void TrendWindow::pickerChanged()
{
    int count = 0;
    for (int row = 0; row < pickerList->count(); ++row)
        count += pickerList->item(row)->checkState() == Qt::Checked;
    pickerCount->setText(tr("已选 %1 台（最多 %2 台）").arg(count).arg(kMaxDevices));
    pickerCount->setStyleSheet(count > kMaxDevices ? QStringLiteral("color: rgb(200, 0, 0);")
                                                   : QString());
    pickerOk->setEnabled(count >= 1 && count <= kMaxDevices);
}

void TrendWindow::pickerAccepted()
{
    QVector<int> chosen;
    for (int row = 0; row < pickerList->count(); ++row) {
        if (pickerList->item(row)->checkState() == Qt::Checked)
            chosen << pickerList->item(row)->data(Qt::UserRole).toInt();
    }
    devicesEdit->setText(devicesText(chosen));
    emit showRequested();
}
