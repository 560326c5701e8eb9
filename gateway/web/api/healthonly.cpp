#include "healthonly.h"

#include "apiresponse.h"

#include <QTcpSocket>

namespace {

QByteArray busy(const HttpLimits &limits)
{
    ApiError e{503, "too_many_connections",
               QStringLiteral("too many connections (at most %1)").arg(limits.maxConnections)};
    e.retryAfter = 1;
    return ApiResponse::rawClosing(e);
}

} // namespace

HealthOnly::HealthOnly(QTcpSocket *socket, const HttpLimits &limits,
                       std::shared_ptr<ConnectionCount> count)
    : QObject(socket), m_socket(socket), m_limits(limits), m_count(std::move(count))
{
    ++m_count->healthOnly;
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(busy(m_limits)); });
    m_deadline.start(HeadMilliseconds);
    connect(m_socket, &QTcpSocket::readyRead, this, &HealthOnly::readyRead);
    connect(m_socket, &QTcpSocket::disconnected, m_socket, &QObject::deleteLater);
}

HealthOnly::~HealthOnly()
{
    --m_count->healthOnly;
}

QByteArray HealthOnly::answer(const QByteArray &head, const HttpLimits &limits)
{
    const QByteArray line = head.left(head.indexOf("\r\n"));
    const QList<QByteArray> parts = line.split(' ');
    const bool health = parts.size() == 3 && parts.at(0) == "GET"
            && (parts.at(1) == "/healthz" || parts.at(1).startsWith("/healthz?"));
    if (!health || !limits.health)
        return busy(limits);
    return limits.health();
}

void HealthOnly::readyRead()
{
    if (m_done) {
        m_socket->readAll();
        return;
    }
    m_head += m_socket->read(MaxHead - m_head.size());
    if (m_head.contains("\r\n\r\n") || m_head.size() >= MaxHead)
        finish(answer(m_head, m_limits));
}

void HealthOnly::finish(const QByteArray &reply)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_socket->write(reply);
    m_socket->disconnectFromHost();
}
