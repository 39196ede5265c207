#pragma once

#include <QString>
#include <QVector>

class QTextCodec;

// The device settings file: 600 lines, names of devices 1-200, then their install
// locations, then their temperature corrections, each exactly as typed.
class DeviceSettingsFile
{
public:
    static constexpr int kLineCount = 600;

    // The system code page on Windows, where older stations wrote it; UTF-8 elsewhere,
    // whatever the locale, so Chinese survives a plain C locale.
    static QTextCodec *codec();

    // Line j of the file in lines[j]; missing lines are empty, lines after the 600th are
    // ignored. LF and CR LF both end a line. False when the file cannot be opened.
    static bool load(const QString &path, QVector<QString> *lines);
    // The same from the file's bytes.
    static void parse(const QByteArray &bytes, QVector<QString> *lines);
    // The file's bytes for these 600 texts, each line ended.
    static QByteArray format(const QVector<QString> &lines);

    // Replaces the file as a whole or not at all: a failure at any point leaves the
    // previous file as it was. Line breaks inside a text become blanks, as one would
    // otherwise shift every line after it.
    static bool save(const QString &path, const QVector<QString> &lines, QString *error);
};
