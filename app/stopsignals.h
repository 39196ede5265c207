#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (logout, shutdown, a service stop), SIGINT (Ctrl+C) and SIGHUP (the terminal it was
// started from closing) as a request to stop, told on the GUI thread: the station then ends
// as when its window is closed, with the journal written out, the site told it left and the
// lock released. A signal the station was started ignoring (nohup, a script's `&`) stays
// ignored. One object at a time; the signals' earlier handling comes back when it goes.
// Windows sends a program without a console no such signals: there it does nothing.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    // Once per signal received; `name` as "SIGTERM", for the service log.
    void stopRequested(const QString &name);

private:
    void readSignals();

    QSocketNotifier *notifier = nullptr;
};
