#pragma once

#include "queuedmessage.h"

#include <QList>
#include <QObject>

class Gateway;

// The message path between the database and the modems: the queue poll and dispatch, send
// results, received messages and incoming calls.
class MessageFlow : public QObject
{
    Q_OBJECT

public:
    explicit MessageFlow(Gateway &gateway);
    ~MessageFlow() override;

    // Opens the database for a service start; shows the provider's error on failure.
    bool OpenConnection(const QString &connectionString);
    // Empties the in-memory queue to its placeholder.
    void resetSendQueue();
    int queueLength() const { return int(m_sendQueue.size()) - 1; }

    void Timer1_Timer();
    void OnSndMsg(int d);
    void OnRecvMsg(int d);
    void PhoneCall(int d);

private:
    Gateway &m_gw;
    QList<QueuedMessage> m_sendQueue;
};
