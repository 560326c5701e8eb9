#pragma once

#include "model/frontreads.h"

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

// The reads the front ends ask for (a message by id, the inbox) on a database connection and a
// thread of their own. The message path's connection is the modems': a read there would hold up
// sending while it lasts, and one that timed out would mark that connection lost. Here a slow
// or failing read holds up only the requests waiting for it.
class FrontReader : public QObject
{
    Q_OBJECT

public:
    explicit FrontReader(QObject *parent = nullptr);
    // Waits a moment for a read under way, then leaves it to end on its own.
    ~FrontReader() override;

    // Reads waiting beyond these are refused at once: a frozen server must not pile them up.
    static constexpr int MaxWaiting = 32;

    // The connection reads use from the next one on (the message path's string, at each start);
    // empty closes it.
    void setConnectionString(const QString &connectionString);

    // done is called on this object's thread once the read ended, also when it failed; never
    // from within the call.
    void readMessage(qint64 id, std::function<void(MessageRead)> done);
    void readReceived(qint64 after, int limit, std::function<void(ReceivedRead)> done);

    // Reads asked for and not yet answered.
    int waiting() const { return m_waiting; }

private:
    struct Shared;
    template<typename Result>
    void post(std::function<Result(Shared &)> work, std::function<void(Result)> done);

    std::shared_ptr<Shared> m_shared;
    QThread m_thread;
    QObject *m_worker = nullptr;
    int m_waiting = 0;
};
