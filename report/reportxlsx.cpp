#include "report/reportxlsx.h"

#include "core/walltime.h"
#include "core/wholefile.h"
#include "report/reportterms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <initializer_list>
#include <xlsxwriter.h>

namespace {

struct XlsxColumn
{
    const char *header;
    double width; // in characters, a Chinese one counting two
};

struct XlsxFormats
{
    lxw_format *header = nullptr;
    lxw_format *integer = nullptr;
    lxw_format *oneDecimal = nullptr;
    lxw_format *twoDecimals = nullptr;
    lxw_format *percent = nullptr;
};

// Fills one sheet left to right, a row at a time, under its header row. The library's first
// refusal is kept for the caller, as a cell it refused would otherwise vanish silently.
class XlsxSheet
{
public:
    XlsxSheet(lxw_workbook *book, const char *name, const XlsxFormats &formats,
              std::initializer_list<XlsxColumn> columns, lxw_error *failure)
        : sheet(workbook_add_worksheet(book, name)), firstFailure(failure)
    {
        if (!sheet) {
            keep(LXW_ERROR_MEMORY_MALLOC_FAILED);
            return;
        }
        for (const XlsxColumn &c : columns) {
            keep(worksheet_set_column(sheet, column, column, c.width, nullptr));
            keep(worksheet_write_string(sheet, 0, column++, c.header, formats.header));
        }
        worksheet_freeze_panes(sheet, 1, 0);
        nextRow();
    }

    void text(const QString &value)
    {
        if (sheet && !value.isEmpty())
            keep(worksheet_write_string(sheet, row, column, value.toUtf8().constData(), nullptr));
        ++column;
    }

    void number(double value, lxw_format *format)
    {
        if (sheet && std::isfinite(value))
            keep(worksheet_write_number(sheet, row, column, value, format));
        ++column;
    }

    void stamp(qint64 wallMs, bool known = true) { text(known ? WallTime::stamp(wallMs) : QString()); }

    void nextRow()
    {
        ++row;
        column = 0;
    }

private:
    void keep(lxw_error result)
    {
        if (result != LXW_NO_ERROR && *firstFailure == LXW_NO_ERROR)
            *firstFailure = result;
    }

    lxw_worksheet *sheet;
    lxw_error *firstFailure;
    lxw_row_t row = 0;
    lxw_col_t column = 0;
};

const double kXlsxNoValue = std::nan("");

lxw_format *xlsxNumberFormat(lxw_workbook *book, const char *pattern)
{
    lxw_format *format = workbook_add_format(book);
    format_set_num_format(format, pattern);
    return format;
}

void writeXlsxSummary(lxw_workbook *book, const XlsxFormats &f, const ReportData &data, lxw_error *failure)
{
    XlsxSheet s(book, "概况", f, {{"项目", 18}, {"内容", 44}}, failure);
    const auto line = [&s](const char *label, const QString &value) {
        s.text(QString::fromUtf8(label));
        s.text(value);
        s.nextRow();
    };
    const auto figure = [&s](const char *label, double value, lxw_format *format) {
        s.text(QString::fromUtf8(label));
        s.number(value, format);
        s.nextRow();
    };
    const bool isDay = data.period.length() == ReportPeriod::Length::Day;
    line("站名", data.stationName);
    line("报表", (isDay ? QStringLiteral("日报 ") : QStringLiteral("月报 ")) + data.period.text());
    line("统计时段", WallTime::stamp(data.fromMs) + QStringLiteral(" 至 ") + WallTime::stamp(data.toMs));
    line("数据来源", ReportTerms::sourceName(data.source));
    line("生成时间", data.made.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    line("版本", data.version);
    const ReportLink &link = data.link;
    figure("通讯可用率", link.known ? link.availableShare : kXlsxNoValue, f.percent);
    figure("监测站运行（分钟）", link.known ? link.runningMs / 60000.0 : kXlsxNoValue, f.oneDecimal);
    figure("运行情况未知（分钟）", link.known ? link.unknownMs / 60000.0 : kXlsxNoValue, f.oneDecimal);
    figure("通讯中断（分钟）", link.known ? link.outageMs / 60000.0 : kXlsxNoValue, f.oneDecimal);
    figure("通讯中断次数", link.known ? link.outages : kXlsxNoValue, f.integer);
    figure("最长中断（分钟）", link.known ? link.longestOutageMs / 60000.0 : kXlsxNoValue, f.oneDecimal);
    s.text(QStringLiteral("最长中断开始"));
    s.stamp(link.longestOutageStartMs, link.known && link.longestOutageMs > 0);
    s.nextRow();
    for (const QString &note : data.notes)
        line("备注", note);
}

void writeXlsxDevices(lxw_workbook *book, const XlsxFormats &f, const ReportData &data, lxw_error *failure)
{
    XlsxSheet s(book, "设备", f,
                {{"设备号", 8}, {"名称", 16}, {"安装部位", 16}, {"柜组", 14}, {"温度最低 ℃", 12},
                 {"温度平均 ℃", 12}, {"温度最高 ℃", 12}, {"最高温度时间", 20}, {"电流最低 A", 11},
                 {"电流平均 A", 11}, {"电流最高 A", 11}, {"有数据分钟", 12}, {"温度报警分钟", 14}},
                failure);
    for (const ReportDevice &d : data.devices) {
        s.number(d.device, f.integer);
        s.text(d.name);
        s.text(d.location);
        s.text(d.cabinetGroups.join(QStringLiteral("、")));
        s.number(d.temperature.min, f.oneDecimal);
        s.number(d.temperature.mean, f.oneDecimal);
        s.number(d.temperature.max, f.oneDecimal);
        s.stamp(d.temperature.maxMs, d.temperature.minutes > 0);
        s.number(d.current.min, f.twoDecimals);
        s.number(d.current.mean, f.twoDecimals);
        s.number(d.current.max, f.twoDecimals);
        s.number(d.temperature.minutes, f.integer);
        s.number(d.temperatureAlarmMinutes, f.oneDecimal);
        s.nextRow();
    }
}

void writeXlsxHottest(lxw_workbook *book, const XlsxFormats &f, const ReportData &data, lxw_error *failure)
{
    XlsxSheet s(book, "最热设备", f, {{"设备号", 8}, {"名称", 16}, {"最高温度 ℃", 12}, {"最高温度时间", 20}},
                failure);
    for (const ReportSeries &series : data.hottest) {
        for (const ReportDevice &d : data.devices) {
            if (d.device != series.device)
                continue;
            s.number(d.device, f.integer);
            s.text(d.name);
            s.number(d.temperature.max, f.oneDecimal);
            s.stamp(d.temperature.maxMs, d.temperature.minutes > 0);
            s.nextRow();
        }
    }
}

void writeXlsxAlarms(lxw_workbook *book, const XlsxFormats &f, const ReportData &data, lxw_error *failure)
{
    {
        XlsxSheet s(book, "报警统计", f, {{"类别", 12}, {"级别", 8}, {"次数", 8}}, failure);
        for (const ReportAlarmCount &c : data.alarmCounts) {
            s.text(ReportTerms::kindName(c.kind));
            s.text(ReportTerms::levelName(c.level));
            s.number(c.count, f.integer);
            s.nextRow();
        }
    }
    XlsxSheet s(book, "报警明细", f,
                {{"设备号", 8}, {"柜组", 12}, {"报警内容", 24}, {"级别", 8}, {"开始", 20}, {"结束", 20},
                 {"持续（分钟）", 14}, {"峰值", 10}, {"单位", 8}, {"峰值来源", 10}, {"跨统计周期", 20},
                 {"确认时间", 20}},
                failure);
    for (const ReportAlarm &a : data.alarms) {
        // Device 0 is the link or a cabinet group, which the alarm's text names.
        s.number(a.device > 0 ? a.device : kXlsxNoValue, f.integer);
        s.text(a.group);
        s.text(a.text);
        s.text(ReportTerms::levelName(a.level));
        s.stamp(a.startMs);
        if (a.open)
            s.text(QStringLiteral("未恢复"));
        else
            s.stamp(a.endMs);
        s.number(a.durationMs / 60000.0, f.oneDecimal);
        const int decimals = ReportTerms::peakDecimals(a.kind);
        s.number(a.peak, decimals == 0 ? f.integer : decimals == 1 ? f.oneDecimal : f.twoDecimals);
        s.text(qIsNaN(a.peak) ? QString() : ReportTerms::peakUnit(a.kind));
        s.text(ReportTerms::peakSourceName(a));
        QStringList crossing;
        if (a.beganBefore)
            crossing << QStringLiteral("期前开始");
        if (a.endedAfter)
            crossing << QStringLiteral("期后恢复");
        s.text(crossing.join(QStringLiteral("、")));
        s.stamp(a.acknowledgedMs, a.acknowledged);
        s.nextRow();
    }
}

// A zip archive ends in its end-of-central-directory record; the library writes no comment
// after it, so a workbook cut short anywhere lacks it at its place.
bool xlsxIsWholeZip(const QByteArray &bytes)
{
    return bytes.startsWith("PK\x03\x04") && bytes.size() >= 22
        && bytes.mid(bytes.size() - 22, 4) == QByteArray("PK\x05\x06");
}

// The library names a failure of its zip writer ("Zip generic error"), not its cause; the
// cause is what the system said to its last write, or a disk with no room left.
QString xlsxReason(lxw_error failure, int closeErrno, const QString &folder)
{
    switch (closeErrno) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EACCES:
    case EROFS:
    case EIO:
    case EFBIG:
        return qt_error_string(closeErrno);
    default:
        break;
    }
    const QString full = WholeFile::fullDiskReason(folder);
    return full.isEmpty() ? QString::fromUtf8(lxw_strerror(failure)) : full;
}

QByteArray xlsxFileName(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toUtf8(); // the library opens UTF-8 names on Windows
#else
    return QFile::encodeName(path);
#endif
}

} // namespace

bool ReportXlsx::write(const ReportData &data, const QString &path, QString *error)
{
    const auto fail = [error, &path](const QString &reason) {
        QFile::remove(path);
        if (error)
            *error = reason;
        return false;
    };
    if (data.cancelled)
        return fail(QStringLiteral("the report was cancelled"));

    // Made here first, so a folder that cannot be written is said as such, not as the
    // library's guess.
    const QFileInfo target(path);
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return fail(QStringLiteral("cannot write in %1: %2")
                            .arg(QDir::toNativeSeparators(target.absolutePath()), probe.errorString()));
    }

    // The library's own scratch files beside it too, as the system's temporary folder may be
    // out of reach (the root of C: on Windows) or too small.
    QByteArray scratch = xlsxFileName(target.absolutePath());
    lxw_workbook_options options = {0, scratch.data(), 0};
    lxw_workbook *book = workbook_new_opt(xlsxFileName(path).constData(), &options);
    if (!book)
        return fail(QStringLiteral("cannot make a workbook"));
    XlsxFormats formats;
    formats.header = workbook_add_format(book);
    format_set_bold(formats.header);
    format_set_bottom(formats.header, LXW_BORDER_THIN);
    formats.integer = xlsxNumberFormat(book, "0");
    formats.oneDecimal = xlsxNumberFormat(book, "0.0");
    formats.twoDecimals = xlsxNumberFormat(book, "0.00");
    formats.percent = xlsxNumberFormat(book, "0.00%");
    lxw_error failure = LXW_NO_ERROR;
    writeXlsxSummary(book, formats, data, &failure);
    writeXlsxDevices(book, formats, data, &failure);
    writeXlsxHottest(book, formats, data, &failure);
    writeXlsxAlarms(book, formats, data, &failure);
    errno = 0;
    const lxw_error closed = workbook_close(book);
    const int closeErrno = errno;
    if (failure == LXW_NO_ERROR)
        failure = closed;
    if (failure != LXW_NO_ERROR)
        return fail(xlsxReason(failure, closeErrno, target.absolutePath()));

    QFile written(path);
    if (!written.open(QIODevice::ReadOnly))
        return fail(written.errorString());
    if (!xlsxIsWholeZip(written.readAll()) || written.error() != QFileDevice::NoError)
        return fail(QStringLiteral("the workbook was not written whole"));
    return true;
}
