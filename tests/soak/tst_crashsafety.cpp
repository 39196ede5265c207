// Kills a process writing the station's files with SIGKILL at random moments and checks
// that every file is whole afterwards: the settings are one step's bytes exactly, the
// counter one number, each history line one step's line exactly.

#include "crashcontent.h"

#include "config/devicesettingsfile.h"
#include "history/historyrecord.h"
#include "history/historystore.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <signal.h>

namespace {

const QString kStampFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QByteArray expectedSettings(qint64 k)
{
    QByteArray bytes;
    for (int j = 0; j < 600; ++j)
        bytes += CrashContent::settingsLine(k, j).toUtf8() + '\n';
    return bytes;
}

QByteArray expectedHistoryLine(qint64 k)
{
    const QByteArray stamp = CrashContent::minute(k).toString(kStampFormat).toUtf8();
    QByteArray line;
    for (int i = 0; i < CrashContent::recordCount(k); ++i) {
        line += "ID:" + QByteArray::number(i + 1).rightJustified(3, '0');
        line += "#温度:" + QByteArray::number(CrashContent::temperatureWhole(k, i)) + ".5";
        line += "#电流:" + QByteArray::number(CrashContent::currentWhole(i)) + ".25";
        line += "#状态:在线#时间:" + stamp + "#;";
    }
    return line + "\r\n";
}

// Where a history file has been found whole so far; it only grows until truncated.
struct CheckedPrefix
{
    qint64 size = 0;
    QByteArray firstLine;
    // The start of a line a kill cut short, and where it begins; the next write ends it.
    QByteArray tornTail;
    qint64 tornAt = -1;
};

class Harness
{
public:
    explicit Harness(const QString &directory) : dir(directory) {}

    // Counts the files that are not whole; *next is the step to resume from. While the disk
    // is full, lines may go on filling the last page of a day with the counter left behind.
    int check(qint64 *next, QStringList *faults, bool full = false);
    int tornLines() const { return torn; }
    int leftovers() const { return leftoverFiles; }

private:
    bool checkSettings(qint64 *step, QString *fault);
    bool checkCounter(int *count, QString *fault);
    bool checkHistoryFile(int day, int *lines, qint64 *lastStep, QString *fault);
    bool checkConsistency(int count, const QVector<int> &lines, bool full, QString *fault);

    QDir dir;
    qint64 settingsStep = -1;
    QHash<int, CheckedPrefix> checked;
    QHash<int, int> lineCounts;
    int lastDay = -1;
    int lastSurplus = 0;
    int surplusFloor = 0;
    bool tornPending = false;
    qint64 historyStep = -1;
    int torn = 0;
    int leftoverFiles = 0;
};

bool Harness::checkSettings(qint64 *step, QString *fault)
{
    const QString path = dir.filePath(QStringLiteral("save_data.txt"));
    if (!QFile::exists(path)) {
        *step = -1;
        if (settingsStep < 0)
            return true;
        *fault = QStringLiteral("save_data.txt vanished");
        return false;
    }
    const QByteArray bytes = fileBytes(path);
    bool ok = false;
    const qint64 k = bytes.left(bytes.indexOf(':')).toLongLong(&ok);
    if (!ok || bytes != expectedSettings(k)) {
        *fault = QStringLiteral("save_data.txt is not any step's content (%1 bytes)").arg(bytes.size());
        return false;
    }
    if (k < settingsStep) {
        *fault = QStringLiteral("save_data.txt went back from step %1 to %2").arg(settingsStep).arg(k);
        return false;
    }
    QVector<QString> lines;
    if (!DeviceSettingsFile::load(path, &lines) || lines.size() != 600
        || lines.first() != CrashContent::settingsLine(k, 0)
        || lines.last() != CrashContent::settingsLine(k, 599)) {
        *fault = QStringLiteral("save_data.txt of step %1 does not load back").arg(k);
        return false;
    }
    settingsStep = k;
    *step = k;
    return true;
}

bool Harness::checkCounter(int *count, QString *fault)
{
    const QString path = dir.filePath(QStringLiteral("profile.txt"));
    *count = 0;
    if (!QFile::exists(path))
        return true;
    const QByteArray bytes = fileBytes(path);
    static const QRegularExpression oneNumber(QStringLiteral("\\A(\\d+)\r\n\\z"));
    const QRegularExpressionMatch match = oneNumber.match(QString::fromLatin1(bytes));
    if (!match.hasMatch()) {
        *fault = QStringLiteral("profile.txt holds %1").arg(QString::fromLatin1(bytes.toHex()));
        return false;
    }
    *count = match.captured(1).toInt();
    bool readable = false;
    if (HistoryStore::readStoredCount(dir.path(), &readable) != *count || !readable) {
        *fault = QStringLiteral("profile.txt %1 does not read back").arg(*count);
        return false;
    }
    return true;
}

bool Harness::checkHistoryFile(int day, int *lines, qint64 *lastStep, QString *fault)
{
    const QString name = HistoryStore::dayFileName(day);
    const QByteArray bytes = fileBytes(dir.filePath(name));
    CheckedPrefix &prefix = checked[day];
    int start = 0;
    int count = 0;
    const int firstEnd = bytes.indexOf("\r\n");
    if (prefix.size <= bytes.size() && prefix.size > 0 && firstEnd >= 0
        && bytes.left(firstEnd) == prefix.firstLine) {
        start = int(prefix.size);
        count = lineCounts.value(day);
    } else {
        prefix.tornAt = -1;
    }
    while (start < bytes.size()) {
        const int end = bytes.indexOf("\r\n", start);
        if (end < 0) {
            // Cut by the kill inside one write: it must be the start of the line in flight.
            const QByteArray tail = bytes.mid(start);
            // The days are read Monday first, so the step reached is also taken from the
            // last check: on a full disk the settings, read first, may lag a few steps behind.
            const qint64 reached = qMax(*lastStep, historyStep);
            bool known = false;
            for (qint64 k = qMax<qint64>(0, reached - 1); k <= reached + 8 && !known; ++k)
                known = expectedHistoryLine(k).startsWith(tail);
            if (!known) {
                *fault = QStringLiteral("%1 ends in %2 bytes of no line").arg(name).arg(tail.size());
                return false;
            }
            if (prefix.tornAt != start || prefix.tornTail != tail)
                ++torn;
            prefix.tornAt = start;
            prefix.tornTail = tail;
            break;
        }
        const QByteArray line = bytes.mid(start, end + 2 - start);
        // The next write ends a torn line, keeping its whole records.
        const QByteArray ending = prefix.tornTail.endsWith('\r') ? "\n" : "\r\n";
        if (start == prefix.tornAt && line == prefix.tornTail + ending) {
            prefix.tornAt = -1;
            ++count;
            start = end + 2;
            continue;
        }
        const QVector<QStringList> records = HistoryRecord::parse(QString::fromUtf8(line));
        const QString stamp = records.isEmpty() ? QString() : HistoryRecord::timeText(records.first());
        QDateTime time = QDateTime::fromString(stamp, kStampFormat);
        time.setTimeSpec(Qt::UTC);
        const qint64 k = time.isValid() ? CrashContent::minute(0).secsTo(time) / 60 : -1;
        bool whole = k >= 0 && line == expectedHistoryLine(k);
        for (const QStringList &fields : records)
            whole = whole && fields.size() == 5;
        if (!whole) {
            *fault = QStringLiteral("%1 line %2 is not one step's line").arg(name).arg(count + 1);
            return false;
        }
        *lastStep = qMax(*lastStep, k);
        historyStep = qMax(historyStep, k);
        ++count;
        start = end + 2;
    }
    prefix.size = start;
    prefix.firstLine = bytes.left(qMax(firstEnd, 0));
    lineCounts[day] = count;
    *lines = count;
    return true;
}

// A kill between a line and the counter that follows it leaves the line uncounted; the
// next start writes its line after it, so the day holds one line more than its slots.
// Nothing is lost; more than one such line per kill would be a fault.
bool Harness::checkConsistency(int count, const QVector<int> &lines, bool full, QString *fault)
{
    if (count == 0)
        return true;
    const int day = (count - 1) / HistoryStore::kLinesPerDay;
    const int filled = count - day * HistoryStore::kLinesPerDay;
    const int surplus = lines.at(day) - filled;
    // On a full disk the counter may also move on without its line, as for any unwritable
    // history file: that day keeps the missing slot from then on.
    const bool sameDay = day == lastDay;
    // A line cut short at the last check becomes a line when the next start ends it.
    const int lowest = full ? surplus : sameDay ? surplusFloor : 0;
    const int allowed =
        full ? surplus : (sameDay ? lastSurplus + (tornPending ? 1 : 0) : 0) + 1;
    surplusFloor = qMin(lowest, 0);
    lastDay = day;
    lastSurplus = surplus;
    tornPending = checked.value(day).tornAt >= 0;
    if (surplus < lowest || surplus > allowed) {
        *fault = QStringLiteral("count %1 but %2 holds %3 lines")
                     .arg(count).arg(HistoryStore::dayFileName(day)).arg(lines.at(day));
        return false;
    }
    return true;
}

int Harness::check(qint64 *next, QStringList *faults, bool full)
{
    int corrupted = 0;
    QString fault;
    qint64 step = -1;
    if (!checkSettings(&step, &fault)) {
        ++corrupted;
        faults->append(fault);
    }
    int count = 0;
    if (!checkCounter(&count, &fault)) {
        ++corrupted;
        faults->append(fault);
    }
    QVector<int> lines(HistoryStore::kDays, 0);
    bool historyWhole = true;
    for (int day = 0; day < HistoryStore::kDays; ++day) {
        if (!checkHistoryFile(day, &lines[day], &step, &fault)) {
            ++corrupted;
            historyWhole = false;
            faults->append(fault);
        }
    }
    if (historyWhole && !checkConsistency(count, lines, full, &fault)) {
        ++corrupted;
        faults->append(fault);
    }
    const QStringList known = {QStringLiteral("save_data.txt"), QStringLiteral("profile.txt"),
                               QStringLiteral(".filler")};
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (!known.contains(name) && !name.startsWith(QLatin1String("History_"))) {
            ++leftoverFiles;
            qInfo("crash-safety: left behind: %s", qPrintable(name));
            dir.remove(name);
        }
    }
    *next = qMax(*next, step + 1);
    return corrupted;
}

// Starts the writers 80 minutes before the end of the cycle, so even a short run crosses
// the Sunday-to-Monday wrap and the truncation of Monday.
bool seedNearTheWrap(const QString &directory, qint64 *next)
{
    const int count = HistoryStore::kCycleLines - 80;
    const int sundayLines = count - 6 * HistoryStore::kLinesPerDay;
    QByteArray sunday;
    for (int k = 0; k < sundayLines; ++k)
        sunday += expectedHistoryLine(k);
    const QDir dir(directory);
    *next = sundayLines;
    return writeFileBytes(dir.filePath(QStringLiteral("History_Sunday_value.txt")), sunday)
        && writeFileBytes(dir.filePath(QStringLiteral("profile.txt")), QByteArray::number(count) + "\r\n");
}

} // namespace

class tst_crashsafety : public QObject
{
    Q_OBJECT

private slots:
    void expectedContentIsWhatTheWritersProduce();
    void killsLeaveEveryFileWhole();
};

// The harness's own rebuild of the bytes must agree with one undisturbed step of the
// writers, or every kill below would count as a corruption.
void tst_crashsafety::expectedContentIsWhatTheWritersProduce()
{
    QTemporaryDir dir;
    QProcess writer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    writer.setProcessEnvironment(environment);
    writer.start(QStringLiteral(KESTRO_CRASHWRITER_PATH), {dir.path(), QStringLiteral("5")});
    QVERIFY(writer.waitForStarted(5000));
    QElapsedTimer clock;
    clock.start();
    while (HistoryStore::readStoredCount(dir.path()) < 3 && clock.elapsed() < 20000)
        QThread::msleep(5);
    writer.kill();
    writer.waitForFinished(5000);
    const QByteArray monday = fileBytes(dir.filePath(HistoryStore::dayFileName(0)));
    QVERIFY(monday.startsWith(expectedHistoryLine(5) + expectedHistoryLine(6)));
    QVERIFY(monday.contains("ID:001#温度:25.5#电流:0.25#状态:在线#时间:2026-01-05 00:05:00#;"));
    const QByteArray settings = fileBytes(dir.filePath(QStringLiteral("save_data.txt")));
    bool ok = false;
    const qint64 k = settings.left(settings.indexOf(':')).toLongLong(&ok);
    QVERIFY(ok && k >= 5);
    QCOMPARE(settings, expectedSettings(k));
}

void tst_crashsafety::killsLeaveEveryFileWhole()
{
    const KillCampaign campaign("crash-safety", 40);
    const int kills = campaign.kills;
    const int longest = campaign.longestMs;
    QRandomGenerator random(campaign.seed);

    // Every fourth writer runs on a full disk: what it replaces must stay the old file.
    SmallDisk dir(64);
    QVERIFY2(dir.isMounted(), "mounting a tmpfs needs root");
    Harness harness(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));

    qint64 next = 0;
    QVERIFY(seedNearTheWrap(dir.path(), &next));
    QStringList seedFaults;
    QCOMPARE(harness.check(&next, &seedFaults), 0);
    const qint64 first = next;
    int corrupted = 0;
    int progressed = 0;
    QStringList faults;
    int fullRounds = 0;
    for (int kill = 0; kill < kills; ++kill) {
        const bool full = kill % 4 == 3;
        const QStringList replaced = {QStringLiteral("save_data.txt"), QStringLiteral("profile.txt")};
        QList<QByteArray> before;
        for (const QString &name : replaced)
            before << fileBytes(QDir(dir.path()).filePath(name));
        QVERIFY(!full || dir.fill(0));
        QProcess writer;
        writer.setProcessEnvironment(environment);
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // "Open failed2." for the first counter read is expected, not news.
        writer.setStandardOutputFile(QProcess::nullDevice());
        writer.start(QStringLiteral(KESTRO_CRASHWRITER_PATH), {dir.path(), QString::number(next)});
        QVERIFY2(writer.waitForStarted(5000), qPrintable(writer.errorString()));
        QThread::usleep(1000 * random.bounded(1, longest + 1) + random.bounded(1000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000));
        QVERIFY2(writer.exitStatus() == QProcess::CrashExit,
                 "the writer stopped before it was killed");

        const qint64 from = next;
        harness.check(&next, &faults, full);
        if (!full && next > from)
            ++progressed;
        for (int k = 0; full && k < replaced.size(); ++k) {
            if (fileBytes(QDir(dir.path()).filePath(replaced.at(k))) != before.at(k))
                faults << QStringLiteral("%1 changed on a full disk").arg(replaced.at(k));
        }
        fullRounds += full;
        dir.release();
    }
    // A file stays corrupt until rewritten: each fault once, not once per later kill.
    faults.removeDuplicates();
    corrupted = faults.size();
    for (const QString &fault : faults)
        qWarning("%s", qPrintable(fault));
    qInfo("crash-safety: %d kills, %d of them on a full disk, %d corrupted files", kills,
          fullRounds, corrupted);
    qInfo("crash-safety: %d lines torn by a kill and ended by the next start, %d temporary files left behind",
          harness.tornLines(), harness.leftovers());
    qInfo("crash-safety: %d kills on free space landed after a write, %lld steps written",
          progressed, next - first);
    QVERIFY(progressed > (kills - fullRounds) / 2);
    QCOMPARE(corrupted, 0);
}

KESTRO_TEST_MAIN(tst_crashsafety)
#include "tst_crashsafety.moc"
