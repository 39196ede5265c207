#pragma once

#include "report/reportdata.h"

#include <QString>

// A report as an XLSX workbook, one sheet per section: 概况, 设备, 最热设备, 报警统计 and
// 报警明细, each with a frozen header row. Figures are numbers (℃ one decimal, A two,
// minutes and the availability share as numbers too); a figure without a value is an empty
// cell. Times are text, "yyyy-MM-dd hh:mm:ss" as the station's clock showed them, so a
// workbook reads the same in every time zone and sorts as text.
class ReportXlsx
{
public:
    // Writes a new workbook at path, the library's scratch files beside it; false, with the
    // reason in *error when given (a folder that cannot be written, a full disk), and nothing
    // left at path, when it could not be written whole or the report was cancelled.
    static bool write(const ReportData &data, const QString &path, QString *error = nullptr);
};
