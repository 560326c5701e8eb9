#include "curltransfer.h"

#include <QLoggingCategory>
#include <QMetaObject>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcTransfer, "velmora.transfer", QtWarningMsg)

namespace {

constexpr const char *AllowedProtocols = "http,https,ftp,ftps";
// Progress is passed on at most this often, or when this much more has arrived.
constexpr auto ProgressInterval = std::chrono::milliseconds(50);
constexpr qint64 ProgressStep = 256 * 1024;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

struct CurlTransfer::Worker
{
    CurlTransfer *owner = nullptr;
    quint64 generation = 0;
    TransferRequest request;
    std::atomic<bool> abort{false};
    std::thread thread;

    // Touched by the worker thread only.
    CURL *curl = nullptr;
    int lastPhase = 0;
    bool connected = false;
    bool resolved = false;
    TransferResult result;
    qint64 reported = -1;
    std::chrono::steady_clock::time_point reportedAt;

    // Runs f on the owner's thread, unless the owner has moved on to another request.
    void post(std::function<void(CurlTransfer *)> f)
    {
        CurlTransfer *o = owner;
        const quint64 gen = generation;
        QMetaObject::invokeMethod(
                o,
                [o, gen, f = std::move(f)] {
                    if (o->m_generation == gen)
                        f(o);
                },
                Qt::QueuedConnection);
    }

    void phase(int p)
    {
        if (p == lastPhase)
            return;
        lastPhase = p;
        post([p](CurlTransfer *o) { Q_EMIT o->phaseChanged(p); });
    }

    void progress(bool force)
    {
        const qint64 received = result.body.size();
        const auto now = std::chrono::steady_clock::now();
        if (!force && reported >= 0 && received - reported < ProgressStep
            && now - reportedAt < ProgressInterval)
            return;
        if (received == reported)
            return;
        reported = received;
        reportedAt = now;
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        const qint64 total = length > 0 ? qint64(length) : 0;
        post([received, total](CurlTransfer *o) { Q_EMIT o->dataProgress(received, total); });
    }

    static curl_socket_t onOpenSocket(void *self, curlsocktype, curl_sockaddr *address)
    {
        auto *w = static_cast<Worker *>(self);
        if (!w->resolved) {
            w->resolved = true;
            w->phase(Resolved);
        }
        w->phase(Connecting);
        return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    }

    static int onCloseSocket(void *self, curl_socket_t socket)
    {
        auto *w = static_cast<Worker *>(self);
        w->phase(Disconnecting);
        const int rc = ::close(socket);
        w->phase(Disconnected);
        return rc;
    }

    static int onPrereq(void *self, char *, char *, int, int)
    {
        auto *w = static_cast<Worker *>(self);
        w->connected = true;
        w->phase(Connected);
        w->phase(Requesting);
        return CURL_PREREQFUNC_OK;
    }

    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *self)
    {
        auto *w = static_cast<Worker *>(self);
        if (lcTransfer().isDebugEnabled() && type != CURLINFO_DATA_IN && type != CURLINFO_DATA_OUT
            && type != CURLINFO_SSL_DATA_IN && type != CURLINFO_SSL_DATA_OUT)
            qCDebug(lcTransfer).noquote() << QByteArray(data, qsizetype(size)).trimmed();
        // Before the connection is up, FTP's login dialogue belongs to "connecting".
        if (!w->connected)
            return 0;
        if (type == CURLINFO_HEADER_OUT)
            w->phase(RequestSent);
        else if (type == CURLINFO_HEADER_IN)
            w->phase(ReceivingResponse);
        return 0;
    }

    static size_t onHeader(char *buffer, size_t size, size_t count, void *self)
    {
        auto *w = static_cast<Worker *>(self);
        const QByteArray line(buffer, qsizetype(size * count));
        w->result.headers += line;
        static const QByteArray contentType = QByteArrayLiteral("content-type:");
        if (line.size() > contentType.size()
            && line.left(contentType.size()).toLower() == contentType) {
            const QString type = QString::fromLatin1(line.mid(contentType.size()).trimmed());
            w->post([type](CurlTransfer *o) { Q_EMIT o->contentTypeKnown(type); });
        }
        return size * count;
    }

    static size_t onWrite(char *data, size_t size, size_t count, void *self)
    {
        auto *w = static_cast<Worker *>(self);
        w->result.body.append(data, qsizetype(size * count));
        w->phase(ResponseReceived);
        w->progress(false);
        return size * count;
    }

    static int onXferInfo(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<Worker *>(self)->abort.load() ? 1 : 0;
    }

    // The request's own headers, and a reload's; curl keeps a pointer to the list until the end.
    curl_slist *headerList() const
    {
        curl_slist *list = nullptr;
        for (const QByteArray &h : std::as_const(request.headers))
            list = curl_slist_append(list, h.constData());
        if (request.forceReload) {
            list = curl_slist_append(list, "Cache-Control: no-cache");
            list = curl_slist_append(list, "Pragma: no-cache");
        }
        return list;
    }

    // curl copies string options, so the UTF-8 values may be temporaries.
    void setConnectionOptions(char *errorBuffer, curl_slist *headers)
    {
        const QByteArray proxy = request.proxy.toUtf8();
        const QByteArray user = request.userName.toUtf8();
        const QByteArray password = request.password.toUtf8();
        curl_easy_setopt(curl, CURLOPT_URL, request.url.constData());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, request.failOnHttpError ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "Velmora");
        if (headers)
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        if (!proxy.isEmpty())
            curl_easy_setopt(curl, CURLOPT_PROXY, proxy.constData());
        else if (!request.useEnvironmentProxy)
            curl_easy_setopt(curl, CURLOPT_PROXY, "");
        // With a proxy the credentials are the proxy's; without one they are the server's.
        if (!user.isEmpty() || !password.isEmpty()) {
            if (!proxy.isEmpty()) {
                curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, user.constData());
                curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, password.constData());
            } else {
                curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
                curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
            }
        }
        if (request.connectTimeoutSecs > 0)
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(request.connectTimeoutSecs));
        if (request.stallTimeoutSecs > 0) {
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(request.stallTimeoutSecs));
        }
        if (request.totalTimeoutSecs > 0)
            curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(request.totalTimeoutSecs));
    }

    void setMethod()
    {
        const QByteArray method = request.method.toUpper();
        if (method == "HEAD") {
            curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        } else if (method == "POST") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
        } else if (!method.isEmpty() && method != "GET") {
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
            if (!request.body.isEmpty()) {
                curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                                 curl_off_t(request.body.size()));
                curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
            }
        }
    }

    void setCallbacks()
    {
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &Worker::onOpenSocket);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &Worker::onCloseSocket);
        curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
        curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Worker::onPrereq);
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Worker::onDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Worker::onHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Worker::onWrite);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Worker::onXferInfo);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    }

    void run()
    {
        char errorBuffer[CURL_ERROR_SIZE] = {};
        curl_slist *headers = headerList();
        phase(Resolving);
        setConnectionOptions(errorBuffer, headers);
        setMethod();
        setCallbacks();

        const CURLcode code = curl_easy_perform(curl);
        if (code == CURLE_OK)
            progress(true);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.responseCode);
        curl_easy_cleanup(curl);
        curl = nullptr;
        curl_slist_free_all(headers);

        result.ok = code == CURLE_OK;
        result.cancelled = code == CURLE_ABORTED_BY_CALLBACK && abort.load();
        if (!result.ok) {
            result.error =
                    QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
            result.body.clear();
        }
        phase(result.ok ? Completed : Failed);
        post([r = std::move(result)](CurlTransfer *o) {
            o->m_running = false;
            o->join();
            Q_EMIT o->finished(r);
        });
    }
};

CurlTransfer::CurlTransfer(QObject *parent) : QObject(parent)
{
    initCurlOnce();
}

CurlTransfer::~CurlTransfer()
{
    if (m_worker)
        m_worker->abort = true;
    join();
}

bool CurlTransfer::isUsableUrl(const QByteArray &url, QString *error)
{
    initCurlOnce();
    CURLU *parsed = curl_url();
    CURLUcode rc = curl_url_set(parsed, CURLUPART_URL, url.constData(), 0);
    char *scheme = nullptr;
    if (rc == CURLUE_OK)
        rc = curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    bool ok = rc == CURLUE_OK;
    if (ok) {
        const QByteArray s(scheme);
        ok = s == "http" || s == "https" || s == "ftp" || s == "ftps";
        if (!ok && error)
            *error = QStringLiteral("unsupported scheme \"%1\"").arg(QString::fromLatin1(s));
    } else if (error) {
        *error = QString::fromUtf8(curl_url_strerror(rc));
    }
    curl_free(scheme);
    curl_url_cleanup(parsed);
    return ok;
}

bool CurlTransfer::start(const TransferRequest &request)
{
    if (m_running) {
        m_error = QStringLiteral("a request is still running");
        return false;
    }
    join();
    if (!isUsableUrl(request.url, &m_error))
        return false;
    auto worker = std::make_unique<Worker>();
    worker->curl = curl_easy_init();
    if (!worker->curl) {
        m_error = QStringLiteral("libcurl could not make a transfer handle");
        return false;
    }
    worker->owner = this;
    worker->generation = ++m_generation;
    worker->request = request;
    Worker *w = worker.get();
    m_worker = std::move(worker);
    m_running = true;
    m_error.clear();
    w->thread = std::thread([w] { w->run(); });
    return true;
}

void CurlTransfer::cancel()
{
    if (m_running && m_worker)
        m_worker->abort = true;
}

void CurlTransfer::join()
{
    if (m_worker && m_worker->thread.joinable())
        m_worker->thread.join();
    if (!m_running)
        m_worker.reset();
}
