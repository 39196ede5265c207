#pragma once

#include "core/cabinetgroup.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The cabinet groups as a CSV file an engineer edits in a spreadsheet: UTF-8 (a byte-order
// mark allowed), the header `柜组,A相,B相,C相,环境`, then one group per line with its name
// and device numbers; a cell left empty means no device there. Lines of empty cells are
// skipped.
class CabinetGroupsCsv
{
public:
    static constexpr int kMaxGroups = 1000;

    struct Result
    {
        QVector<CabinetGroup> groups;
        // The first bad line (counted from 1, the header being line 1) and what is wrong
        // with it, in English for the command line; 0 when the whole file is good.
        int badLine = 0;
        QString problem;
    };

    static QString header(); // "柜组,A相,B相,C相,环境"
    // All of the file or nothing: a file with a bad line gives no groups.
    static Result parse(const QByteArray &bytes);
    // With a byte-order mark and CR LF, as the other exports.
    static QByteArray format(const QVector<CabinetGroup> &groups);
};
