#include "guardedsslserver.h"

#include "connectionguard.h"

#include <QSslSocket>
#include <unistd.h>

GuardedSslServer::GuardedSslServer(const HttpLimits &limits, QObject *parent)
    : QSslServer(parent), m_limits(limits), m_open(std::make_shared<int>(0))
{
    connect(this, &QSslServer::startedEncryptionHandshake, this,
            [this](QSslSocket *socket) { new ConnectionGuard(socket, m_limits, m_open); });
}

void GuardedSslServer::incomingConnection(qintptr handle)
{
    if (*m_open >= m_limits.maxConnections) {
        ::close(int(handle));
        return;
    }
    QSslServer::incomingConnection(handle);
}
