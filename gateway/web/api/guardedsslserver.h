#pragma once

#include "connectioncount.h"
#include "httplimits.h"

#include <QSslServer>
#include <memory>

// The HTTP server's TLS listener: as GuardedTcpServer, on the decrypted bytes; a connection
// past the limit, in all or for its client address, is closed before its handshake.
class GuardedSslServer : public QSslServer
{
    Q_OBJECT

public:
    explicit GuardedSslServer(const HttpLimits &limits, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr handle) override;

private:
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCount> m_open;
};
