#pragma once

#include "httplimits.h"

#include <QTcpServer>
#include <memory>

// The HTTP server's plain listener: every connection gets a ConnectionGuard before the server
// sees it, and one past the limit is answered 503 and closed at once.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit GuardedTcpServer(const HttpLimits &limits, QObject *parent = nullptr);

    int openConnections() const { return *m_open; }

protected:
    void incomingConnection(qintptr handle) override;

private:
    HttpLimits m_limits;
    std::shared_ptr<int> m_open;
};
