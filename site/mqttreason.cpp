#include "site/mqttreason.h"

#include <QCoreApplication>

#include <mosquitto.h>

#include <cerrno>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <netdb.h>
#endif

// Inside the namespace: the unity build puts this file beside others with helpers of these names.
namespace MqttReason {
namespace {

// The library leaves socket errors in errno, as Winsock's numbers on Windows.
#ifdef Q_OS_WIN
constexpr int kReset = WSAECONNRESET;
constexpr int kAborted = WSAECONNABORTED;
constexpr int kRefused = WSAECONNREFUSED;
constexpr int kTimedOut = WSAETIMEDOUT;
constexpr int kHostUnreachable = WSAEHOSTUNREACH;
constexpr int kNetUnreachable = WSAENETUNREACH;
#else
constexpr int kReset = ECONNRESET;
constexpr int kAborted = EPIPE;
constexpr int kRefused = ECONNREFUSED;
constexpr int kTimedOut = ETIMEDOUT;
constexpr int kHostUnreachable = EHOSTUNREACH;
constexpr int kNetUnreachable = ENETUNREACH;
#endif

QString tr(const char *text)
{
    return QCoreApplication::translate("MqttReason", text);
}

QString closedByBroker()
{
    return tr("代理关闭了连接");
}

QString systemReason(int number)
{
    // A read of nothing: the broker closed its end, perhaps mid-packet.
    if (number == 0 || number == kReset || number == kAborted)
        return closedByBroker();
    if (number == kRefused)
        return tr("连接被拒绝（该端口没有代理在监听）");
    if (number == kTimedOut)
        return tr("连接超时（主机无应答）");
    if (number == kHostUnreachable || number == kNetUnreachable)
        return tr("网络不可达");
    return tr("网络错误：%1").arg(MqttReason::clause(qt_error_string(number)));
}

QString lookupReason(int code)
{
#ifdef Q_OS_WIN
    if (code == WSAHOST_NOT_FOUND || code == WSANO_DATA)
        return tr("找不到主机");
    if (code == WSATRY_AGAIN)
        return tr("域名解析暂时失败");
    return tr("主机名无法解析：%1").arg(MqttReason::clause(qt_error_string(code)));
#else
    if (code == EAI_NONAME)
        return tr("找不到主机");
    if (code == EAI_AGAIN)
        return tr("域名解析暂时失败");
    return tr("主机名无法解析：%1").arg(MqttReason::clause(QString::fromLocal8Bit(gai_strerror(code))));
#endif
}

// The complaint is OpenSSL's or the library's own; the two an operator meets are named.
QString tlsReason(const QString &complaint)
{
    if (complaint.contains(QLatin1String("host name verification failed")))
        return tr("证书与主机名不符");
    if (complaint.contains(QLatin1String("certificate verify failed")))
        return tr("证书不受信任");
    if (complaint.isEmpty())
        return tr("TLS 握手失败");
    return tr("TLS 握手失败：%1").arg(complaint);
}

} // namespace
} // namespace MqttReason

QString MqttReason::refused(int connackCode)
{
    switch (connackCode) {
    case 1:
        return tr("代理拒绝：协议版本不受支持");
    case 2:
        return tr("代理拒绝：客户端标识不被接受");
    case 3:
        return tr("代理拒绝：服务暂不可用");
    case 4:
        return tr("代理拒绝：用户名或密码错误");
    case 5:
        return tr("代理拒绝：未获授权（检查用户名和密码）");
    default:
        return tr("代理拒绝（代码 %1）").arg(connackCode);
    }
}

QString MqttReason::lost(int rc, int systemNumber, const QString &tlsComplaint)
{
    switch (rc) {
    case MOSQ_ERR_KEEPALIVE:
        return tr("代理无应答（超过保活时间）");
    case MOSQ_ERR_CONN_LOST:
        return closedByBroker();
    case MOSQ_ERR_TLS:
        return tlsReason(tlsComplaint);
    case MOSQ_ERR_EAI:
        return lookupReason(systemNumber);
    case MOSQ_ERR_ERRNO:
        return systemReason(systemNumber);
    default:
        return tr("连接出错：%1").arg(clause(QString::fromUtf8(mosquitto_strerror(rc))));
    }
}

QString MqttReason::clause(QString text)
{
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}
