#pragma once

#include "model/outgoingmessage.h"

#include <QTimer>
#include <functional>

class DBHelper;

// Queues messages for applications that reach the gateway through it rather than through the
// database: the rows go into SMS exactly as an application would insert them, all in one
// transaction, and the dispatch is woken at the next turn of the event loop (once for a burst)
// instead of at the next poll.
class MessageQueuer
{
public:
    MessageQueuer(DBHelper &db, std::function<void()> wake);

    QueueResult queue(const QList<OutgoingMessage> &messages);

private:
    DBHelper &m_db;
    QTimer m_wake;
};
