#pragma once

#include "balancesettings.h"
#include "model/ussdresult.h"

#include "core/devicepool.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

class Clock;
class EngineEvents;
class LogSink;
class UssdRequests;

// Reads each SIM's prepaid balance (and, where AT+CNUM gives nothing, its own number) by USSD:
// within a minute of its device coming up, at a moment of that minute of its own so that many
// devices that come up together do not ask together, then every [Balance] Every hours, each
// time only while the device is idle and no other USSD is on its way. A reading below Low is
// logged and raises EngineEvents::balanceLow once, until a reading at or above Low again. An
// answer the pattern does not match is logged with its text and changes nothing.
class BalanceWatch : public QObject
{
    Q_OBJECT

public:
    struct Device
    {
        BalanceSettings settings;
        QString label; // "Com3"
        std::optional<double> balance;
        QDateTime balanceAt;
        bool low = false;
        QString number; // read by USSD
        QDateTime upSince;
        QDateTime nextAt;
        bool numberTried = false;
    };
    // The SIM's number as AT+CNUM gave it; empty when it did not.
    using OwnNumber = std::function<QString(int d)>;

    static constexpr int TickMs = 5000;
    // After a failed reading, the next try comes this much later (or at the interval, if sooner).
    static constexpr qint64 RetryMs = 30LL * 60 * 1000;

    BalanceWatch(DevicePool &pool, UssdRequests &ussd, EngineEvents &events, LogSink &log,
                 const Clock &clock, OwnNumber ownNumber, QObject *parent = nullptr);

    // At every start: one entry a configured device, by its index.
    void configure(QList<Device> devices);
    void stop();
    // One look at every device; the timer calls it.
    void tick();

    const Device *device(int d) const;
    // With the sending policy on: device d's SIM is below Low and is to take no rows.
    bool stopped(int d) const;

private:
    void ask(int d, const QString &code, bool forNumber);
    void onBalance(int d, const UssdResult &r);
    void onNumber(int d, const UssdResult &r);
    qint64 everyMs(const Device &device) const;

    DevicePool &m_pool;
    UssdRequests &m_ussd;
    EngineEvents &m_events;
    LogSink &m_log;
    const Clock &m_clock;
    OwnNumber m_ownNumber;
    QList<Device> m_devices;
    QTimer m_timer;
    quint64 m_generation = 0;
};
