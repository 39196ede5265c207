#include "monitor/alarmjournaldialog.h"
#include "storage/journalmodel.h"
#include "testsupport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

namespace {

struct Stored
{
    qint64 id, epochMs;
    int device, kind;
};

const qint64 kBaseMs = 1714550400000; // 2024-05-01 08:00:00 UTC

bool createJournal(QSqlDatabase database)
{
    QSqlQuery query(database);
    return query.exec("CREATE TABLE alarm_journal (id INTEGER PRIMARY KEY, device INTEGER NOT "
                      "NULL, kind INTEGER NOT NULL, event TEXT NOT NULL, time_text TEXT NOT NULL, "
                      "epoch_ms INTEGER NOT NULL, value REAL, limit_value REAL, text TEXT NOT "
                      "NULL, began_ms INTEGER, level INTEGER, cabinet_group TEXT, group_devices TEXT)") &&
           query.exec("CREATE INDEX alarm_journal_device_time ON alarm_journal(device, epoch_ms)");
}

// 3000 events; every stamp is shared by three of them and written out of time order, so the
// order of writing is no shortcut to the newest-first order and pages end inside a tie.
QVector<Stored> fillJournal(QSqlDatabase database)
{
    QVector<Stored> stored;
    database.transaction();
    QSqlQuery insert(database);
    insert.prepare("INSERT INTO alarm_journal (id, device, kind, event, time_text, epoch_ms, "
                   "text) VALUES (?, ?, ?, ?, '', ?, ?)");
    for (int i = 1; i <= 3000; ++i) {
        const bool station = i % 50 == 0;
        const Stored event{i, kBaseMs + (i * 7919 % 3000) / 3 * 60000,
                           station ? 0 : 1 + i * 37 % 200, station ? 0 : 1 + i % 3};
        for (const QVariant &value : {QVariant(event.id), QVariant(event.device),
                                      QVariant(event.kind), QVariant(station ? "clear" : "alarm"),
                                      QVariant(event.epochMs), QVariant(QString::number(i))})
            insert.addBindValue(value);
        if (!insert.exec())
            qWarning() << insert.lastError().text();
        stored << event;
    }
    database.commit();
    return stored;
}

QStringList column(const QAbstractItemModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

} // namespace

class JournalViewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void filtersListTheirEventsNewestFirstPageByPage();
    void exportDocumentHoldsTheShownTexts();
    void dialogQueriesAndExportsTheStationDatabase();

private:
    QTemporaryDir dir;
    QVector<Stored> stored;
};

void JournalViewTest::initTestCase()
{
    qputenv("TZ", "UTC0"); // the start column shows local time
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "journal");
    database.setDatabaseName(dir.filePath("journal.db"));
    QVERIFY(database.open());
    QVERIFY(createJournal(database));
    stored = fillJournal(database);
}

void JournalViewTest::cleanupTestCase()
{
    QSqlDatabase::database("journal").close();
    QSqlDatabase::removeDatabase("journal");
}

void JournalViewTest::filtersListTheirEventsNewestFirstPageByPage()
{
    JournalFilter all, device7, voltage40to90, lateHours;
    device7.firstDevice = device7.lastDevice = 7;
    voltage40to90.firstDevice = 40;
    voltage40to90.lastDevice = 90;
    voltage40to90.kind = 2;
    lateHours.fromMs = kBaseMs + 940 * 60000;
    lateHours.toMs = kBaseMs + 999 * 60000 - 1;
    for (const JournalFilter &filter : {all, device7, voltage40to90, lateHours}) {
        QVector<Stored> expected;
        for (const Stored &event : stored) {
            const bool device = event.device >= filter.firstDevice &&
                                event.device <= filter.lastDevice;
            if ((filter.kind == 0 && (device || event.device == 0)) ||
                (device && event.kind == filter.kind))
                if (event.epochMs >= filter.fromMs && event.epochMs <= filter.toMs)
                    expected << event;
        }
        std::sort(expected.begin(), expected.end(), [](const Stored &a, const Stored &b) {
            return a.epochMs != b.epochMs ? a.epochMs > b.epochMs : a.id > b.id;
        });
        QStringList ids;
        for (const Stored &event : expected)
            ids << QString::number(event.id);

        JournalModel model(QSqlDatabase::database("journal"), filter);
        QVERIFY(model.error().isEmpty());
        QCOMPARE(model.rowCount(), qMin(500, ids.size()));
        while (model.canFetchMore(QModelIndex())) {
            const int before = model.rowCount();
            model.fetchMore(QModelIndex());
            QVERIFY(model.rowCount() <= before + 500);
        }
        QCOMPARE(column(model, 5), ids);
    }
    // Worked out by hand: device 7's current events are ids 38 + 600k, stamps 307, 107, 907,
    // 707 and 507 minutes after the base.
    JournalModel model(QSqlDatabase::database("journal"), device7);
    device7.kind = 3;
    model.setFilter(device7);
    QCOMPARE(column(model, 5), QStringList({"1238", "1838", "2438", "38", "638"}));
    QCOMPARE(column(model, 2), QStringList({"电流", "电流", "电流", "电流", "电流"}));
}

void JournalViewTest::exportDocumentHoldsTheShownTexts()
{
    QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "two");
    database.setDatabaseName(":memory:");
    QVERIFY(database.open());
    QVERIFY(createJournal(database));
    QSqlQuery query(database);
    QVERIFY(query.exec("INSERT INTO alarm_journal VALUES (1, 5, 1, 'alarm', '2024-05-01 16:00:00', "
                       "1714550400000, 85.5, 80.0, '5温度异常', 1714550390000, 1, NULL, NULL), "
                       "(2, 0, 0, 'silence', '2024-05-01 16:00:05', 1714550405000, NULL, NULL, "
                       "'消音 \"张三\", 值班', NULL, NULL, NULL, NULL)"));
    QByteArray document;
    QVERIFY(AlarmJournalDialog::csvDocument(database, JournalFilter(), &document));
    QCOMPARE(document, QByteArray("\xEF\xBB\xBF"
                                  "时间,设备,类别,级别,事件,内容,数值,限值,开始时间\r\n"
                                  "2024-05-01 16:00:05,,,,消音,\"消音 \"\"张三\"\", 值班\",,,\r\n"
                                  "2024-05-01 16:00:00,5,温度,报警,报警,5温度异常,85.5,80,"
                                  "2024-05-01 07:59:50\r\n"));
    query.clear();
    database.close();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase("two");
}

void JournalViewTest::dialogQueriesAndExportsTheStationDatabase()
{
    QTemporaryDir dataDir;
    StationDatabase station(dataDir.path());
    AlarmJournalDialog dialog(&station);
    dialog.setExportDirectory(dataDir.path());
    auto *status = dialog.findChild<QLabel *>("journal_status");
    auto *first = dialog.findChild<QSpinBox *>("journal_first_device");
    auto *last = dialog.findChild<QSpinBox *>("journal_last_device");
    auto *table = dialog.findChild<QTableView *>("journal_table");
    dialog.show();
    QCOMPARE(status->text(), QStringLiteral("报警日志暂不可用"));
    QVERIFY(!first->isEnabled());
    QVERIFY(!table->model());
    dialog.hide();

    QVERIFY(station.open());
    QSqlQuery query(station.database());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    station.database().transaction();
    for (int i = 0; i < 1200; ++i)
        QVERIFY(query.exec(QStringLiteral("INSERT INTO alarm_journal (device, kind, event, "
                                          "time_text, epoch_ms, text) VALUES (%1, 1, 'alarm', "
                                          "'', %2, '%3')")
                               .arg(1 + i % 20)
                               .arg(now - (1200 - i) * 1000)
                               .arg(i)));
    station.database().commit();
    dialog.show();
    QVERIFY(first->isEnabled());
    QCOMPARE(table->model()->rowCount(), 500);
    first->setValue(7);
    last->setValue(7);
    dialog.findChild<QPushButton *>("journal_query_button")->click();
    QCOMPARE(table->model()->rowCount(), 60);
    QCOMPARE(table->model()->index(0, 5).data().toString(), QStringLiteral("1186"));

    QString path;
    handleNextModal([&](QWidget *modal) {
        auto *files = qobject_cast<QFileDialog *>(modal);
        QVERIFY(files);
        path = files->selectedFiles().value(0);
        static_cast<QDialog *>(files)->accept();
    });
    dialog.findChild<QPushButton *>("journal_export_button")->click();
    QVERIFY(QFileInfo(path).fileName().startsWith("alarm-journal-"));
    QTRY_VERIFY(QFileInfo::exists(path));
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    QCOMPARE(lines.size(), 62); // heading, 60 events, nothing after the last CR LF
    QVERIFY(lines.at(1).endsWith(",7,温度,报警,报警,1186,,,\r"));

    // Events after the opening are found by a later query: the end of the range follows the
    // clock. The link alarm, a station event, is listed under its own kind.
    const qint64 later = QDateTime::currentMSecsSinceEpoch() + 1000;
    QVERIFY(query.exec(QStringLiteral("INSERT INTO alarm_journal (device, kind, event, time_text, "
                                      "epoch_ms, text) VALUES (7, 1, 'alarm', '', %1, 'later'), "
                                      "(0, 4, 'alarm', '', %1, '集中器通讯中断')").arg(later)));
    QTest::qWait(2000);
    dialog.findChild<QPushButton *>("journal_query_button")->click();
    QCOMPARE(table->model()->rowCount(), 62);
    QCOMPARE(table->model()->index(1, 5).data().toString(), QStringLiteral("later"));
    dialog.findChild<QComboBox *>("journal_kind")->setCurrentIndex(4);
    dialog.findChild<QPushButton *>("journal_query_button")->click();
    QCOMPARE(table->model()->rowCount(), 1);
    QCOMPARE(table->model()->index(0, 2).data().toString(), QStringLiteral("通讯"));
    dialog.hide();
}

KESTRO_TEST_MAIN(JournalViewTest)
#include "tst_journalview.moc"
