#pragma once

#include <QObject>
#include <functional>

class EngineEvents;
class LogSink;
class OptOutList;
struct DeviceRef;

// Reads every received message for the opt-out and opt-in keywords: an opt-out puts the
// sender on the list, is logged, raises EngineEvents::numberOptedOut and, when [OptOut] Reply
// is set, queues that text to the number once; an opt-in takes it off the list.
class OptOutReplies : public QObject
{
    Q_OBJECT

public:
    // Queues a row for the gateway to send; its SysNo, or -1 when the database refused it.
    using Queue = std::function<qint64(const QString &number, const QString &text)>;

    OptOutReplies(EngineEvents &events, OptOutList &list, LogSink &log, Queue queue,
                  QObject *parent = nullptr);

    // Follows received messages only while opt-out is on.
    void follow(bool on);
    // Called after each new opt-out, so rows loaded before it are checked again.
    void setAfterOptOut(std::function<void()> after) { m_afterOptOut = std::move(after); }

    void onReceived(qint64 id, const QString &number, const QString &text, const DeviceRef &device,
                    const QDateTime &at);

private:
    EngineEvents &m_events;
    OptOutList &m_list;
    LogSink &m_log;
    Queue m_queue;
    std::function<void()> m_afterOptOut;
    QMetaObject::Connection m_following;
};
