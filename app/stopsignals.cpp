#include "app/stopsignals.h"

#include <QDebug>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int caught[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCaughtCount = sizeof caught / sizeof caught[0];
struct sigaction before[kCaughtCount];
bool taken[kCaughtCount] = {};
// [0] read on the GUI thread, [1] written by the handler on whichever thread the signal hits.
int wake[2] = {-1, -1};

// Nothing but write() is safe here. Non-blocking: if the GUI thread is so far behind that the
// socket is full, the bytes already there ask for the same stop.
void onStopSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    const ssize_t written = ::write(wake[1], &byte, 1);
    static_cast<void>(written);
    errno = savedErrno;
}

QString signalName(int number)
{
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    }
    return QStringLiteral("signal %1").arg(number);
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (wake[0] != -1) {
        qWarning("StopSignals: one at a time");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wake) != 0) {
        qWarning().noquote() << "stop signals end the station at once:" << std::strerror(errno);
        wake[0] = wake[1] = -1;
        return;
    }
    for (int fd : wake) {
        // Not inherited by the processes the station starts, and never blocking either side.
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier = new QSocketNotifier(wake[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::readSignals);
    for (int i = 0; i < kCaughtCount; ++i) {
        struct sigaction current;
        if (::sigaction(caught[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted system calls elsewhere in the station carry on as if nothing happened.
        action.sa_flags = SA_RESTART;
        taken[i] = ::sigaction(caught[i], &action, &before[i]) == 0;
    }
}

StopSignals::~StopSignals()
{
    if (wake[0] == -1 || !notifier)
        return;
    for (int i = 0; i < kCaughtCount; ++i) {
        if (taken[i])
            ::sigaction(caught[i], &before[i], nullptr);
        taken[i] = false;
    }
    delete notifier;
    ::close(wake[0]);
    ::close(wake[1]);
    wake[0] = wake[1] = -1;
}

void StopSignals::readSignals()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t count = ::read(wake[0], bytes, sizeof bytes);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        for (ssize_t i = 0; i < count; ++i)
            emit stopRequested(signalName(bytes[i]));
    }
}

#else

// A Windows program without a console gets no console control events to take the place of
// these signals; the end of a session comes as window messages, not handled here.
StopSignals::StopSignals(QObject *parent) : QObject(parent) {}

StopSignals::~StopSignals() = default;

void StopSignals::readSignals() {}

#endif
