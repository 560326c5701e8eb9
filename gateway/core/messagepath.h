#pragma once

#include <QString>
#include <QStringList>

// What the service control asks of the message path: the database for a start, the queue
// poll, the in-memory queue and device jobs, and upkeep at every supervision tick.
class MessagePath
{
public:
    virtual ~MessagePath() = default;

    // Opens the database for a service start; the operator is shown the error on failure.
    virtual bool OpenConnection(const QString &connectionString) = 0;
    // After a successful open: what waited for the database is written.
    virtual void connectionOpened() = 0;
    // The connection is up, whether or not the queue can be served from it.
    virtual bool databaseOpen() const = 0;
    // The database is open and the queue can be served from it.
    virtual bool queueReady() = 0;
    // The body of one queue poll.
    virtual void pollQueue() = 0;
    // Empties the in-memory queue.
    virtual void resetSendQueue() = 0;
    // Forgets every device's job, with room for count devices.
    virtual void resetDeviceJobs(int count) = 0;
    // At every supervision tick: a lost connection is reopened, waiting writes are made.
    virtual void supervise() = 0;
    // Device d was opened: what it says of its network is taken in.
    virtual void deviceOpened(int d) = 0;
    // Rows loaded and not yet handed to a modem.
    virtual int queueLength() const = 0;
    // The SysNo of every row a modem has in hand, its outcome not known yet.
    virtual QStringList rowsInFlight() const = 0;
};
