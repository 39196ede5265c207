// Hostile text in every field the operator can type into, followed by what the station
// does with it: evaluation, a history minute, the curve, saving, a restart, a history
// query and its export. Nothing may crash or hang, and every file must stay readable.

#include "testsupport.h"

#include "app/mainwindow.h"
#include "forms/mainwindowform.h"
#include "forms/panelcolumn.h"
#include "forms/serialportform.h"
#include "forms/thresholdform.h"
#include "monitor/threshold.h"
#include "serial/linkmemory.h"
#include "serial/serial_port.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

namespace {

const char *const kColumns[] = {
    PanelPrefix::Name,    PanelPrefix::Location, PanelPrefix::Voltage, PanelPrefix::Temperature,
    PanelPrefix::Correction, PanelPrefix::Current, PanelPrefix::Status,
};
// The columns kept in the settings file, in its order.
const char *const kSaved[] = {PanelPrefix::Name, PanelPrefix::Location, PanelPrefix::Correction};

// Its temperature stays valid, so its hostile status is always written to the history.
constexpr int kCarrier = 1;
// Keystrokes are slow: the date editors get the start of a long text only.
constexpr int kMaxKeystrokes = 64;

struct Hostile
{
    const char *name;
    QString text;
};

QVector<Hostile> hostileInputs()
{
    QString megabyte;
    const QString piece = QStringLiteral("温度#;电流 12.5🔥\t");
    while (megabyte.size() < (1 << 20))
        megabyte += piece;
    megabyte.truncate(1 << 20);
    return {
        {"empty", QString()},
        {"1 MB", megabyte},
        {"NUL", QString(QChar(0))},
        {"hash", QStringLiteral("#")},
        {"semicolon", QStringLiteral(";")},
        {"separators", QStringLiteral("#;#;")},
        {"emoji", QStringLiteral("🔥😀")},
        {"minus zero", QStringLiteral("-0")},
        {"1e309", QStringLiteral("1e309")},
        {"nan", QStringLiteral("nan")},
        {"eleven nines", QStringLiteral("99999999999")},
        {"blanks", QStringLiteral("  7  ")},
        {"right-to-left mark", QStringLiteral("\u200F12")},
        {"Chinese", QStringLiteral("一号变压器；高压侧＃2 出线")},
        {"line breaks", QStringLiteral("a\r\nb\nc\rd")},
    };
}

// As the README says the settings file keeps a text: line breaks become blanks.
QString settingsForm(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// As the README says a status is stored: full-width "＃" and "；", and a line break or NUL
// never reaches the file.
QString storedStatusForm(QString text)
{
    text.replace(QLatin1Char('#'), QChar(0xFF03)).replace(QLatin1Char(';'), QChar(0xFF1B));
    for (QChar c : {QChar(u'\r'), QChar(u'\n'), QChar(u'\0')})
        text.replace(c, QLatin1Char(' '));
    return text;
}

// Splits CSV as RFC 4180 does; false when a quote is left open.
bool csvRows(const QString &text, QVector<QStringList> *rows)
{
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            row.append(field);
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            row.append(field);
            rows->append(row);
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return !quoted && row.isEmpty() && field.isEmpty();
}

// Like handleNextModal, but gives up when no modal came, so it never answers a later one.
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(QWidget *)> inspect)
    {
        timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [this, inspect]() {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            timer->stop();
            answered = true;
            inspect(modal);
            if (modal->isVisible()) {
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        timer->start();
    }
    ~ModalAnswer() { delete timer; }
    bool answered = false;

private:
    QTimer *timer = nullptr;
};

// QTest::keyClicks knows ASCII only; this types any text, a surrogate pair as one key.
void typeText(QWidget *widget, const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString key = text.mid(i, length);
        i += length - 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, key);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class tst_garbage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void csvReaderFollowsTheRules();
    void hostileTextEverywhere_data();
    void hostileTextEverywhere();

private:
    MainWindow *startStation();
    QVector<int> fedDevices() const;
    void feed(const QString &text, int round);
    void checkHistoryFiles(const QHash<int, QString> &statusOfDevice, const QString &stamp);
    void checkSettings(const QHash<int, QString> &fieldText);
    QString queryAndExport(const QString &idText);

    QTemporaryDir dataDir;
    PtyPair pty;
    Simulator simulator;
    MainWindow *window = nullptr;
    bool full = false;
    QDateTime base;
    int round = 0;
    quint32 seed = 0;
};

void tst_garbage::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    LinkMemory::forget();
    full = qEnvironmentVariableIntValue("KESTRO_SOAK") == 1;
    bool ok = false;
    seed = qEnvironmentVariable("KESTRO_SOAK_SEED").toUInt(&ok);
    if (!ok)
        seed = QRandomGenerator::system()->generate();
    qInfo("garbage: %s run, seed %u", full ? "full" : "quick", seed);
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    QVERIFY2(simulator.start(pty.concentratorEnd(),
                             {QStringLiteral("--fault"), QStringLiteral("bad-crc:30401"),
                              QStringLiteral("--fault"), QStringLiteral("chunks:30101")},
                             &error),
             qPrintable(error));
    const QDateTime now = QDateTime::currentDateTime();
    base = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute())).addSecs(-3600);
    window = startStation();
    QVERIFY(openPortAsOperator(window, pty.stationEnd()));
}

void tst_garbage::cleanupTestCase()
{
    delete window;
    window = nullptr;
}

MainWindow *tst_garbage::startStation()
{
    auto *made = new MainWindow(nullptr, dataDir.path());
    made->setPollStepInterval(200);
    return made;
}

// A rotating sample in the quick run, the ends of the range always among it.
QVector<int> tst_garbage::fedDevices() const
{
    QVector<int> devices;
    if (full) {
        for (int device = 1; device <= PanelColumn::kDeviceCount; ++device)
            devices.append(device);
        return devices;
    }
    QRandomGenerator random(seed + quint32(round));
    devices = {1, 15, 16, 100, 101, 200};
    for (int k = 0; k < 6; ++k)
        devices.append(random.bounded(2, 200));
    return devices;
}

void tst_garbage::csvReaderFollowsTheRules()
{
    QVector<QStringList> rows;
    QVERIFY(csvRows(QStringLiteral("a,\"b,\"\"c\"\"\",\r\n1,2,3\r\n"), &rows));
    QCOMPARE(rows, (QVector<QStringList>{{"a", "b,\"c\"", ""}, {"1", "2", "3"}}));
    QVERIFY(!csvRows(QStringLiteral("a,\"b\r\n"), &rows));
    QVERIFY(!csvRows(QStringLiteral("a,b"), &rows));
}

void tst_garbage::hostileTextEverywhere_data()
{
    QTest::addColumn<QString>("text");
    for (const Hostile &input : hostileInputs())
        QTest::newRow(input.name) << input.text;
}

void tst_garbage::feed(const QString &text, int)
{
    MainWindowForm *ui = window->form();
    ui->concentrator_id->setText(text);

    // The port: the open one is closed, the hostile one fails, the real one is reopened.
    SerialPortForm *portForm = window->serialPortSettings()->form();
    if (window->port()->isOpen())
        portForm->OpenSerialButton->click();
    QString message;
    {
        ModalAnswer answer([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                message = box->text();
        });
        portForm->PortBox->setEditText(text);
        portForm->OpenSerialButton->click();
    }
    if (window->port()->isOpen())
        portForm->OpenSerialButton->click();
    else
        QCOMPARE(message, QStringLiteral("串口打开失败!"));
    QVERIFY(openPortAsOperator(window, pty.stationEnd()));

    ThresholdForm *limits = window->thresholdSettings()->form();
    for (QLineEdit *field : {limits->Before_seria_num, limits->After_serial_num,
                             limits->lineEdit_Upper_temperature, limits->lineEdit_Lower_temperature,
                             limits->lineEdit_Upper_current})
        field->setText(text);
    limits->Threshold_Settings->click();

    ui->Historical_curve_temperature_id->setText(text);
    ui->Historical_curve_query_button->click();

    ui->history_button->click();
    ui->History_id->setText(text);
    for (QDateTimeEdit *editor : {ui->dateTime_head, ui->dateTime_tail}) {
        editor->setFocus();
        editor->selectAll();
        typeText(editor, text.left(kMaxKeystrokes));
        QTest::keyClick(editor, Qt::Key_Enter);
    }

    // Last, with no event handled after it: a poll answer would overwrite the panels.
    for (int device : fedDevices()) {
        for (const char *prefix : kColumns) {
            QLineEdit *field = panelField(window, prefix, device);
            QVERIFY(field);
            typeIntoPanel(window, prefix, device, text);
        }
    }
    typeIntoPanel(window, PanelPrefix::Temperature, kCarrier, QStringLiteral("25.5"));
    typeIntoPanel(window, PanelPrefix::Status, kCarrier, text);
}

QString tst_garbage::queryAndExport(const QString &idText)
{
    MainWindowForm *ui = window->form();
    ui->history_button->click();
    ui->History_id->setText(idText);
    ui->history_query_button->click();
    if (!QTest::qWaitFor([&]() { return ui->history_query_button->isEnabled(); }, 60000)) {
        QTest::qFail("the history query did not end within 60 s", __FILE__, __LINE__);
        return QString();
    }
    if (!ui->history_export_button->isEnabled())
        return QString();
    QString path;
    {
        ModalAnswer answer([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                path = dialog->selectedFiles().value(0);
                static_cast<QDialog *>(dialog)->accept();
            }
        });
        ui->history_export_button->click();
    }
    return path;
}

void tst_garbage::checkHistoryFiles(const QHash<int, QString> &statusOfDevice, const QString &stamp)
{
    int recordsChecked = 0;
    for (const QString &name : QDir(dataDir.path()).entryList({QStringLiteral("History_*_value.txt")})) {
        const QString text = QString::fromUtf8(fileBytes(QDir(dataDir.path()).filePath(name)));
        QVERIFY2(text.isEmpty() || text.endsWith(QLatin1String("\r\n")), qPrintable(name));
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        for (int n = 0; n + 1 < lines.size(); ++n) {
            const QString &line = lines.at(n);
            QVERIFY2(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n'))
                         && !line.contains(QChar(0)),
                     qPrintable(QStringLiteral("%1 line %2").arg(name).arg(n + 1)));
            QVERIFY2(line.endsWith(QLatin1String("#;")), qPrintable(QStringLiteral("%1 line %2").arg(name).arg(n + 1)));
            const QStringList records = line.split(QLatin1Char(';'));
            for (int r = 0; r + 1 < records.size(); ++r) {
                const QStringList fields = records.at(r).split(QLatin1Char('#'));
                // Five fields, each ended by "#".
                QVERIFY2(fields.size() == 6 && fields.last().isEmpty(),
                         qPrintable(QStringLiteral("%1 line %2 record %3 has %4 fields")
                                        .arg(name).arg(n + 1).arg(r + 1).arg(fields.size() - 1)));
                if (!fields.at(4).endsWith(stamp))
                    continue;
                const int device = fields.at(0).mid(3).toInt();
                if (!statusOfDevice.contains(device))
                    continue;
                QCOMPARE(fields.at(3), QStringLiteral("状态:") + storedStatusForm(statusOfDevice.value(device)));
                ++recordsChecked;
            }
        }
    }
    QVERIFY2(recordsChecked > 0, "the carrier device's minute record is missing");
}

void tst_garbage::checkSettings(const QHash<int, QString> &fieldText)
{
    const QByteArray bytes = fileBytes(QDir(dataDir.path()).filePath(QStringLiteral("save_data.txt")));
    QCOMPARE(bytes.count('\n'), 600);
    QVERIFY(bytes.endsWith('\n'));
    // The restarted station shows what the first one saved.
    for (auto it = fieldText.cbegin(); it != fieldText.cend(); ++it) {
        const int device = it.key() % 1000;
        const char *prefix = kSaved[it.key() / 1000];
        QLineEdit *field = panelField(window, prefix, device);
        QVERIFY(field);
        QVERIFY2(field->text() == settingsForm(it.value()),
                 qPrintable(QStringLiteral("%1%2: %3 characters back for %4")
                                .arg(QLatin1String(prefix)).arg(device)
                                .arg(field->text().size()).arg(it.value().size())));
    }
}

void tst_garbage::hostileTextEverywhere()
{
    QFETCH(QString, text);
    ++round;
    feed(text, round);
    if (QTest::currentTestFailed())
        return;

    QHash<int, QString> statusOfDevice;
    QHash<int, QString> savedText;
    for (int device = 1; device <= PanelColumn::kDeviceCount; ++device) {
        statusOfDevice.insert(device, panelField(window, PanelPrefix::Status, device)->text());
        for (int column = 0; column < 3; ++column)
            savedText.insert(column * 1000 + device, panelField(window, kSaved[column], device)->text());
    }
    // What was typed is what the field holds, up to the field's own length limit.
    QCOMPARE(statusOfDevice.value(kCarrier), text.left(panelField(window, PanelPrefix::Status, kCarrier)->maxLength()));

    const QDateTime minute = base.addSecs(60 * round);
    window->evaluateNow();
    window->recordHistoryAt(minute);
    window->drawCurveAt(minute.addSecs(1));
    window->form()->save_button->click();
    checkHistoryFiles(statusOfDevice, minute.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (QTest::currentTestFailed())
        return;

    delete window;
    window = startStation();
    QVERIFY(window->isSoleInstance());
    checkSettings(savedText);
    if (QTest::currentTestFailed())
        return;
    if (!window->port()->isOpen())
        QVERIFY(openPortAsOperator(window, pty.stationEnd()));

    // The hostile device text first; then the carrier, whose records hold the hostile status.
    MainWindowForm *ui = window->form();
    ui->history_button->click();
    ui->dateTime_head->setDateTime(base.addSecs(-60));
    ui->dateTime_tail->setDateTime(base.addSecs(3600 * 2));
    const QString hostilePath = queryAndExport(text);
    if (!hostilePath.isEmpty())
        QFile::remove(hostilePath);
    const QString path = queryAndExport(QString::number(kCarrier));
    QVERIFY2(!path.isEmpty(), "nothing to export for the carrier device");
    const QByteArray csv = fileBytes(path);
    QFile::remove(path);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF" "设备号,温度,电流,状态,时间\r\n"));
    QVector<QStringList> rows;
    QVERIFY2(csvRows(QString::fromUtf8(csv.mid(3)), &rows), "an open quote in the export");
    QCOMPARE(rows.size(), round + 1);
    for (const QStringList &row : rows)
        QCOMPARE(row.size(), 5);
    QCOMPARE(rows.last().at(3), storedStatusForm(statusOfDevice.value(kCarrier)));
}

KESTRO_TEST_MAIN(tst_garbage)
#include "tst_garbage.moc"
