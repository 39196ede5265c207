#include "config/cabinetgroupscsv.h"

#include "core/csv.h"
#include "core/devicereadings.h"

#include <QSet>
#include <QStringList>

namespace {

// The cells of one line, quoted cells as a spreadsheet writes them; false when a quote is
// left open, as a cell cannot run on to the next line here.
bool splitCells(const QString &line, QStringList *cells)
{
    QString cell;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != QLatin1Char('"'))
                cell += c;
            else if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
                cell += line.at(++i);
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            cells->append(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells->append(cell);
    return !quoted;
}

// Empty gives 0; else a whole number 1..200, or the problem with it.
int deviceOf(const QString &cell, QString *problem)
{
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return 0;
    bool number = false;
    const int device = text.toInt(&number, 10);
    if (!number)
        *problem = QStringLiteral("'%1' is not a device number").arg(text);
    else if (device < 1 || device > kDevices)
        *problem = QStringLiteral("device %1 is not 1..%2").arg(text).arg(kDevices);
    return device;
}

QString groupProblem(const QStringList &cells, const QSet<QString> &names, CabinetGroup *group)
{
    if (cells.size() != 5)
        return QStringLiteral("%1 cells, not 5").arg(cells.size());
    group->name = cells.at(0).trimmed();
    if (group->name.isEmpty())
        return QStringLiteral("the group has no name");
    if (names.contains(group->name))
        return QStringLiteral("group %1 is named twice").arg(group->name);
    QString problem;
    QSet<int> devices;
    for (int k = 0; k < 4; ++k) {
        const int device = deviceOf(cells.at(k + 1), &problem);
        if (!problem.isEmpty())
            return problem;
        if (device == 0)
            continue;
        if (devices.contains(device))
            return QStringLiteral("device %1 is in the group twice").arg(device);
        devices.insert(device);
        if (k < 3)
            group->phases[size_t(k)] = device;
        else
            group->ambient = device;
    }
    if (group->phases == std::array<int, 3>{})
        return QStringLiteral("the group has no phase");
    return QString();
}

} // namespace

QString CabinetGroupsCsv::header()
{
    return QStringLiteral("柜组,A相,B相,C相,环境");
}

CabinetGroupsCsv::Result CabinetGroupsCsv::parse(const QByteArray &bytes)
{
    Result result;
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QSet<QString> names;
    auto fail = [&result](int line, const QString &problem) {
        result.groups.clear();
        result.badLine = line;
        result.problem = problem;
        return result;
    };
    for (int index = 0; index < lines.size(); ++index) {
        QString line = lines.at(index);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (index == 0) {
            if (line.trimmed() != header())
                return fail(1, QStringLiteral("the header is not %1").arg(header()));
            continue;
        }
        QStringList cells;
        if (!splitCells(line, &cells))
            return fail(index + 1, QStringLiteral("a quote is not closed"));
        if (cells.join(QString()).trimmed().isEmpty())
            continue;
        CabinetGroup group;
        const QString problem = groupProblem(cells, names, &group);
        if (!problem.isEmpty())
            return fail(index + 1, problem);
        if (result.groups.size() == kMaxGroups)
            return fail(index + 1, QStringLiteral("more than %1 groups").arg(kMaxGroups));
        names.insert(group.name);
        result.groups.append(group);
    }
    return result;
}

QByteArray CabinetGroupsCsv::format(const QVector<CabinetGroup> &groups)
{
    auto cell = [](int device) { return device ? QString::number(device) : QString(); };
    QList<QStringList> rows;
    for (const CabinetGroup &group : groups)
        rows.append({group.name, cell(group.phases[0]), cell(group.phases[1]),
                     cell(group.phases[2]), cell(group.ambient)});
    return Csv::document(header().split(QLatin1Char(',')), rows);
}
