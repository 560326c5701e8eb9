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
    // Room for count devices, keeping the jobs of those that stay.
    virtual void resizeDeviceJobs(int count) = 0;
    // Device d's port is about to close: its job is let go. The SysNo of a row its modem has
    // in hand, which stays at 1 since its outcome is not known; empty when there is none (a
    // row that had not reached the modem is pending again).
    virtual QString releaseJob(int d) = 0;
    // Device d is free: it takes the next loaded row.
    virtual void offerTo(int d) = 0;
    // At every supervision tick: a lost connection is reopened, waiting writes are made.
    virtual void supervise() = 0;
    // Device d was opened: what it says of its network is taken in.
    virtual void deviceOpened(int d) = 0;
    // Rows loaded and not yet handed to a modem.
    virtual int queueLength() const = 0;
    // The SysNo of every row a modem has in hand, its outcome not known yet.
    virtual QStringList rowsInFlight() const = 0;
};
