#pragma once

#include "balancewatch.h"
#include "ussdrequests.h"

#include "optout/optoutlist.h"
#include "optout/optoutreplies.h"

#include <QObject>

class Clock;
class DBHelper;
class DevicePool;
class EngineEvents;
class LogSink;
struct DeviceStatus;
struct Settings;

// Running a pool of SIMs day to day: USSD to the devices, their balances (and numbers) read
// by USSD, and the opt-out list. Owned by the engine; configured at every start from
// Config.ini.
class SimPool : public QObject
{
    Q_OBJECT

public:
    SimPool(DevicePool &pool, EngineEvents &events, DBHelper &db, LogSink &log,
            const Clock &clock, OptOutReplies::Queue queue, BalanceWatch::OwnNumber ownNumber,
            QObject *parent = nullptr);

    void configure(const QString &configPath, const Settings &settings);
    void stop();

    UssdRequests &ussd() { return m_ussd; }
    BalanceWatch &balance() { return m_balance; }
    OptOutList &optOuts() { return m_optOuts; }
    OptOutReplies &optOutReplies() { return m_replies; }
    // What the engine shows of device d: its balance and, where AT+CNUM had none, its number.
    void fill(int d, DeviceStatus &status) const;

private:
    LogSink &m_log;
    UssdRequests m_ussd;
    BalanceWatch m_balance;
    OptOutList m_optOuts;
    OptOutReplies m_replies;
};
