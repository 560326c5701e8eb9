#pragma once

#include "connectioncount.h"
#include "httplimits.h"

#include <QObject>
#include <QTimer>
#include <memory>

class QTcpSocket;

// A connection that came when its listener had no slot left for it: it is read for one request
// head, briefly, and answered itself. GET /healthz gets the health answer, so that a monitor
// still learns whether the gateway sends while someone holds every slot; anything else gets
// 503. Either way the connection is closed after the answer.
class HealthOnly : public QObject
{
    Q_OBJECT

public:
    static constexpr int HeadMilliseconds = 2000;
    static constexpr qsizetype MaxHead = 4096;

    HealthOnly(QTcpSocket *socket, const HttpLimits &limits, std::shared_ptr<ConnectionCount> count);
    ~HealthOnly() override;

    // The answer to a whole head: the health answer or a 503 that closes.
    static QByteArray answer(const QByteArray &head, const HttpLimits &limits);

private:
    void readyRead();
    void finish(const QByteArray &reply);

    QTcpSocket *m_socket;
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCount> m_count;
    QByteArray m_head;
    QTimer m_deadline;
    bool m_done = false;
};
