#include "guardedsslserver.h"

#include "connectionguard.h"

#include <QSslSocket>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QHostAddress peerOf(qintptr handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(int(handle), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr *>(&address));
}

} // namespace

GuardedSslServer::GuardedSslServer(const HttpLimits &limits, QObject *parent)
    : QSslServer(parent), m_limits(limits), m_open(std::make_shared<ConnectionCount>(limits))
{
    connect(this, &QSslServer::startedEncryptionHandshake, this,
            [this](QSslSocket *socket) { new ConnectionGuard(socket, m_limits, m_open); });
}

void GuardedSslServer::incomingConnection(qintptr handle)
{
    if (!m_open->admits(peerOf(handle))) {
        ::close(int(handle));
        return;
    }
    QSslServer::incomingConnection(handle);
}
