#include "connectionguard.h"

#include "apiresponse.h"

#include <QTcpSocket>

namespace {

// Room for the chunk sizes of a chunked body around its content.
constexpr qsizetype ChunkSlack = 8 * 1024;

QByteArray headerValue(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

} // namespace

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits,
                                 std::shared_ptr<ConnectionCount> open)
    : QObject(socket), m_socket(socket), m_limits(limits), m_open(std::move(open)),
      m_peer(socket->peerAddress())
{
    m_open->add(m_peer);
    // A connection that opens must send its first head within the deadline as well.
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ConnectionGuard::late);
    m_deadline.start(m_limits.headSeconds * 1000);
    m_idle.setSingleShot(true);
    m_idle.setInterval(m_limits.idleSeconds * 1000);
    connect(&m_idle, &QTimer::timeout, m_socket, &QTcpSocket::disconnectFromHost);
    m_idle.start();
    // Connected before the HTTP server connects its own, so this sees the bytes first.
    connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::readyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, &m_idle, qOverload<>(&QTimer::start));
    // The answer may be written long after the request came (a read on another thread): a
    // connection asked to close goes once an answer is out in full, not before.
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ConnectionGuard::closeIfAsked);
    connect(m_socket, &QTcpSocket::disconnected, this, &ConnectionGuard::release);
}

ConnectionGuard::~ConnectionGuard()
{
    release();
}

void ConnectionGuard::release()
{
    if (m_counted)
        m_open->remove(m_peer);
    m_counted = false;
    m_idle.stop();
    m_deadline.stop();
}

void ConnectionGuard::readyRead()
{
    m_idle.start();
    if (m_refused) {
        m_socket->readAll();
        return;
    }
    // The server holds a transaction open while a request is incomplete and commits it when
    // the request is whole: no transaction means a new request starts with these bytes.
    if (!m_socket->isTransactionStarted()) {
        if (m_headEnd >= 0 || !m_head.isEmpty())
            m_deadline.start(m_limits.headSeconds * 1000);
        m_head.clear();
        m_headEnd = -1;
        m_bodySeen = 0;
        m_closeAfter = false;
    }
    const qint64 fresh = m_socket->bytesAvailable();
    if (m_headEnd < 0) {
        const qsizetype room = m_limits.maxHeaders + 4 - m_head.size();
        m_head += m_socket->peek(qMin<qint64>(fresh, qMax<qsizetype>(room, 0)));
        const qsizetype end = m_head.indexOf("\r\n\r\n");
        if (end < 0) {
            const qsizetype lineEnd = m_head.indexOf("\r\n");
            if ((lineEnd < 0 ? m_head.size() : lineEnd) > m_limits.maxRequestLine)
                refuse({414, "uri_too_long",
                        QStringLiteral("the request line is over %1 bytes").arg(m_limits.maxRequestLine)});
            else if (m_head.size() > m_limits.maxHeaders)
                refuse({431, "headers_too_large",
                        QStringLiteral("the head is over %1 bytes").arg(m_limits.maxHeaders)});
            return;
        }
        if (!checkHead(end))
            return;
        m_bodySeen = m_head.size() - (end + 4);
    } else {
        m_bodySeen += fresh;
    }
    if (m_bodySeen > m_limits.maxBody + ChunkSlack) {
        refuse({413, "body_too_large", QStringLiteral("the body is over %1 bytes").arg(m_limits.maxBody)});
        return;
    }
}

bool ConnectionGuard::checkHead(qsizetype headEnd)
{
    m_headEnd = headEnd;
    m_served = true;
    const QList<QByteArray> lines = m_head.left(headEnd).split('\n');
    const QByteArray requestLine = lines.first().trimmed();
    if (requestLine.size() > m_limits.maxRequestLine) {
        refuse({414, "uri_too_long",
                QStringLiteral("the request line is over %1 bytes").arg(m_limits.maxRequestLine)});
        return false;
    }
    if (!hostAllowed(headerValue(lines, "Host"))) {
        refuse(ApiError::badRequest("bad_host", QStringLiteral("Host does not name this server"),
                                    QStringLiteral("Host")));
        return false;
    }
    bool ok = true;
    const QByteArray length = headerValue(lines, "Content-Length");
    if (!length.isEmpty() && (length.toLongLong(&ok) > m_limits.maxBody || !ok)) {
        refuse({413, "body_too_large", QStringLiteral("the body is over %1 bytes").arg(m_limits.maxBody)});
        return false;
    }
    // A WebSocket lives on past its request; the server hands it over and the console closes
    // what is not its own. Its idle time is the console's business from here.
    if (headerValue(lines, "Upgrade").toLower() == "websocket") {
        m_idle.stop();
        m_deadline.stop();
        return true;
    }
    // The body has the head's grace again, and a second for each minBodyRate bytes it holds
    // (a chunked one as much as the largest body allowed).
    const qint64 bodyBytes = length.isEmpty()
            ? (headerValue(lines, "Transfer-Encoding").isEmpty() ? 0 : m_limits.maxBody)
            : length.toLongLong();
    m_deadline.start(int(m_limits.headSeconds * 1000LL
                         + bodyBytes * 1000 / qMax(1, m_limits.minBodyRate)));
    const QByteArray connection = headerValue(lines, "Connection").toLower();
    m_closeAfter = connection.contains("close")
            || (requestLine.endsWith("HTTP/1.0") && !connection.contains("keep-alive"));
    return true;
}

bool ConnectionGuard::hostAllowed(const QByteArray &host) const
{
    if (m_limits.allowedHosts.isEmpty())
        return true;
    QString name = QString::fromLatin1(host).trimmed().toLower();
    // "[::1]:8080" is the bracketed address and a port; "host:8080" a name and a port.
    if (name.startsWith(QLatin1Char('['))) {
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        const QString rest = close < 0 ? QString() : name.mid(close + 1);
        if (close < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':'))))
            return false;
        name = name.mid(1, close - 1);
    } else if (const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
               colon > 0 && name.count(QLatin1Char(':')) == 1) {
        name.truncate(colon);
    }
    return m_limits.allowedHosts.contains(name);
}

void ConnectionGuard::refuse(const ApiError &error)
{
    m_refused = true;
    // The server must not read this request: the rest of it is read here and dropped.
    disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
    connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::readyRead);
    if (m_socket->isTransactionStarted())
        m_socket->commitTransaction();
    m_socket->readAll();
    m_socket->write(ApiResponse::rawClosing(error));
    // A client still sending would take an immediate close as a reset before it reads the
    // answer; it gets a moment to finish.
    QTimer::singleShot(1000, m_socket, &QTcpSocket::disconnectFromHost);
}

void ConnectionGuard::late()
{
    if (m_refused)
        return;
    // Within the head or the body of a request: too slow. Before any request: a connection that
    // never said anything. Between requests the idle time decides.
    const bool midRequest =
            m_socket->isTransactionStarted() || (m_headEnd < 0 && !m_head.isEmpty());
    if (midRequest)
        refuse({408, "request_timeout", QStringLiteral("the request did not arrive in time")});
    else if (!m_served)
        m_socket->disconnectFromHost();
}

void ConnectionGuard::closeIfAsked()
{
    if (m_closeAfter && !m_refused && !m_socket->isTransactionStarted()
        && m_socket->bytesToWrite() == 0 && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
}
