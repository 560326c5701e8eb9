#include "messageflow.h"

#include "core/gateway.h"

// The database side arrives with the messaging work; until then no database opens.
MessageFlow::MessageFlow(Gateway &gateway) : m_gw(gateway)
{
    resetSendQueue();
}

MessageFlow::~MessageFlow() = default;

bool MessageFlow::OpenConnection(const QString &)
{
    return false;
}

void MessageFlow::resetSendQueue()
{
    m_sendQueue = QList<QueuedMessage>(1);
}

void MessageFlow::Timer1_Timer() { }
void MessageFlow::OnSndMsg(int) { }
void MessageFlow::OnRecvMsg(int) { }
void MessageFlow::PhoneCall(int) { }
