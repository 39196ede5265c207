#pragma once

#include "report/reportperiod.h"

#include <QString>

// `kestro --report day|month PERIOD [--out DIR]`: the report's PDF and XLSX with no window,
// read only, beside a running station too. Needs a QGuiApplication for the PDF's fonts (an
// offscreen one will do).
namespace ReportCommand {

// The exit code: 0 written, 2 not; *output is what to print on stdout (the files, one a line),
// *error one line for stderr when not written, else what the report could not read, if any.
int run(const QString &dataDirectory, const ReportPeriod &period, const QString &out,
        QString *output, QString *error);

} // namespace ReportCommand
