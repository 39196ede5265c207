#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtMessageHandler>
#include <functional>

class MainWindow;
class QLineEdit;
class QObject;

// Collects debug output while alive, so tests can check the station's log lines.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    bool contains(const QString &text) const { return captured.contains(text); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    static MessageCapture *active;
    QtMessageHandler previous;
    QStringList captured;
};

// A linked pair of pseudo-terminals made by socat; closed when destroyed.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    bool start(QString *error);
    QString stationEnd() const { return dir.filePath(QStringLiteral("station")); }
    QString concentratorEnd() const { return dir.filePath(QStringLiteral("concentrator")); }

private:
    QTemporaryDir dir;
    QProcess socat;
};

// The concentrator simulator on a device path; stopped when destroyed.
class Simulator
{
public:
    ~Simulator();
    bool start(const QString &device, const QStringList &options, QString *error);
    void stop();

private:
    QProcess process;
};

// Runs `inspect` on the next modal dialog to appear, then closes it. Needed because
// the station opens its dialogs with exec().
void handleNextModal(std::function<void(QWidget *)> inspect);

QLineEdit *panelField(QObject *root, const char *prefix, int device);

// Types the port into the serial dialog and presses its open button, as an operator would.
bool openPortAsOperator(MainWindow *window, const QString &portPath);
