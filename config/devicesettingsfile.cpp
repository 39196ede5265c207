#include "config/devicesettingsfile.h"

#include "core/wholefile.h"

#include <QFile>
#include <QTextCodec>

QTextCodec *DeviceSettingsFile::codec()
{
#ifdef Q_OS_WIN
    return QTextCodec::codecForLocale();
#else
    return QTextCodec::codecForName("UTF-8");
#endif
}

bool DeviceSettingsFile::load(const QString &path, QVector<QString> *lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        lines->fill(QString(), kLineCount);
        return false;
    }
    parse(file.readAll(), lines);
    return true;
}

void DeviceSettingsFile::parse(const QByteArray &bytes, QVector<QString> *lines)
{
    lines->fill(QString(), kLineCount);
    const QString text = codec()->toUnicode(bytes);
    int start = 0;
    for (int j = 0; j < kLineCount && start < text.size(); ++j) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        int length = end - start;
        if (length > 0 && text.at(end - 1) == QLatin1Char('\r'))
            --length;
        (*lines)[j] = text.mid(start, length);
        start = end + 1;
    }
}

QByteArray DeviceSettingsFile::format(const QVector<QString> &lines)
{
#ifdef Q_OS_WIN
    const QString lineEnd = QStringLiteral("\r\n");
#else
    const QString lineEnd = QStringLiteral("\n");
#endif
    QString text;
    text.reserve(kLineCount * 16);
    for (int j = 0; j < kLineCount; ++j) {
        QString line = j < lines.size() ? lines.at(j) : QString();
        line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += line;
        text += lineEnd;
    }
    return codec()->fromUnicode(text);
}

bool DeviceSettingsFile::save(const QString &path, const QVector<QString> &lines, QString *error)
{
    return WholeFile::write(path, format(lines), error);
}
