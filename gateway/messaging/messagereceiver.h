#pragma once

#include "flowcontext.h"

#include <QString>
#include <QStringList>

class MessageStore;
class SendDispatch;

// A message that arrived on a modem: logged, counted, stored in smsrecv and, when a
// forwarding number is configured, queued again as a new row of SMS. The handler returns only
// once the message is in the database or in the local spool, since the modem then deletes it;
// when it is in neither, the modem keeps it. A message stored before a restart that came before
// its deletion is only deleted; what is no message at all goes to the quarantine folder.
class MessageReceiver
{
public:
    MessageReceiver(const FlowContext &context, MessageStore &store, const SendDispatch &dispatch);

    void messageWaiting(int d);
    // The modem deleted these stored messages: the journal need not remember them any more.
    void messagesRemoved(const QStringList &keys);
    // False when the message could be kept neither in the database nor on disk.
    bool SaveReceivedMessage(const QString &sender, const QString &text, const QString &timeStamp,
                             const QString &key = {});

private:
    FlowContext m_ctx;
    MessageStore &m_store;
    const SendDispatch &m_dispatch;
};
