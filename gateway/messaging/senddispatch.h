#pragma once

#include "queuedmessage.h"

#include <QList>

class Gateway;
class MessageStore;

// Moves pending rows from SMS to the modems: the in-memory queue SendQueue (element 0 a
// placeholder, served from its end), one message per free device, status 1 on hand-over.
class SendDispatch
{
public:
    SendDispatch(Gateway &gateway, MessageStore &store);

    // The body of the queue poll: load when empty, offer one message to every device.
    void Timer1_Timer();
    void LoadPendingMessages();
    void DispatchToDevice(int d);
    void UpdateSendStatus(const QueuedMessage &message);

    void resetSendQueue();
    int queueLength() const { return int(m_sendQueue.size()) - 1; }
    const QList<QueuedMessage> &sendQueue() const { return m_sendQueue; }

private:
    Gateway &m_gw;
    MessageStore &m_store;
    QList<QueuedMessage> m_sendQueue;
};
