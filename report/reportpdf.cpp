#include "report/reportpdf.h"

#include "core/walltime.h"
#include "report/reportchart.h"
#include "report/reportterms.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontDatabase>
#include <QHash>
#include <QMap>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextDocument>
#include <QTextTable>
#include <algorithm>
#include <cmath>

namespace {

// The layout works in the writer's own pixels, so text is measured as it will be printed.
constexpr int kPdfDpi = 300;
constexpr qreal kPdfFooterMm = 8;
constexpr int kPdfHeadingMark = QTextFormat::UserProperty + 10;
// Qt draws a long table's repeated header once per page for each page drawn, and lays it out
// in more than linear time: a month of a chattering sensor (12,000 alarms) took a minute and
// 270 pages. The pages to sign list the longest; the workbook lists them all.
constexpr int kPdfAlarmRows = 500;

qreal pdfMm(qreal mm)
{
    return mm * kPdfDpi / 25.4;
}

qreal pdfPt(qreal points)
{
    return points * kPdfDpi / 72.0;
}

// A stamp as short as the header lets it be: the time alone inside a day's report, the
// month and day inside a month's; a stamp of another year whole.
QString pdfTime(const ReportData &data, qint64 wallMs)
{
    const QString stamp = WallTime::stamp(wallMs);
    const bool day = data.period.length() == ReportPeriod::Length::Day;
    if (day && stamp.startsWith(data.period.firstDay().toString(QStringLiteral("yyyy-MM-dd"))))
        return stamp.mid(11);
    return stamp.startsWith(data.period.text().left(5)) ? stamp.mid(5) : stamp;
}

// The date (or year) is in the header; a table keeps to what changes.
QString pdfShortTime(const ReportData &data, qint64 wallMs)
{
    const QString stamp = WallTime::stamp(wallMs);
    return data.period.length() == ReportPeriod::Length::Day ? stamp.mid(11, 5) : stamp.mid(5, 11);
}

QString pdfPeriodText(const ReportPeriod &period)
{
    return (period.length() == ReportPeriod::Length::Day ? QStringLiteral("日报 ") : QStringLiteral("月报 ")) +
           period.text();
}

// Two lines where a heading would otherwise break inside a word.
QString pdfLines(const char *first, const char *second)
{
    return QString::fromUtf8(first) + QChar(QChar::LineSeparator) + QString::fromUtf8(second);
}

QFont pdfBaseFont()
{
    // Its CJK glyphs are what a Chinese report needs; elsewhere the system's match for them.
    const QString family = QStringLiteral("WenQuanYi Micro Hei");
    QFont font = QFontDatabase().families().contains(family) ? QFont(family) : QFont();
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(7.5);
    return font;
}

QTextCharFormat pdfChars(const QFont &base, qreal points, bool bold = false)
{
    QFont font(base);
    font.setPointSizeF(points);
    font.setBold(bold);
    QTextCharFormat format;
    format.setFont(font);
    return format;
}

// A new paragraph, or the empty one the document or a table left at the end.
void pdfParagraph(QTextCursor &cursor, const QString &text, const QTextCharFormat &chars,
                  const QTextBlockFormat &block = QTextBlockFormat())
{
    if (cursor.block().length() <= 1)
        cursor.setBlockFormat(block);
    else
        cursor.insertBlock(block);
    cursor.insertText(text, chars);
}

void pdfHeading(QTextCursor &cursor, const QString &text, const QFont &base)
{
    QTextBlockFormat block;
    block.setTopMargin(pdfMm(3));
    block.setBottomMargin(pdfMm(1.5));
    block.setProperty(kPdfHeadingMark, true);
    // Qt drops the top margin of the block that follows a table; that empty block stays a gap.
    cursor.insertBlock(block);
    cursor.insertText(text, pdfChars(base, 11, true));
}

// Qt keeps nothing with what follows it: a heading that would end a page starts the next, and
// so does one whose table Qt moved, header and all, to the next page for its first row.
void pdfKeepHeadingsWithNext(QTextDocument &document, qreal pageHeight)
{
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!block.blockFormat().boolProperty(kPdfHeadingMark))
            continue;
        const QRectF rect = layout->blockBoundingRect(block);
        const qreal pageEnd = (std::floor(rect.top() / pageHeight) + 1) * pageHeight;
        QTextBlock next = block.next();
        while (next.isValid() && !QTextCursor(next).currentTable() &&
               !next.blockFormat().boolProperty(kPdfHeadingMark))
            next = next.next();
        const bool tableMoved = next.isValid() && QTextCursor(next).currentTable() &&
                                layout->blockBoundingRect(next).top() >= pageEnd;
        if (tableMoved || pageEnd - rect.bottom() < pdfMm(25)) {
            QTextBlockFormat format = block.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).setBlockFormat(format);
        }
    }
}

// A cell's lines as tall as the layout stacks them, wherever page breaks have put them.
qreal pdfCellHeight(const QTextDocument &document, const QTextTableCell &cell)
{
    qreal height = 0;
    for (QTextBlock block = document.findBlock(cell.firstPosition());
         block.isValid() && block.position() <= cell.lastPosition(); block = block.next()) {
        const QTextLayout *lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i)
            height += std::ceil(lines->lineAt(i).height());
    }
    return height;
}

// Qt moves a table row to the next page only if the first line of every cell would cross the
// page's end; else it moves just the lines that do not fit, and the row runs on under the next
// page's repeated header. So each cell of a row with a taller cell (a chart, wrapped text)
// starts with a line as tall as the row's text that takes no room: it crosses the page's end
// exactly when the row would, wherever the row ends up. Costs one more layout of the tables.
void pdfKeepRowsWhole(QTextDocument &document)
{
    struct Row
    {
        QTextTable *table;
        int row;
        qreal height;
    };
    QVector<Row> rows;
    document.pageCount(); // Qt may lay out the end later; the lines are read now
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        for (int row = table->format().headerRowCount(); row < table->rows(); ++row) {
            qreal tallest = 0, firstLine = qInf();
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                if (cell.row() != row || cell.column() != column)
                    continue;
                const QTextLayout *lines = document.findBlock(cell.firstPosition()).layout();
                const qreal first = lines->lineCount() ? std::ceil(lines->lineAt(0).height()) : 0;
                firstLine = std::min(firstLine, first);
                tallest = std::max(tallest, pdfCellHeight(document, cell));
            }
            if (firstLine < tallest)
                rows.append({table, row, tallest});
        }
    }
    // Qt tests a line against the page's end by its height, but moves on by its line height.
    QTextBlockFormat flat;
    flat.setLineHeight(0, QTextBlockFormat::ProportionalHeight);
    QTextCursor edit(&document);
    edit.beginEditBlock();
    for (const Row &r : qAsConst(rows)) {
        for (int column = 0; column < r.table->columns(); ++column) {
            const QTextTableCell cell = r.table->cellAt(r.row, column);
            if (cell.row() != r.row || cell.column() != column)
                continue;
            QTextCursor cursor = cell.firstCursorPosition();
            cursor.insertBlock(cursor.blockFormat(), cursor.charFormat());
            cursor.movePosition(QTextCursor::PreviousBlock);
            cursor.setBlockFormat(flat);
            // A chart of no series: ReportChart sizes it and draws nothing.
            ReportChart::insert(cursor, -1, QSizeF(0, r.height));
        }
    }
    edit.endEditBlock();
}

QTextTable *pdfTable(QTextCursor &cursor, int rows, int headerRows, const QVector<int> &percents)
{
    QTextTableFormat format;
    format.setHeaderRowCount(headerRows);
    format.setBorderCollapse(true);
    format.setBorder(pdfPt(0.5));
    format.setBorderBrush(QColor(110, 110, 110));
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setCellSpacing(0);
    format.setCellPadding(pdfPt(1));
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QVector<QTextLength> widths;
    for (int percent : percents)
        widths << QTextLength(QTextLength::PercentageLength, percent);
    format.setColumnWidthConstraints(widths);
    QTextTable *table = cursor.insertTable(rows, percents.size(), format);
    for (int row = 0; row < headerRows; ++row) {
        for (int column = 0; column < percents.size(); ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(QColor(228, 228, 228));
            cellFormat.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            cell.setFormat(cellFormat);
        }
    }
    return table;
}

void pdfCell(QTextTable *table, int row, int column, const QString &text, const QTextCharFormat &chars,
             Qt::Alignment align = Qt::AlignLeft)
{
    QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
    QTextBlockFormat block;
    block.setAlignment(align);
    cursor.setBlockFormat(block);
    cursor.insertText(text, chars);
}

void pdfHeaderRow(QTextTable *table, int row, const QStringList &titles, const QTextCharFormat &chars)
{
    for (int column = 0; column < titles.size(); ++column)
        if (!titles.at(column).isEmpty())
            pdfCell(table, row, column, titles.at(column), chars, Qt::AlignHCenter);
}

void pdfHeader(QTextCursor &cursor, const ReportData &data, const QFont &base)
{
    QTextBlockFormat title;
    title.setAlignment(Qt::AlignHCenter);
    title.setBottomMargin(pdfMm(3));
    pdfParagraph(cursor, QStringLiteral("温度电流监测报表"), pdfChars(base, 16, true), title);
    const QString source = ReportTerms::sourceName(data.source);
    const QTextCharFormat chars = pdfChars(base, 9);
    QTextBlockFormat line;
    line.setBottomMargin(pdfMm(0.8));
    const QString gap = QStringLiteral("　　");
    pdfParagraph(cursor, QStringLiteral("站名：") + data.stationName + gap + QStringLiteral("周期：") +
                             pdfPeriodText(data.period) + gap + QStringLiteral("数据来源：") + source,
                 chars, line);
    pdfParagraph(cursor, QStringLiteral("统计范围：") + WallTime::stamp(data.fromMs) + QStringLiteral(" 至 ") +
                             WallTime::stamp(data.toMs),
                 chars, line);
    pdfParagraph(cursor, QStringLiteral("生成时间：") + WallTime::stamp(WallTime::wallMs(data.made)) + gap +
                             QStringLiteral("版本：") + data.version,
                 chars, line);
    for (const QString &note : data.notes)
        pdfParagraph(cursor, QStringLiteral("说明：") + note, chars, line);
}

void pdfDevices(QTextCursor &cursor, const ReportData &data, const QFont &base)
{
    pdfHeading(cursor, QStringLiteral("设备统计"), base);
    if (data.devices.isEmpty()) {
        pdfParagraph(cursor, QStringLiteral("本期无设备数据。"), pdfChars(base, 9));
        return;
    }
    // A month's time of the highest carries its date too.
    const bool day = data.period.length() == ReportPeriod::Length::Day;
    QTextTable *table = pdfTable(cursor, data.devices.size() + 2, 2,
                                 day ? QVector<int>{6, 15, 13, 9, 5, 5, 5, 8, 6, 6, 6, 8, 8}
                                     : QVector<int>{6, 13, 12, 9, 5, 5, 5, 12, 6, 6, 6, 7, 8});
    const QTextCharFormat head = pdfChars(base, 7.5, true), body = pdfChars(base, 7.5);
    pdfHeaderRow(table, 0, {"设备号", "名称", "安装部位", "柜组", "温度 °C", "", "", "", "电流 A", "", "",
                            pdfLines("有数据", "分钟"), pdfLines("温度报警", "分钟")},
                 head);
    pdfHeaderRow(table, 1, {"", "", "", "", "最低", "平均", "最高", "最高时间", "最低", "平均", "最高"}, head);
    for (int column : {0, 1, 2, 3, 11, 12})
        table->mergeCells(0, column, 2, 1);
    table->mergeCells(0, 4, 1, 4);
    table->mergeCells(0, 8, 1, 3);
    const int t = ReportTerms::quantityDecimals(false), c = ReportTerms::quantityDecimals(true);
    int row = 2;
    for (const ReportDevice &d : data.devices) {
        const ReportQuantity &te = d.temperature, &cu = d.current;
        // A group a line: a name is not broken to fit beside another.
        const QStringList cells = {QString::number(d.device), d.name, d.location,
                                   d.cabinetGroups.join(QChar(QChar::LineSeparator)),
                                   ReportTerms::number(te.min, t), ReportTerms::number(te.mean, t),
                                   ReportTerms::number(te.max, t),
                                   te.minutes ? pdfShortTime(data, te.maxMs) : QStringLiteral("—"),
                                   ReportTerms::number(cu.min, c), ReportTerms::number(cu.mean, c),
                                   ReportTerms::number(cu.max, c), QString::number(te.minutes),
                                   ReportTerms::minutes(qint64(d.temperatureAlarmMinutes * 60000))};
        for (int column = 0; column < cells.size(); ++column)
            pdfCell(table, row, column, cells.at(column), body,
                    column == 0 || column >= 4 ? Qt::AlignRight : Qt::AlignLeft);
        ++row;
    }
    cursor.movePosition(QTextCursor::End);
}

void pdfHottest(QTextCursor &cursor, const ReportData &data, const QFont &base, qreal textWidth)
{
    pdfHeading(cursor, QStringLiteral("最热设备"), base);
    if (data.hottest.isEmpty()) {
        pdfParagraph(cursor, QStringLiteral("本期无温度数据。"), pdfChars(base, 9));
        return;
    }
    const bool hourly = data.hottest.first().hourly;
    pdfParagraph(cursor, hourly ? QStringLiteral("曲线：每小时平均温度，浅色带为每小时最低至最高。")
                                : QStringLiteral("曲线：每分钟温度。"),
                 pdfChars(base, 7.5));
    const QVector<int> percents = {6, 7, 17, 9, 13, 48};
    QTextTable *table = pdfTable(cursor, data.hottest.size() + 1, 1, percents);
    const QTextCharFormat head = pdfChars(base, 7.5, true), body = pdfChars(base, 7.5);
    pdfHeaderRow(table, 0, {"序号", "设备号", "名称", "最高 °C", "最高时间", "温度趋势"}, head);
    QHash<int, const ReportDevice *> devices;
    for (const ReportDevice &d : data.devices)
        devices.insert(d.device, &d);
    const QSizeF chart(textWidth * percents.last() / 100 - 2 * pdfPt(1) - pdfMm(3), pdfMm(13));
    for (int i = 0; i < data.hottest.size(); ++i) {
        const ReportSeries &series = data.hottest.at(i);
        const ReportDevice *d = devices.value(series.device);
        const int row = i + 1;
        pdfCell(table, row, 0, QString::number(row), body, Qt::AlignRight);
        pdfCell(table, row, 1, QString::number(series.device), body, Qt::AlignRight);
        if (d) {
            pdfCell(table, row, 2, d->name, body);
            pdfCell(table, row, 3, ReportTerms::number(d->temperature.max, ReportTerms::quantityDecimals(false)),
                    body, Qt::AlignRight);
            pdfCell(table, row, 4, d->temperature.minutes ? pdfShortTime(data, d->temperature.maxMs) : "—", body);
        }
        for (int column = 0; column < percents.size() - 1; ++column) {
            QTextTableCell cell = table->cellAt(row, column);
            QTextTableCellFormat format = cell.format().toTableCellFormat();
            format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
            cell.setFormat(format);
        }
        QTextCursor at = table->cellAt(row, percents.size() - 1).firstCursorPosition();
        ReportChart::insert(at, i, chart);
    }
    cursor.movePosition(QTextCursor::End);
}

void pdfAlarmCounts(QTextCursor &cursor, const ReportData &data, const QFont &base)
{
    pdfHeading(cursor, QStringLiteral("报警统计"), base);
    QMap<int, QPair<int, int>> counts; // kind: warnings, alarms
    for (int kind = 1; kind <= 8; ++kind)
        counts.insert(kind, {0, 0});
    for (const ReportAlarmCount &c : data.alarmCounts)
        (c.level == 0 ? counts[c.kind].first : counts[c.kind].second) += c.count;
    QTextTable *table = pdfTable(cursor, counts.size() + 2, 1, {40, 20, 20, 20});
    const QTextCharFormat head = pdfChars(base, 7.5, true), body = pdfChars(base, 7.5);
    pdfHeaderRow(table, 0, {"报警类型", "预警", "报警", "合计"}, head);
    int row = 1, warnings = 0, alarms = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it, ++row) {
        pdfCell(table, row, 0, ReportTerms::kindName(it.key()), body);
        pdfCell(table, row, 1, QString::number(it->first), body, Qt::AlignRight);
        pdfCell(table, row, 2, QString::number(it->second), body, Qt::AlignRight);
        pdfCell(table, row, 3, QString::number(it->first + it->second), body, Qt::AlignRight);
        warnings += it->first, alarms += it->second;
    }
    pdfCell(table, row, 0, QStringLiteral("合计"), head);
    pdfCell(table, row, 1, QString::number(warnings), head, Qt::AlignRight);
    pdfCell(table, row, 2, QString::number(alarms), head, Qt::AlignRight);
    pdfCell(table, row, 3, QString::number(warnings + alarms), head, Qt::AlignRight);
    cursor.movePosition(QTextCursor::End);
}

void pdfAlarmList(QTextCursor &cursor, const ReportData &data, const QFont &base)
{
    pdfHeading(cursor, QStringLiteral("报警明细"), base);
    if (data.alarms.isEmpty()) {
        pdfParagraph(cursor, QStringLiteral("本期无报警。"), pdfChars(base, 9));
        return;
    }
    QVector<const ReportAlarm *> shown;
    for (const ReportAlarm &a : data.alarms)
        shown << &a;
    if (shown.size() > kPdfAlarmRows) {
        std::stable_sort(shown.begin(), shown.end(), [](const ReportAlarm *a, const ReportAlarm *b) {
            return a->durationMs > b->durationMs;
        });
        shown.resize(kPdfAlarmRows);
        std::stable_sort(shown.begin(), shown.end(),
                         [](const ReportAlarm *a, const ReportAlarm *b) { return a->startMs < b->startMs; });
        pdfParagraph(cursor, QStringLiteral("共 %1 条报警，此处按开始时间列出持续最久的 %2 条；全部报警见 Excel 报表的“报警明细”。")
                                 .arg(data.alarms.size()).arg(kPdfAlarmRows),
                     pdfChars(base, 7.5));
    }
    pdfParagraph(cursor,
                 QStringLiteral("峰值：报警记录的值与报警期间分钟记录中的极值；只有小时归档时，取完整落在报警期间的"
                                "小时极值。跨越统计周期的报警列出其完整的开始、结束与持续时间。"),
                 pdfChars(base, 7));
    QTextTable *table = pdfTable(cursor, shown.size() + 1, 1, {6, 18, 5, 13, 13, 6, 6, 7, 12, 14});
    const QTextCharFormat head = pdfChars(base, 7.5, true), body = pdfChars(base, 7.5);
    pdfHeaderRow(table, 0, {"设备号", "报警内容", "级别", "开始", "结束", pdfLines("持续", "分钟"), "峰值", "单位",
                            "峰值来源", "确认时间"},
                 head);
    const QString lineBreak(QChar::LineSeparator);
    int row = 1;
    for (const ReportAlarm *shownAlarm : qAsConst(shown)) {
        const ReportAlarm &a = *shownAlarm;
        // A cabinet group's alarm and the link's name it in their text; the column is narrow.
        const QString where = a.device > 0 ? QString::number(a.device) : QStringLiteral("—");
        const QString start = pdfTime(data, a.startMs) + (a.beganBefore ? lineBreak + "（期前开始）" : QString());
        const QString end = a.open        ? QStringLiteral("未恢复")
                            : a.endedAfter ? pdfTime(data, a.endMs) + lineBreak + "（期后恢复）"
                                           : pdfTime(data, a.endMs);
        const QStringList cells = {where, a.text, ReportTerms::levelName(a.level), start, end,
                                   ReportTerms::minutes(a.durationMs),
                                   ReportTerms::number(a.peak, ReportTerms::peakDecimals(a.kind)),
                                   ReportTerms::peakUnit(a.kind), ReportTerms::peakSourceName(a),
                                   a.acknowledged ? pdfTime(data, a.acknowledgedMs) : QStringLiteral("—")};
        for (int column = 0; column < cells.size(); ++column)
            pdfCell(table, row, column, cells.at(column), body,
                    column == 0 || column == 5 || column == 6 ? Qt::AlignRight : Qt::AlignLeft);
        ++row;
    }
    cursor.movePosition(QTextCursor::End);
}

void pdfLink(QTextCursor &cursor, const ReportData &data, const QFont &base)
{
    pdfHeading(cursor, QStringLiteral("通讯可用率"), base);
    const QTextCharFormat chars = pdfChars(base, 9);
    QTextBlockFormat line;
    line.setBottomMargin(pdfMm(0.8));
    const ReportLink &link = data.link;
    if (!link.known) {
        pdfParagraph(cursor, QStringLiteral("无可读的报警日志，无法统计。"), chars, line);
        return;
    }
    if (link.runningMs > 0)
        pdfParagraph(cursor, QStringLiteral("可用率：%1%　（监测站运行 %2 分钟，其中通讯中断 %3 分钟）")
                                 .arg(ReportTerms::number(link.availableShare * 100, 2),
                                      ReportTerms::minutes(link.runningMs), ReportTerms::minutes(link.outageMs)),
                     chars, line);
    else
        pdfParagraph(cursor, QStringLiteral("可用率：—　（统计时段内无监测站运行记录）"), chars, line);
    if (link.unknownMs > 0)
        pdfParagraph(cursor, QStringLiteral("另有 %1 分钟在日志记录的首次启动之前，运行情况未知，未计入。")
                                 .arg(ReportTerms::minutes(link.unknownMs)),
                     chars, line);
    pdfParagraph(cursor, QStringLiteral("中断次数：%1（自最后一次有效应答至再次有效应答）").arg(link.outages), chars, line);
    pdfParagraph(cursor, link.outages == 0 ? QStringLiteral("最长中断：无")
                                           : QStringLiteral("最长中断：%1 分钟，开始于 %2")
                                                 .arg(ReportTerms::minutes(link.longestOutageMs),
                                                      WallTime::stamp(link.longestOutageStartMs)),
                 chars, line);
}

void pdfSignature(QTextCursor &cursor, const QFont &base)
{
    QTextBlockFormat block;
    block.setTopMargin(pdfMm(14));
    block.setAlignment(Qt::AlignRight);
    pdfParagraph(cursor, QStringLiteral("审核：________　　　　日期：________"), pdfChars(base, 10), block);
}

} // namespace

bool ReportPdf::render(const ReportData &data, QByteArray *pdf, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (data.cancelled)
        return fail(QStringLiteral("报表已取消"));

    // Made whole in memory, so only a finished document reaches the file's own checked write.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kPdfDpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 12, 15, 8),
                                     QPageLayout::Millimeter));
    writer.setTitle(QStringLiteral("温度电流监测报表 ") + data.stationName + ' ' + pdfPeriodText(data.period));
    writer.setCreator(QStringLiteral("kestro ") + data.version);
    const QSizeF body(writer.width(), writer.height() - pdfMm(kPdfFooterMm));

    const QFont base = pdfBaseFont();
    ReportChart charts(data.hottest, data.period.wallFromMs(), data.period.wallToMs(), base);
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    document.documentLayout()->registerHandler(ReportChart::kObjectType, &charts);
    document.setDocumentMargin(0);
    document.setDefaultFont(base);
    document.setPageSize(body);

    QTextCursor cursor(&document);
    // One layout at the end, not one per cell.
    cursor.beginEditBlock();
    pdfHeader(cursor, data, base);
    pdfDevices(cursor, data, base);
    pdfHottest(cursor, data, base, body.width());
    pdfAlarmCounts(cursor, data, base);
    pdfAlarmList(cursor, data, base);
    pdfLink(cursor, data, base);
    pdfSignature(cursor, base);
    cursor.endEditBlock();
    // Rows first: their probes hold wherever a row goes, and a heading then follows its table.
    pdfKeepRowsWhole(document);
    pdfKeepHeadingsWithNext(document, body.height());

    QPainter painter;
    if (!painter.begin(&writer))
        return fail(QStringLiteral("无法生成 PDF"));
    const int pages = document.pageCount();
    QFont footerFont(base);
    footerFont.setPointSizeF(7.5);
    const QString footerLeft = QStringLiteral("温度电流监测报表　") + data.stationName + QStringLiteral("　") +
                               pdfPeriodText(data.period);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !writer.newPage())
            return fail(QStringLiteral("无法生成 PDF"));
        painter.save();
        const QRectF clip(0, page * body.height(), body.width(), body.height());
        painter.translate(0, -clip.top());
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();

        painter.setFont(footerFont);
        painter.setPen(QPen(QColor(90, 90, 90), pdfPt(0.4)));
        const qreal top = body.height() + pdfMm(2);
        painter.drawLine(QPointF(0, top), QPointF(body.width(), top));
        const QRectF footer(0, top, body.width(), pdfMm(kPdfFooterMm - 2));
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, footerLeft);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("第 %1 页 / 共 %2 页").arg(page + 1).arg(pages));
    }
    if (!painter.end())
        return fail(QStringLiteral("无法生成 PDF"));

    *pdf = buffer.data();
    if (!pdf->startsWith("%PDF-") || !pdf->trimmed().endsWith("%%EOF"))
        return fail(QStringLiteral("生成的 PDF 不完整"));
    return true;
}
