#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// CSV as spreadsheet programs open it with its Chinese intact: the alarm list, the history
// query and the trend export write their files with it.
class Csv
{
public:
    // UTF-8 with a byte-order mark: the heading row, then every row holding any text, in
    // order; rows whose fields are all empty are left out. Each record ends in CR LF.
    static QByteArray document(const QStringList &heading, const QList<QStringList> &rows);

    // The field as written: quoted, with quotes doubled, when it holds a comma, a double
    // quote, CR or LF; otherwise unchanged.
    static QString field(const QString &text);
};
