#pragma once

#include "apierror.h"
#include "connectioncount.h"
#include "httplimits.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>

class QTcpSocket;

// Watches one connection of the HTTP server from its side: it sees each request's head before
// the server reads it and answers itself, closing the connection, when the request line, the
// head or the body is too big or the Host is not the server's. It closes a connection idle for
// too long, and one whose request said "Connection: close" once the answer is out. A request
// whose head is not whole within the head deadline, or whose body comes slower than the
// minimum rate, is answered 408 and its connection closed.
class ConnectionGuard : public QObject
{
    Q_OBJECT

public:
    // open counts the connections the guards hold; it outlives every guard.
    ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits,
                    std::shared_ptr<ConnectionCount> open);
    ~ConnectionGuard() override;

private:
    void readyRead();
    // Reads the head once it is complete; false when the request was refused.
    bool checkHead(qsizetype headEnd);
    bool hostAllowed(const QByteArray &host) const;
    void refuse(const ApiError &error);
    // Closes a connection whose request said "Connection: close" once its answer is out.
    void closeIfAsked();
    void release();
    // The deadline of the request under way ran out.
    void late();

    QTcpSocket *m_socket;
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCount> m_open;
    QHostAddress m_peer;
    bool m_counted = true;
    QTimer m_idle;
    QTimer m_deadline;
    bool m_served = false;
    QByteArray m_head;
    qsizetype m_headEnd = -1;
    qsizetype m_bodySeen = 0;
    bool m_closeAfter = false;
    bool m_refused = false;
};
