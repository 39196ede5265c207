#include "serial/networkline.h"

#include "serial/mbapframe.h"

#include <QUrl>

namespace {

const char kRawScheme[] = "tcp";
const char kGatewayScheme[] = "mbtcp";

} // namespace

NetworkLine::NetworkLine(QObject *parent)
    : LinkLine(parent)
{
    connectTimer.setSingleShot(true);
    // An unreachable host would keep the connect waiting for minutes.
    connect(&connectTimer, &QTimer::timeout, this, [this] {
        socket.abort();
        problem = tr("connection timed out");
        emit failed();
    });
    connect(&socket, &QTcpSocket::connected, this, [this] {
        connectTimer.stop();
        // Eight-byte requests must not wait to be gathered with others.
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit connected();
    });
    connect(&socket, &QTcpSocket::errorOccurred, this, [this] {
        if (!opened)
            return;
        connectTimer.stop();
        problem = socket.errorString();
        emit failed();
    });
    connect(&socket, &QTcpSocket::readyRead, this, &NetworkLine::arrived);
}

bool NetworkLine::isNetworkName(const QString &name)
{
    const QString scheme = QUrl(name).scheme();
    return scheme == QLatin1String(kRawScheme) || scheme == QLatin1String(kGatewayScheme);
}

LinkLine::Opening NetworkLine::open(const QString &name)
{
    close();
    const QUrl url(name, QUrl::StrictMode);
    if (!url.isValid() || !isNetworkName(name) || url.host().isEmpty() || url.port() < 1
        || (!url.path().isEmpty() && url.path() != QLatin1String("/"))) {
        problem = tr("not a network line: %1 (tcp://HOST:PORT or mbtcp://HOST:PORT)").arg(name);
        return Opening::Failed;
    }
    gateway = url.scheme() == QLatin1String(kGatewayScheme);
    opened = true;
    problem.clear();
    connectTimer.start(kConnectTimeoutMs);
    socket.connectToHost(url.host(), quint16(url.port()));
    return Opening::Connecting;
}

void NetworkLine::close()
{
    opened = false;
    connectTimer.stop();
    socket.abort();
    received.clear();
    answers.clear();
}

void NetworkLine::clearInput()
{
    if (gateway) {
        // A frame half received stays: it says itself which request it answers.
        answers.clear();
        return;
    }
    socket.readAll();
}

void NetworkLine::write(const QByteArray &rtuFrame)
{
    if (socket.state() != QAbstractSocket::ConnectedState)
        return;
    if (!gateway) {
        socket.write(rtuFrame);
        return;
    }
    ++transaction;
    socket.write(MbapFrame::fromRtu(rtuFrame, transaction));
}

QByteArray NetworkLine::readAll()
{
    if (!gateway)
        return socket.readAll();
    QByteArray taken;
    taken.swap(answers);
    return taken;
}

void NetworkLine::arrived()
{
    if (!gateway) {
        emit readyRead();
        return;
    }
    received += socket.readAll();
    for (;;) {
        const QByteArray before = received;
        quint16 answered = 0;
        QByteArray rtu;
        const MbapFrame::Take take = MbapFrame::takeAnswer(&received, &answered, &rtu);
        if (take == MbapFrame::Take::Incomplete)
            break;
        if (take == MbapFrame::Take::Garbage)
            answers += before; // judged, and counted, as a damaged answer
        else if (answered == transaction)
            answers += rtu;
        else
            emit lateAnswer();
    }
    if (!answers.isEmpty())
        emit readyRead();
}
