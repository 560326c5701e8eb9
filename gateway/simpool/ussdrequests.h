#pragma once

#include "model/ussdresult.h"

#include "core/devicepool.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <array>
#include <functional>

class Clock;
class LogSink;

// USSD requests to the devices, on the engine's thread: each goes to the device's modem control
// behind whatever it does and is answered when the network has, so the loop never waits. One
// request a device at a time; the last results are kept for those who ask by id. A control
// that never reports back is answered for after its time and a margin.
class UssdRequests : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const UssdResult &)>;

    static constexpr int KeptResults = 256;
    static constexpr int GuardMarginMs = 60000;

    UssdRequests(DevicePool &pool, LogSink &log, const Clock &clock, QObject *parent = nullptr);

    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = qMax(1, seconds); }
    int timeoutSeconds() const { return m_timeoutSeconds; }

    // Sends code through device d (label: "Com3" for the log); session: the id of the request
    // whose answer asked for this reply, 0 for a fresh code. The result, pending or already
    // failed (not open, busy, a session that is over); done follows when a pending one ends.
    UssdResult ask(int d, const QString &port, const QString &label, const QString &code,
                   qint64 session, Done done = {});
    bool busy(int d) const;
    std::optional<UssdResult> result(qint64 id) const;

Q_SIGNALS:
    void finished(const UssdResult &result);

private:
    struct Waiting
    {
        qint64 id = 0;
        QString label;
        Done done;
        QMetaObject::Connection connection;
        quint64 serial = 0;
    };
    UssdResult &keep(UssdResult result);
    void answer(int d);
    void end(int d, UssdResult result);

    DevicePool &m_pool;
    LogSink &m_log;
    const Clock &m_clock;
    int m_timeoutSeconds = 30;
    qint64 m_nextId = 1;
    quint64 m_serial = 0;
    std::array<Waiting, DevicePool::Count> m_waiting{};
    // The request whose answer left a menu open, by device.
    std::array<qint64, DevicePool::Count> m_openSession{};
    QHash<qint64, UssdResult> m_results;
    QList<qint64> m_order;
};
