#pragma once

#include "testsupport.h"

#include <QApplication>
#include <functional>
#include <memory>

class MainWindow;
class QLineEdit;
class QObject;

// A station window polling the concentrator simulator over a fresh pty pair: the fixture of
// the tests that go through the serial line. setUpRig() before each case, tearDownRig() after.
class StationRig
{
protected:
    void setUpRig();
    void tearDownRig();
    MainWindow *newWindow(int stepMs);
    // socat and the simulator, then a window polling every stepMs with the port opened as an
    // operator would open it; false, with the reason logged, when any of it fails.
    bool startStation(const QStringList &simulatorOptions, int stepMs);

    QTemporaryDir dataDir;
    PtyPair *pty = nullptr;
    Simulator *simulator = nullptr;
    MainWindow *window = nullptr;
};
// Runs `inspect` on the next modal dialog to appear, then closes it unless inspect already
// did. Needed because the station opens its dialogs with exec().
void handleNextModal(std::function<void(QWidget *)> inspect);

QLineEdit *panelField(QObject *root, const char *prefix, int device);
// Puts the text into a panel field as the operator's typing does: the station takes it as a
// fresh reading.
void typeIntoPanel(QObject *root, const char *prefix, int device, const QString &text);

// Types the port into the serial dialog and presses its open button, as an operator would.
bool openPortAsOperator(MainWindow *window, const QString &portPath);

// The application object for a test. Leak checking pauses while it is made: the offscreen
// platform plugin never frees the screen objects it makes then. Whatever the station and the
// tests allocate afterwards is checked.
std::unique_ptr<QApplication> makeTestApplication(int &argc, char **argv);

// QTEST_MAIN with the settings isolated before anything can touch them.
#define KESTRO_TEST_MAIN(TestObject)                                                       \
    int main(int argc, char *argv[])                                                       \
    {                                                                                      \
        IsolatedSettings settings;                                                         \
        const auto app = makeTestApplication(argc, argv);                                  \
        QApplication::setAttribute(Qt::AA_Use96Dpi, true);                                 \
        TestObject test;                                                                   \
        return QTest::qExec(&test, argc, argv);                                            \
    }

