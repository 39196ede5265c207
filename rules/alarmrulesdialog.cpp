#include "rules/alarmrulesdialog.h"

#include "config/cabinetgroupscsv.h"
#include "core/wholefile.h"
#include "station/station.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QShowEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

constexpr int kGroupColumns = 5; // name, A, B, C, ambient
// A thousand groups take some 40 kB; anything far larger is not a groups file.
constexpr qint64 kLargestImport = 1024 * 1024;
const QColor kNotJudged(200, 0, 0);

QPushButton *rulesButton(const char *name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QDoubleSpinBox *numberBox(const QString &name, double lowest, double highest, QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(lowest, highest);
    box->setDecimals(1);
    return box;
}

QSpinBox *wholeBox(const QString &name, int lowest, int highest, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(lowest, highest);
    return box;
}

QString groupCellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

QString limitText(float limit)
{
    return QString::number(double(limit));
}

} // namespace

AlarmRulesDialog::AlarmRulesDialog(Station *stationToEdit, QWidget *parent)
    : QDialog(parent), station(stationToEdit)
{
    setObjectName(QStringLiteral("AlarmRulesDialog"));
    setWindowTitle(tr("报警规则"));
    resize(960, 600);

    groupTable = new QTableWidget(0, kGroupColumns, this);
    groupTable->setObjectName(QStringLiteral("rules_groups"));
    groupTable->setHorizontalHeaderLabels({tr("柜组"), tr("A相"), tr("B相"), tr("C相"), tr("环境")});
    groupTable->setColumnWidth(0, 130);
    for (int column = 1; column < kGroupColumns; ++column)
        groupTable->setColumnWidth(column, 52);
    groupTable->horizontalHeader()->setStretchLastSection(true);
    addButton = rulesButton("rules_add_group", tr("添加"), this);
    deleteButton = rulesButton("rules_delete_group", tr("删除"), this);
    importButton = rulesButton("rules_import", tr("导入"), this);
    exportButton = rulesButton("rules_export", tr("导出"), this);

    auto limitFields = [this](const char *prefix, double highest) {
        const QString name = QLatin1String(prefix);
        return LimitFields{numberBox(name + QStringLiteral("_warning"), 0, highest, this),
                           numberBox(name + QStringLiteral("_alarm"), 0, highest, this),
                           numberBox(name + QStringLiteral("_deadband"), 0, 50, this),
                           wholeBox(name + QStringLiteral("_delay"), 0, 86400, this)};
    };
    phase = limitFields("rules_phase", 300);
    ambient = limitFields("rules_ambient", 300);
    rate = limitFields("rules_rate", 100);
    rateOn = new QCheckBox(tr("启用温升速率"), this);
    rateOn->setObjectName(QStringLiteral("rules_rate_on"));
    rateWindow = wholeBox(QStringLiteral("rules_rate_window"), 60, 3600, this);
    idleOverAmbient = numberBox(QStringLiteral("rules_idle_over_ambient"), 0, 300, this);
    idleWithoutAmbient = numberBox(QStringLiteral("rules_idle_without_ambient"), 0, 300, this);

    warningDeadband = numberBox(QStringLiteral("rules_warning_deadband"), 0, 50, this);
    warningDelay = wholeBox(QStringLiteral("rules_warning_delay"), 0, 86400, this);
    firstDevice = wholeBox(QStringLiteral("rules_warning_first"), 1, kDevices, this);
    lastDevice = wholeBox(QStringLiteral("rules_warning_last"), 1, kDevices, this);
    lastDevice->setValue(kDevices);
    warningLimit = numberBox(QStringLiteral("rules_warning_limit"), -60, 300, this);
    warningLimit->setValue(70);
    setWarningButton = rulesButton("rules_warning_set", tr("设置"), this);
    clearWarningButton = rulesButton("rules_warning_clear", tr("取消预警"), this);
    warningTable = new QTableWidget(0, 3, this);
    warningTable->setObjectName(QStringLiteral("rules_warnings"));
    warningTable->setHorizontalHeaderLabels({tr("设备"), tr("预警值(℃)"), tr("温度上限(℃)")});
    warningTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    warningTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    warningTable->verticalHeader()->hide();
    warningTable->horizontalHeader()->setStretchLastSection(true);

    message = new QLabel(this);
    message->setObjectName(QStringLiteral("rules_message"));
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    saveButton = rulesButton("rules_save", tr("保存"), this);
    closeButton = rulesButton("rules_close", tr("返回"), this);

    auto *groupButtons = new QHBoxLayout;
    groupButtons->addWidget(addButton);
    groupButtons->addWidget(deleteButton);
    groupButtons->addStretch();
    groupButtons->addWidget(importButton);
    groupButtons->addWidget(exportButton);
    auto *groupBox = new QGroupBox(tr("柜组"), this);
    auto *groupLayout = new QVBoxLayout(groupBox);
    groupLayout->addWidget(groupTable, 1);
    groupLayout->addLayout(groupButtons);

    auto *rulesBox = new QGroupBox(tr("联合规则"), this);
    auto *grid = new QGridLayout(rulesBox);
    const QStringList headings = {tr("预警"), tr("报警"), tr("回差"), tr("延时(秒)")};
    for (int column = 0; column < headings.size(); ++column)
        grid->addWidget(new QLabel(headings.at(column), rulesBox), 0, column + 1);
    auto addLimits = [grid, rulesBox](int row, const QString &caption, const LimitFields &fields) {
        grid->addWidget(new QLabel(caption, rulesBox), row, 0);
        grid->addWidget(fields.warning, row, 1);
        grid->addWidget(fields.alarm, row, 2);
        grid->addWidget(fields.deadband, row, 3);
        grid->addWidget(fields.delay, row, 4);
    };
    addLimits(1, tr("相间温差(℃)"), phase);
    addLimits(2, tr("环境温升(℃)"), ambient);
    addLimits(3, tr("温升速率(℃/分)"), rate);
    grid->addWidget(rateOn, 4, 0);
    grid->addWidget(new QLabel(tr("计算窗口(秒)"), rulesBox), 4, 1, Qt::AlignRight);
    grid->addWidget(rateWindow, 4, 2);
    // The phases of a cold cabinet differ by the sensors' noise alone.
    grid->addWidget(new QLabel(tr("空载的柜组不判相间温差："), rulesBox), 5, 0, 1, 5);
    auto *idle = new QHBoxLayout;
    idle->addWidget(new QLabel(tr("最热相高出环境不足"), rulesBox));
    idle->addWidget(idleOverAmbient);
    idle->addWidget(new QLabel(tr("℃，或无环境设备时低于"), rulesBox));
    idle->addWidget(idleWithoutAmbient);
    idle->addWidget(new QLabel(tr("℃"), rulesBox));
    idle->addStretch();
    grid->addLayout(idle, 6, 0, 1, 5);

    auto *warningBox = new QGroupBox(tr("温度预警"), this);
    auto *timing = new QHBoxLayout;
    timing->addWidget(new QLabel(tr("回差(℃)"), warningBox));
    timing->addWidget(warningDeadband);
    timing->addSpacing(12);
    timing->addWidget(new QLabel(tr("延时(秒)"), warningBox));
    timing->addWidget(warningDelay);
    timing->addStretch();
    auto *range = new QHBoxLayout;
    range->addWidget(new QLabel(tr("设备"), warningBox));
    range->addWidget(firstDevice);
    range->addWidget(new QLabel(tr("至"), warningBox));
    range->addWidget(lastDevice);
    range->addSpacing(12);
    range->addWidget(new QLabel(tr("预警值(℃)"), warningBox));
    range->addWidget(warningLimit);
    range->addStretch();
    range->addWidget(setWarningButton);
    range->addWidget(clearWarningButton);
    auto *warningNote = new QLabel(tr("预警值须低于该设备的温度上限，否则不判定（红色行）。"),
                                   warningBox);
    warningNote->setWordWrap(true);
    auto *warningLayout = new QVBoxLayout(warningBox);
    warningLayout->addLayout(timing);
    warningLayout->addLayout(range);
    warningLayout->addWidget(warningTable, 1);
    warningLayout->addWidget(warningNote);

    auto *right = new QVBoxLayout;
    right->addWidget(rulesBox);
    right->addWidget(warningBox, 1);
    auto *columns = new QHBoxLayout;
    columns->addWidget(groupBox, 4);
    columns->addLayout(right, 5);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(message, 1);
    buttons->addWidget(saveButton);
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    connect(addButton, &QPushButton::clicked, this, &AlarmRulesDialog::addGroup);
    connect(deleteButton, &QPushButton::clicked, this, &AlarmRulesDialog::deleteGroups);
    connect(importButton, &QPushButton::clicked, this, &AlarmRulesDialog::importGroups);
    connect(exportButton, &QPushButton::clicked, this, &AlarmRulesDialog::exportGroups);
    connect(setWarningButton, &QPushButton::clicked, this, &AlarmRulesDialog::setWarningLimit);
    connect(clearWarningButton, &QPushButton::clicked, this, &AlarmRulesDialog::clearWarningLimit);
    connect(warningTable, &QTableWidget::cellClicked, this, &AlarmRulesDialog::warningChosen);
    connect(saveButton, &QPushButton::clicked, this, &AlarmRulesDialog::save);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AlarmRulesDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Restoring a minimised dialog keeps the edits; a new opening starts from the station.
    if (event->spontaneous())
        return;
    showGroups(station->cabinetGroups());
    showSettings(station->jointRuleSettings());
    tell(QString());
}

void AlarmRulesDialog::showGroups(const QVector<CabinetGroup> &groups)
{
    auto cell = [](int device) {
        return new QTableWidgetItem(device ? QString::number(device) : QString());
    };
    groupTable->clearContents();
    groupTable->setRowCount(groups.size());
    for (int row = 0; row < groups.size(); ++row) {
        const CabinetGroup &group = groups.at(row);
        groupTable->setItem(row, 0, new QTableWidgetItem(group.name));
        for (int k = 0; k < 3; ++k)
            groupTable->setItem(row, k + 1, cell(group.phases[size_t(k)]));
        groupTable->setItem(row, 4, cell(group.ambient));
    }
}

void AlarmRulesDialog::showSettings(const JointRuleSettings &settings)
{
    auto showLimits = [](const LimitFields &fields, const JointRuleSettings::Limits &limits) {
        fields.warning->setValue(double(limits.warning));
        fields.alarm->setValue(double(limits.alarm));
        fields.deadband->setValue(double(limits.deadband));
        fields.delay->setValue(limits.delaySeconds);
    };
    showLimits(phase, settings.phaseDifference);
    showLimits(ambient, settings.ambientRise);
    showLimits(rate, settings.rateOfRise);
    rateOn->setChecked(settings.rateOfRiseOn);
    rateWindow->setValue(settings.rateWindowSeconds);
    idleOverAmbient->setValue(double(settings.idleRiseOverAmbient));
    idleWithoutAmbient->setValue(double(settings.idleWithoutAmbient));
    warningDeadband->setValue(double(settings.warningDeadband));
    warningDelay->setValue(settings.warningDelaySeconds);
    warningLimits = settings.warningLimit;
    showWarnings();
}

void AlarmRulesDialog::showWarnings()
{
    warningTable->setRowCount(0);
    for (int device = 1; device <= kDevices; ++device) {
        const float limit = warningLimits[size_t(device - 1)];
        if (qIsNaN(limit))
            continue;
        const float upper = station->upperTemperatureLimitOf(device);
        const int row = warningTable->rowCount();
        warningTable->insertRow(row);
        const QString texts[] = {QString::number(device), limitText(limit), limitText(upper)};
        for (int column = 0; column < 3; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            // The station judges a warning only below the upper limit; red and said, as
            // colour alone tells nothing to some.
            if (limit >= upper) {
                item->setForeground(kNotJudged);
                item->setToolTip(tr("预警值不低于温度上限 %1 ℃，不判定").arg(limitText(upper)));
            }
            warningTable->setItem(row, column, item);
        }
    }
}

void AlarmRulesDialog::addGroup()
{
    const int row = groupTable->rowCount();
    if (row >= CabinetGroupsCsv::kMaxGroups) {
        refuse(tr("柜组最多 %1 个").arg(CabinetGroupsCsv::kMaxGroups));
        return;
    }
    groupTable->insertRow(row);
    for (int column = 0; column < kGroupColumns; ++column)
        groupTable->setItem(row, column, new QTableWidgetItem);
    groupTable->setCurrentCell(row, 0);
    groupTable->editItem(groupTable->item(row, 0));
}

void AlarmRulesDialog::deleteGroups()
{
    QSet<int> rows;
    for (const QModelIndex &index : groupTable->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    QList<int> ordered = rows.values();
    std::sort(ordered.begin(), ordered.end(), std::greater<int>());
    for (int row : ordered)
        groupTable->removeRow(row);
}

bool AlarmRulesDialog::editedGroups(QVector<CabinetGroup> *groups)
{
    QHash<QString, int> rowOfName;
    for (int row = 0; row < groupTable->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < kGroupColumns; ++column)
            cells << groupCellText(groupTable, row, column);
        // Skipped as the file's lines of empty cells are.
        if (cells.join(QString()).isEmpty())
            continue;
        auto bad = [this, row](int column, const QString &problem) {
            groupTable->setCurrentCell(row, column);
            groupTable->setFocus();
            refuse(problem);
            return false;
        };
        CabinetGroup group;
        group.name = cells.at(0);
        if (group.name.isEmpty())
            return bad(0, tr("第 %1 行：柜组名称不能为空").arg(row + 1));
        if (rowOfName.contains(group.name))
            return bad(0, tr("第 %1 行：柜组“%2”与第 %3 行重名")
                              .arg(row + 1).arg(group.name).arg(rowOfName.value(group.name) + 1));
        QSet<int> devices;
        for (int column = 1; column < kGroupColumns; ++column) {
            if (cells.at(column).isEmpty())
                continue;
            bool number = false;
            const int device = cells.at(column).toInt(&number, 10);
            if (!number || device < 1 || device > kDevices)
                return bad(column, tr("第 %1 行 %2：“%3”不是 1～%4 的设备号")
                                       .arg(row + 1).arg(groupTable->horizontalHeaderItem(column)->text())
                                       .arg(cells.at(column)).arg(kDevices));
            if (devices.contains(device))
                return bad(column, tr("第 %1 行：设备 %2 在本组出现了两次").arg(row + 1).arg(device));
            devices.insert(device);
            if (column < 4)
                group.phases[size_t(column - 1)] = device;
            else
                group.ambient = device;
        }
        if (group.phases == std::array<int, 3>{})
            return bad(1, tr("第 %1 行：至少要有一相设备").arg(row + 1));
        rowOfName.insert(group.name, row);
        groups->append(group);
    }
    return true;
}

bool AlarmRulesDialog::editedSettings(JointRuleSettings *settings)
{
    // Whatever the dialog does not show is kept as the station has it.
    *settings = station->jointRuleSettings();
    struct Rule
    {
        QString name;
        const LimitFields &fields;
        JointRuleSettings::Limits &limits;
    };
    const Rule rules[] = {{tr("相间温差"), phase, settings->phaseDifference},
                          {tr("环境温升"), ambient, settings->ambientRise},
                          {tr("温升速率"), rate, settings->rateOfRise}};
    for (const Rule &rule : rules) {
        if (rule.fields.warning->value() >= rule.fields.alarm->value()) {
            rule.fields.warning->setFocus();
            rule.fields.warning->selectAll();
            refuse(tr("%1：预警值须低于报警值").arg(rule.name));
            return false;
        }
        rule.limits = {float(rule.fields.warning->value()), float(rule.fields.alarm->value()),
                       float(rule.fields.deadband->value()), rule.fields.delay->value()};
    }
    settings->rateOfRiseOn = rateOn->isChecked();
    settings->rateWindowSeconds = rateWindow->value();
    settings->idleRiseOverAmbient = float(idleOverAmbient->value());
    settings->idleWithoutAmbient = float(idleWithoutAmbient->value());
    settings->warningDeadband = float(warningDeadband->value());
    settings->warningDelaySeconds = warningDelay->value();
    settings->warningLimit = warningLimits;
    return true;
}

void AlarmRulesDialog::refuse(const QString &problem)
{
    message->setStyleSheet(QStringLiteral("color: #c00000;"));
    message->setText(problem);
}

void AlarmRulesDialog::tell(const QString &news)
{
    message->setStyleSheet(QString());
    message->setText(news);
}

void AlarmRulesDialog::importGroups()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("导入柜组"), station->dataDirectory(),
                                                      tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(tr("未能读取 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    if (file.size() > kLargestImport) {
        refuse(tr("未导入：文件超过 1 MB，不是柜组文件"));
        return;
    }
    const CabinetGroupsCsv::Result parsed = CabinetGroupsCsv::parse(file.readAll());
    if (parsed.badLine) {
        // The parser's words are the command line's; the line number is what matters here.
        refuse(tr("未导入，第 %1 行：%2").arg(parsed.badLine).arg(parsed.problem));
        return;
    }
    showGroups(parsed.groups);
    tell(tr("已导入 %1 个柜组，保存后生效").arg(parsed.groups.size()));
}

void AlarmRulesDialog::exportGroups()
{
    QVector<CabinetGroup> groups;
    if (!editedGroups(&groups))
        return;
    const QString proposed = QDir(station->dataDirectory()).filePath(QStringLiteral("cabinet-groups.csv"));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出柜组"), proposed, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (WholeFile::write(path, CabinetGroupsCsv::format(groups), &error))
        tell(tr("已导出 %1 个柜组").arg(groups.size()));
    else
        refuse(tr("导出失败：%1").arg(error));
}

void AlarmRulesDialog::applyToRange(float limit)
{
    const int first = qMin(firstDevice->value(), lastDevice->value());
    const int last = qMax(firstDevice->value(), lastDevice->value());
    for (int device = first; device <= last; ++device)
        warningLimits[size_t(device - 1)] = limit;
    showWarnings();
}

void AlarmRulesDialog::setWarningLimit()
{
    applyToRange(float(warningLimit->value()));
}

void AlarmRulesDialog::clearWarningLimit()
{
    applyToRange(qQNaN());
}

void AlarmRulesDialog::warningChosen(int row)
{
    const int device = warningTable->item(row, 0)->text().toInt();
    firstDevice->setValue(device);
    lastDevice->setValue(device);
    warningLimit->setValue(double(warningLimits[size_t(device - 1)]));
}

void AlarmRulesDialog::save()
{
    QVector<CabinetGroup> groups;
    JointRuleSettings settings;
    if (!editedGroups(&groups) || !editedSettings(&settings))
        return;
    QString error;
    if (!station->setJointRules(groups, settings, &error)) {
        refuse(tr("未能保存，规则未改变：%1").arg(error));
        return;
    }
    accept();
}
