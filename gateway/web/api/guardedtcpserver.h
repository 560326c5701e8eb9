#pragma once

#include "connectioncount.h"
#include "httplimits.h"

#include <QTcpServer>
#include <memory>

// The HTTP server's plain listener: every connection gets a ConnectionGuard before the server
// sees it. One past the limit, in all or for its client address, never reaches the server: it
// is read for a /healthz alone and closed (HealthOnly), or answered 503 at once when too many
// such are under way.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit GuardedTcpServer(const HttpLimits &limits, QObject *parent = nullptr);

    int openConnections() const { return m_open->total(); }

protected:
    void incomingConnection(qintptr handle) override;

private:
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCount> m_open;
};
