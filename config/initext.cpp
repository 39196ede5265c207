#include "config/initext.h"

#include <QDataStream>
#include <QDateTime>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QVector>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

bool isHexDigit(uint c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// -1 when c is no digit of that base (16 or 8).
int digitValue(char c, int base)
{
    if (c >= '0' && c <= '7')
        return c - '0';
    if (base == 8)
        return -1;
    if (c >= '8' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// ---- writing ----

// Letters, digits and _-. stay; '/' becomes '\'; anything else %XX, or %UXXXX beyond Latin-1.
void appendKey(QByteArray &out, const QString &key)
{
    for (const QChar c : key) {
        const ushort ch = c.unicode();
        if (ch == '/') {
            out += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')
                   || ch == '_' || ch == '-' || ch == '.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += kHexDigits[ch >> 4];
            out += kHexDigits[ch & 15];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHexDigits[(ch >> shift) & 15];
        }
    }
}

// Control characters and everything from 0x7F become \x escapes, and so does a hex digit
// right after one, which would otherwise be read into it. Quoted when it holds ; , = or
// begins or ends with a blank.
void appendString(QByteArray &out, const QString &text)
{
    const int start = out.size();
    bool quote = false;
    bool escapeHexDigit = false;
    for (const QChar c : text) {
        const ushort ch = c.unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            quote = true;
        if (escapeHexDigit && isHexDigit(ch)) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeHexDigit = false;
        switch (ch) {
        case 0: out += "\\0"; escapeHexDigit = true; break;
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        case '"':
        case '\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1F || ch >= 0x7F) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeHexDigit = true;
            } else {
                out += char(ch);
            }
        }
    }
    if (quote || (out.size() > start && (out.at(start) == ' ' || out.endsWith(' ')))) {
        out.insert(start, '"');
        out += '"';
    }
}

QString streamed(const char *tag, const QVariant &value, QDataStream::Version version)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(version);
    stream << value;
    return QLatin1String(tag) + QString::fromLatin1(bytes.constData(), bytes.size())
           + QLatin1Char(')');
}

// One value as a string: plain types as their text (a leading '@' doubled), the rest tagged.
QString valueText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return QStringLiteral("@Invalid()");
    case QMetaType::QByteArray:
    {
        const QByteArray bytes = value.toByteArray();
        return QLatin1String("@ByteArray(") + QString::fromLatin1(bytes.constData(), bytes.size())
               + QLatin1Char(')');
    }
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QKeySequence: {
        const QString text = value.toString();
        if (text.contains(QChar(0)))
            return QLatin1String("@String(") + text + QLatin1Char(')');
        return text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + text : text;
    }
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return QStringLiteral("@Rect(%1 %2 %3 %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    case QMetaType::QSize: {
        const QSize s = value.toSize();
        return QStringLiteral("@Size(%1 %2)").arg(s.width()).arg(s.height());
    }
    case QMetaType::QPoint: {
        const QPoint p = value.toPoint();
        return QStringLiteral("@Point(%1 %2)").arg(p.x()).arg(p.y());
    }
    case QMetaType::QDateTime:
        return streamed("@DateTime(", value, QDataStream::Qt_5_6);
    default:
        return streamed("@Variant(", value, QDataStream::Qt_4_0);
    }
}

void appendValue(QByteArray &out, const QVariant &value)
{
    // A one-item QVariantList is no list here: it goes whole, as a @Variant.
    const bool list = value.userType() == QMetaType::QStringList
        || (value.userType() == QMetaType::QVariantList && value.toList().size() != 1);
    if (!list) {
        appendString(out, valueText(value));
        return;
    }
    const QVariantList items = value.toList();
    if (items.isEmpty())
        out += "@Invalid()";
    for (int k = 0; k < items.size(); ++k) {
        if (k > 0)
            out += ", ";
        appendString(out, valueText(items.at(k)));
    }
}

// ---- reading ----

struct Line
{
    int start = 0;
    int length = 0;
    int equals = -1;
};

bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One logical line from pos. A newline inside quotes does not end it; a backslash takes the
// next character (and the rest of a CR LF pair) with it; a ';' at its start makes a comment
// that is skipped, a later one outside quotes ends it. False at the end of the text.
bool nextLine(const QByteArray &data, int &pos, Line *line)
{
    const int size = data.size();
    int start = pos;
    while (start < size && isLineSpace(data.at(start)))
        ++start;
    int equals = -1;
    bool quoted = false;
    int i = start;
    while (i < size) {
        const char c = data.at(i++);
        if (c == '=') {
            if (!quoted && equals == -1)
                equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char next = data.at(i++);
                if (i < size) {
                    const char after = data.at(i);
                    if ((next == '\n' && after == '\r') || (next == '\r' && after == '\n'))
                        ++i;
                }
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';') {
            if (i == start + 1) {
                while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < size && isLineSpace(data.at(i)))
                    ++i;
                start = i;
            } else if (!quoted) {
                --i;
                break;
            }
        }
    }
    pos = i;
    *line = {start, i - start, equals};
    return line->length > 0;
}

// The inverse of appendKey; a '%' that starts no escape stays as it is.
void appendKeyText(QString &out, const QByteArray &data, int from, int to)
{
    int i = from;
    while (i < to) {
        const char c = data.at(i);
        if (c == '\\') {
            out += QLatin1Char('/');
            ++i;
            continue;
        }
        if (c != '%' || i == to - 1) {
            out += QLatin1Char(c);
            ++i;
            continue;
        }
        const int digits = data.at(i + 1) == 'U' ? 4 : 2;
        const int first = i + 1 + (digits == 4 ? 1 : 0);
        bool ok = false;
        const int code = first + digits > to ? 0 : data.mid(first, digits).toInt(&ok, 16);
        if (!ok) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        out += QChar(code);
        i = first + digits;
    }
}

// Leaves trailing blanks before `limit`, which an escape or a quote put there.
void chopBlanks(QString &text, int limit)
{
    int n = text.size();
    while (n > limit && (text.at(n - 1) == QLatin1Char(' ') || text.at(n - 1) == QLatin1Char('\t')))
        --n;
    text.truncate(n);
}

// The value part of a line: true, with the items in *list, when it is a comma-separated
// list, else false with the one string in *text.
bool unescapeValue(const QByteArray &data, int from, int to, bool utf8, QString *text,
                   QStringList *list)
{
    static const char escapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                                      {'r', '\r'}, {'t', '\t'}, {'v', '\v'}, {'"', '"'},
                                      {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    enum State { SkipBlanks, Normal, Hex, Octal, End };
    State state = SkipBlanks;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    int chopLimit = 0;
    uint code = 0;
    int i = from;
    auto enterNormal = [&] {
        state = Normal;
        chopLimit = text->size();
    };
    while (state != End) {
        if (state == SkipBlanks) {
            while (i < to && (data.at(i) == ' ' || data.at(i) == '\t'))
                ++i;
            enterNormal();
        } else if (state == Hex || state == Octal) {
            const int base = state == Hex ? 16 : 8;
            const int digit = i < to ? digitValue(data.at(i), base) : -1;
            if (digit >= 0) {
                code = code * uint(base) + uint(digit);
                ++i;
                continue;
            }
            *text += QChar(ushort(code));
            if (i < to)
                enterNormal();
            else
                state = End;
        } else if (i >= to) {
            if (!quoted)
                chopBlanks(*text, chopLimit);
            state = End;
        } else if (data.at(i) == '\\') {
            if (++i >= to) {
                state = End;
                continue;
            }
            const char escaped = data.at(i++);
            bool known = false;
            for (const auto &pair : escapes) {
                if (escaped == pair[0]) {
                    *text += QLatin1Char(pair[1]);
                    known = true;
                    break;
                }
            }
            if (known) {
                enterNormal();
                continue;
            }
            if (escaped == 'x') {
                code = 0;
                if (i >= to) {
                    state = End;
                    continue;
                }
                if (isHexDigit(uchar(data.at(i)))) {
                    state = Hex;
                    continue;
                }
            } else if (escaped >= '0' && escaped <= '7') {
                code = uint(escaped - '0');
                state = Octal;
                continue;
            } else if ((escaped == '\n' || escaped == '\r') && i < to) {
                const char after = data.at(i);
                if ((after == '\n' || after == '\r') && after != escaped)
                    ++i;
            }
            chopLimit = text->size();
        } else if (data.at(i) == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                state = SkipBlanks;
        } else if (data.at(i) == ',' && !inQuotes) {
            if (!quoted)
                chopBlanks(*text, chopLimit);
            if (!isList) {
                isList = true;
                list->clear();
            }
            list->append(*text);
            text->clear();
            quoted = false;
            ++i;
            state = SkipBlanks;
        } else {
            int j = i + 1;
            while (j < to && data.at(j) != '\\' && data.at(j) != '"' && data.at(j) != ',')
                ++j;
            *text += utf8 ? QString::fromUtf8(data.constData() + i, j - i)
                          : QString::fromLatin1(data.constData() + i, j - i);
            i = j;
        }
    }
    if (isList)
        list->append(*text);
    return isList;
}

// "@Rect(1 2 3 4)" from `open`, the index of its '(': the blank-separated arguments.
QStringList arguments(const QString &text, int open)
{
    QStringList result;
    QString item;
    for (int k = open + 1; k < text.size(); ++k) {
        const QChar c = text.at(k);
        if (c == QLatin1Char(')')) {
            result.append(item);
        } else if (c == QLatin1Char(' ')) {
            result.append(item);
            item.clear();
        } else {
            item.append(c);
        }
    }
    return result;
}

QVariant unstreamed(const QString &text, int offset, QDataStream::Version version)
{
    QByteArray bytes = text.midRef(offset).toLatin1();
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    stream.setVersion(version);
    QVariant value;
    stream >> value;
    return value;
}

QVariant valueOf(const QString &text)
{
    if (!text.startsWith(QLatin1Char('@')))
        return text;
    if (text.endsWith(QLatin1Char(')'))) {
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return text.midRef(11, text.size() - 12).toLatin1();
        if (text.startsWith(QLatin1String("@String(")))
            return text.mid(8, text.size() - 9);
        if (text.startsWith(QLatin1String("@Variant(")))
            return unstreamed(text, 9, QDataStream::Qt_4_0);
        if (text.startsWith(QLatin1String("@DateTime(")))
            return unstreamed(text, 10, QDataStream::Qt_5_6);
        if (text.startsWith(QLatin1String("@Rect("))) {
            const QStringList a = arguments(text, 5);
            if (a.size() == 4)
                return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
        } else if (text.startsWith(QLatin1String("@Size("))) {
            const QStringList a = arguments(text, 5);
            if (a.size() == 2)
                return QSize(a[0].toInt(), a[1].toInt());
        } else if (text.startsWith(QLatin1String("@Point("))) {
            const QStringList a = arguments(text, 6);
            if (a.size() == 2)
                return QPoint(a[0].toInt(), a[1].toInt());
        } else if (text == QLatin1String("@Invalid()")) {
            return QVariant();
        }
    }
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    return text;
}

// Plain strings stay a QStringList; one tagged item makes every item a variant.
QVariant listOf(const QStringList &items)
{
    QStringList plain = items;
    for (QString &item : plain) {
        if (!item.startsWith(QLatin1Char('@')))
            continue;
        if (item.startsWith(QLatin1String("@@"))) {
            item.remove(0, 1);
            continue;
        }
        QVariantList values;
        for (const QString &each : items)
            values.append(valueOf(each));
        return values;
    }
    return plain;
}

// The section a header line names, with its trailing '/'; empty for [General].
QString sectionOf(const QByteArray &data, const Line &line)
{
    const int close = data.indexOf(']', line.start);
    const int end = close == -1 || close >= line.start + line.length ? line.start + line.length : close;
    const QByteArray name = data.mid(line.start + 1, end - line.start - 1).trimmed();
    if (qstricmp(name.constData(), "general") == 0)
        return QString();
    QString section;
    if (qstricmp(name.constData(), "%general") == 0)
        section = QString::fromLatin1(name.constData() + 1);
    else
        appendKeyText(section, name, 0, name.size());
    return section + QLatin1Char('/');
}

} // namespace

namespace IniText {

QByteArray write(const QSettings::SettingsMap &map)
{
    // The keys without a section first, under [General], then each section by name.
    QMap<QString, QSettings::SettingsMap> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int slash = it.key().indexOf(QLatin1Char('/'));
        sections[slash < 0 ? QString() : it.key().left(slash)].insert(it.key().mid(slash + 1),
                                                                     it.value());
    }
    QByteArray text;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        QByteArray name;
        appendKey(name, section.key());
        if (!text.isEmpty())
            text += '\n';
        if (name.isEmpty())
            text += "[General]\n";
        else if (qstricmp(name.constData(), "general") == 0)
            text += "[%General]\n";
        else
            text += '[' + name + "]\n";
        for (auto it = section->cbegin(); it != section->cend(); ++it) {
            appendKey(text, it.key());
            text += '=';
            appendValue(text, it.value());
            text += '\n';
        }
    }
    return text;
}

QSettings::SettingsMap read(const QByteArray &text)
{
    const bool utf8 = text.startsWith("\xEF\xBB\xBF");
    // Qt's way: the text between headers is gathered by section, a repeated section joined to
    // the first, and the sections are read in order of name, so a key given twice keeps the
    // value read last that way. The first stretch starts before a byte-order mark, which a
    // first key without a header therefore begins with.
    QMap<QString, QByteArray> sections;
    QString section;
    int stretchStart = 0;
    auto gather = [&](int end) {
        QByteArray &stretch = sections[section];
        if (!stretch.isEmpty())
            stretch += '\n';
        stretch += text.mid(stretchStart, end - stretchStart);
    };
    int pos = utf8 ? 3 : 0;
    Line line;
    while (nextLine(text, pos, &line)) {
        if (text.at(line.start) != '[')
            continue;
        gather(line.start);
        section = sectionOf(text, line);
        stretchStart = pos;
    }
    gather(text.size());

    QSettings::SettingsMap map;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        const QByteArray &lines = it.value();
        pos = 0;
        while (nextLine(lines, pos, &line)) {
            if (line.equals < 0)
                continue;
            int keyEnd = line.equals;
            while (keyEnd > line.start && (lines.at(keyEnd - 1) == ' ' || lines.at(keyEnd - 1) == '\t'))
                --keyEnd;
            QString key = it.key();
            appendKeyText(key, lines, line.start, keyEnd);
            QString value;
            QStringList items;
            const bool list =
                unescapeValue(lines, line.equals + 1, line.start + line.length, utf8, &value, &items);
            map.insert(key, list ? listOf(items) : valueOf(value));
        }
    }
    return map;
}

} // namespace IniText
