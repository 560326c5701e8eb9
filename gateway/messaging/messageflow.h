#pragma once

#include "callhandler.h"
#include "messagereceiver.h"
#include "messagestore.h"
#include "queuedmessage.h"
#include "senddispatch.h"
#include "sendresults.h"

#include <QObject>

class Gateway;

// The message path between the database and the modems: the queue poll and dispatch, send
// results, received messages and incoming calls, over one database connection.
class MessageFlow : public QObject
{
    Q_OBJECT

public:
    explicit MessageFlow(Gateway &gateway);
    ~MessageFlow() override;

    // Opens the database for a service start; shows the provider's error on failure.
    bool OpenConnection(const QString &connectionString);
    // Empties the in-memory queue to its placeholder.
    void resetSendQueue() { m_dispatch.resetSendQueue(); }
    int queueLength() const { return m_dispatch.queueLength(); }

    void Timer1_Timer();
    // At every supervision tick: a lost database connection is reopened, the spool written.
    void supervise();
    void OnSndMsg(int d) { m_results.OnSndMsg(d); }
    void OnRecvMsg(int d) { m_receiver.OnRecvMsg(d); }
    void PhoneCall(int d) { m_calls.PhoneCall(d); }

    // The test composer's inserter: one pending row on the connection of the last start.
    bool queueTestMessage(const QString &number, const QString &text)
    {
        return m_store.insertTest(number, text);
    }

    MessageStore &store() { return m_store; }
    DBHelper &db() { return m_store.db(); }
    SendDispatch &dispatch() { return m_dispatch; }
    MessageReceiver &receiver() { return m_receiver; }

    static QString spoolFolder(const QString &programDir);

private:
    Gateway &m_gw;
    MessageStore m_store;
    SendDispatch m_dispatch;
    SendResults m_results;
    MessageReceiver m_receiver;
    CallHandler m_calls;
};
