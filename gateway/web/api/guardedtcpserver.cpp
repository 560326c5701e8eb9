#include "guardedtcpserver.h"

#include "apiresponse.h"
#include "connectionguard.h"
#include "healthonly.h"

#include <QTcpSocket>

GuardedTcpServer::GuardedTcpServer(const HttpLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_open(std::make_shared<ConnectionCount>(limits))
{ }

void GuardedTcpServer::incomingConnection(qintptr handle)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (!m_open->admits(socket->peerAddress())) {
        if (m_open->healthOnly < m_limits.maxHealthOnly) {
            new HealthOnly(socket, m_limits, m_open);
            return;
        }
        ApiError busy{503, "too_many_connections",
                      QStringLiteral("too many connections (at most %1)").arg(m_limits.maxConnections)};
        busy.retryAfter = 1;
        socket->write(ApiResponse::rawClosing(busy));
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        return;
    }
    new ConnectionGuard(socket, m_limits, m_open);
    addPendingConnection(socket);
}
