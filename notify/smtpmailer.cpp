#include "notify/smtpmailer.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>

namespace {

struct Upload
{
    const QByteArray &bytes;
    qsizetype sent = 0;
};

size_t readMessage(char *buffer, size_t size, size_t count, void *data)
{
    auto *upload = static_cast<Upload *>(data);
    const size_t left = size_t(upload->bytes.size() - upload->sent);
    const size_t taken = qMin(left, size * count);
    std::memcpy(buffer, upload->bytes.constData() + upload->sent, taken);
    upload->sent += qsizetype(taken);
    return taken;
}

int progressed(void *cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return cancel && static_cast<const std::atomic<bool> *>(cancel)->load() ? 1 : 0;
}

// Once per process, before any thread sends: libcurl's global set-up is not thread-safe.
void initialiseOnce()
{
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(done)
}

} // namespace

SmtpMailer::Security SmtpMailer::securityFromText(const QString &text)
{
    if (text == QLatin1String("none"))
        return Security::None;
    if (text == QLatin1String("tls"))
        return Security::Tls;
    return Security::StartTls;
}

SmtpMailer::Result SmtpMailer::send(const Server &server, const QString &from, const QStringList &to,
                                    const QByteArray &message, const std::atomic<bool> *cancel)
{
    initialiseOnce();
    Result result;
    const std::unique_ptr<CURL, void (*)(CURL *)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        result.error = QStringLiteral("libcurl could not start");
        return result;
    }
    const QByteArray url = (server.security == Security::Tls ? "smtps://" : "smtp://")
        + server.host.toUtf8() + ':' + QByteArray::number(server.port);
    const QByteArray sender = '<' + from.toUtf8() + '>';
    const QByteArray user = server.user.toUtf8();
    const QByteArray password = server.password.toUtf8();
    const QByteArray ca = server.caFile.toUtf8();
    std::unique_ptr<curl_slist, void (*)(curl_slist *)> recipients(nullptr, curl_slist_free_all);
    for (const QString &address : to) {
        const QByteArray one = '<' + address.trimmed().toUtf8() + '>';
        recipients.reset(curl_slist_append(recipients.release(), one.constData()));
    }
    Upload upload{message};
    char reason[CURL_ERROR_SIZE] = {};

    CURL *handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, reason);
    // Threads without signals: name lookups time out by the timeout below, not by SIGALRM.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, long(server.timeoutSeconds));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, long(qMin(server.timeoutSeconds, 15)));
    if (server.security == Security::StartTls)
        curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!ca.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, ca.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(handle, CURLOPT_READDATA, &upload);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    if (cancel) {
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progressed);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(cancel));
    }

    const CURLcode code = curl_easy_perform(handle);
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.reply);
    result.accepted = code == CURLE_OK;
    if (!result.accepted)
        result.error = QString::fromUtf8(reason[0] ? reason : curl_easy_strerror(code));
    return result;
}
