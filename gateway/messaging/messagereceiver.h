#pragma once

#include <QString>

class Gateway;
class MessageStore;
class SendDispatch;

// A message that arrived on a modem: logged, counted, stored in smsrecv and, when a
// forwarding number is configured, queued again as a new row of SMS. The handler returns only
// once the message is in the database or in the local spool, since the modem then deletes it.
class MessageReceiver
{
public:
    MessageReceiver(Gateway &gateway, MessageStore &store, const SendDispatch &dispatch);

    void OnRecvMsg(int d);
    void SaveReceivedMessage(const QString &sender, const QString &text, const QString &timeStamp);

private:
    Gateway &m_gw;
    MessageStore &m_store;
    const SendDispatch &m_dispatch;
};
