#include "app/mainwindow.h"
#include "serial/linkmemory.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// No key here quits the station or reaches outside it: no modifiers, no close shortcuts.
const Qt::Key kKeys[] = {
    Qt::Key_Tab,  Qt::Key_Backtab, Qt::Key_Return, Qt::Key_Enter,    Qt::Key_Escape,
    Qt::Key_Space, Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Left,     Qt::Key_Right,
    Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End,     Qt::Key_Backspace,
    Qt::Key_Delete, Qt::Key_0,     Qt::Key_1,      Qt::Key_5,        Qt::Key_9,
    Qt::Key_Minus, Qt::Key_Period, Qt::Key_A,      Qt::Key_E,        Qt::Key_Z,
};

// Separators, signs, exponents, wide and right-to-left characters, a surrogate pair.
const QStringList kAlphabet = QString::fromUtf8("0 1 2 5 9 - + . , e E # ; : a z X 温 度 在 线 \u200f \xF0\x9F\x98\x80")
                                  .split(QLatin1Char(' ')) +
                              QStringList{QStringLiteral(" ")};

} // namespace

class MonkeyTest : public QObject
{
    Q_OBJECT

public:
    MonkeyTest()
    {
        // A long run is one test function; QtTest's five minutes would cut it short.
        const int seconds = qEnvironmentVariableIntValue("KESTRO_MONKEY_SECONDS");
        if (seconds > 200 && !qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
            qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((seconds + 300) * 1000LL));
    }

private slots:
    void randomEventsLeaveTheStationRunning();

private:
    void step();
    void act(QWidget *root);
    void closeModal(QWidget *modal);

    QRandomGenerator random;
    MainWindow *window = nullptr;
    QTimer driver;
    qint64 events = 0;
    int eventsInModal = 0;
    int modalBudget = 0;
    QPointer<QWidget> lastModal;
    QMap<QString, int> modalsSeen;
    QString portPath;
};

void MonkeyTest::closeModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

void MonkeyTest::act(QWidget *root)
{
    QList<QWidget *> candidates;
    QList<QWidget *> buttons;
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->width() <= 0 ||
            widget->height() <= 0)
            continue;
        candidates << widget;
        if (qobject_cast<QAbstractButton *>(widget))
            buttons << widget;
    }
    if (candidates.isEmpty())
        return;
    ++events;
    const int kind = random.bounded(100);
    if (kind < 45) {
        // Buttons are few among the 1400 fields; aim at them often enough to reach every view.
        const QList<QWidget *> &pool = buttons.isEmpty() || kind >= 30 ? candidates : buttons;
        QWidget *target = pool.at(random.bounded(pool.size()));
        const QPoint at(random.bounded(target->width()), random.bounded(target->height()));
        if (random.bounded(10) == 0)
            QTest::mouseDClick(target, Qt::LeftButton, Qt::NoModifier, at);
        else
            QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    } else if (kind < 75) {
        QWidget *target = QApplication::focusWidget();
        if (!target || !target->isVisible())
            target = candidates.at(random.bounded(candidates.size()));
        QTest::keyClick(target, kKeys[random.bounded(int(sizeof kKeys / sizeof kKeys[0]))]);
    } else {
        QWidget *focused = QApplication::focusWidget();
        auto *edit = qobject_cast<QLineEdit *>(focused);
        if (!edit || !edit->isVisible()) {
            QList<QLineEdit *> edits;
            for (QWidget *widget : candidates) {
                if (auto *candidate = qobject_cast<QLineEdit *>(widget))
                    edits << candidate;
            }
            if (edits.isEmpty())
                return;
            edit = edits.at(random.bounded(edits.size()));
            edit->setFocus();
        }
        // Typed as text events: most of these characters have no key code.
        const int length = 1 + random.bounded(8);
        for (int i = 0; i < length; ++i) {
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown,
                                kAlphabet.at(random.bounded(kAlphabet.size())), Qt::NoModifier);
        }
    }
}

void MonkeyTest::step()
{
    driver.setInterval(5 + random.bounded(16));
    if (QWidget *popup = QApplication::activePopupWidget()) {
        ++events;
        if (random.bounded(2))
            QTest::keyClick(popup, random.bounded(2) ? Qt::Key_Down : Qt::Key_Return);
        else
            popup->close();
        return;
    }
    QWidget *modal = QApplication::activeModalWidget();
    if (modal) {
        if (modal != lastModal)
            ++modalsSeen[QString::fromLatin1(modal->metaObject()->className())];
        // Their buttons could browse or make folders outside the data directory.
        if (qobject_cast<QFileDialog *>(modal) || qobject_cast<QMessageBox *>(modal)) {
            ++events;
            closeModal(modal);
            return;
        }
        if (modal != lastModal) {
            lastModal = modal;
            eventsInModal = 0;
            modalBudget = 3 + random.bounded(10);
        }
        if (++eventsInModal > modalBudget) {
            ++events;
            closeModal(modal);
            return;
        }
    }
    // The monkey's own closes and typed port names would otherwise keep the faulting
    // concentrator out of most of the run.
    if (!modal && !window->port()->isOpen() && random.bounded(100) == 0) {
        ++events;
        openPortAsOperator(window, portPath);
        return;
    }
    // Queued, so a dialog opened by this event runs its exec() outside the timer's own
    // callback, and the timer keeps firing inside it.
    QPointer<QWidget> root = modal ? modal : window;
    QMetaObject::invokeMethod(
        this, [this, root]() {
            if (root && root->isVisible())
                act(root);
        },
        Qt::QueuedConnection);
}

void MonkeyTest::randomEventsLeaveTheStationRunning()
{
    const int seconds = qEnvironmentVariableIsSet("KESTRO_MONKEY_SECONDS")
                            ? qEnvironmentVariableIntValue("KESTRO_MONKEY_SECONDS")
                            : 30;
    const quint32 seed = qEnvironmentVariableIsSet("KESTRO_MONKEY_SEED")
                             ? quint32(qEnvironmentVariable("KESTRO_MONKEY_SEED").toUInt())
                             : QRandomGenerator::global()->generate();
    random.seed(seed);
    qInfo("monkey: seed %u (KESTRO_MONKEY_SEED=%u repeats this run)", seed, seed);

    QTemporaryDir dataDir;
    QVERIFY(dataDir.isValid());
    LinkMemory::forget();
    PtyPair pty;
    Simulator simulator;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    QVERIFY2(simulator.start(pty.concentratorEnd(),
                             {QStringLiteral("--fault"), QStringLiteral("bad-crc:30401"),
                              QStringLiteral("--fault"), QStringLiteral("late:30601"),
                              QStringLiteral("--late-ms"), QStringLiteral("500"),
                              QStringLiteral("--fault"), QStringLiteral("chunks:30101")},
                             &error),
             qPrintable(error));
    window = new MainWindow(nullptr, dataDir.path());
    window->setPollStepInterval(300);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    portPath = pty.stationEnd();
    QVERIFY(openPortAsOperator(window, portPath));

    connect(&driver, &QTimer::timeout, this, &MonkeyTest::step);
    driver.start(10);
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < seconds * 1000LL)
        QTest::qWait(100);
    driver.stop();
    // Whatever the last events opened is closed, innermost first.
    for (int tries = 0; tries < 50; ++tries) {
        QCoreApplication::processEvents();
        QWidget *open = QApplication::activePopupWidget();
        if (!open)
            open = QApplication::activeModalWidget();
        if (!open)
            break;
        closeModal(open);
        QTest::qWait(20);
    }
    QVERIFY(!QApplication::activeModalWidget());
    const double spent = wall.elapsed() / 1000.0;

    auto *clock = window->findChild<QLabel *>(QStringLiteral("system_time"));
    QVERIFY(clock);
    const QString shown = clock->text();
    QTRY_VERIFY_WITH_TIMEOUT(clock->text() != shown, 3000);
    QStringList reached;
    for (auto it = modalsSeen.cbegin(); it != modalsSeen.cend(); ++it)
        reached << QStringLiteral("%1 x%2").arg(it.key()).arg(it.value());
    qInfo("monkey: dialogs reached: %s", qPrintable(reached.join(QStringLiteral(", "))));
    qInfo("monkey: %lld events in %.0f s, 0 crashes", events, spent);
    delete window;
    window = nullptr;
}

KESTRO_TEST_MAIN(MonkeyTest)
#include "tst_monkey.moc"
