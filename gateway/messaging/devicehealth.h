#pragma once

class DevicePool;
class DeviceTable;
class LogSink;
class SendDispatch;
struct Settings;

// What the gateway knows of each modem's signal, registration and operator: shown with the
// device's row, and a modem that is not registered with a network takes no messages until it
// is again (they wait rather than fail one by one).
class DeviceHealth
{
public:
    DeviceHealth(const Settings &settings, DevicePool &pool, DeviceTable &table, LogSink &log,
                 SendDispatch &dispatch);

    // After a successful open, and whenever the modem reports a change.
    void update(int d);

private:
    const Settings &m_settings;
    DevicePool &m_pool;
    DeviceTable &m_table;
    LogSink &m_log;
    SendDispatch &m_dispatch;
};
