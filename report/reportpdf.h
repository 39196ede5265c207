#pragma once

#include "report/reportdata.h"

#include <QByteArray>
#include <QString>

// A report as an A4 PDF to print and sign: the header, the device table, the ten hottest with
// their trend pictures, the alarms counted and listed, the link's availability, a line to sign,
// and "第 N 页 / 共 M 页" at the foot of each page. Tables that go on over a page repeat their
// header row. Needs a QGuiApplication (fonts).
class ReportPdf
{
public:
    // The whole document; false, with the reason in *error when given, when it could not be
    // made, or when the report was cancelled.
    static bool render(const ReportData &data, QByteArray *pdf, QString *error = nullptr);
};
