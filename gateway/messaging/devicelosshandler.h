#pragma once

class DevicePool;
class DeviceTable;
class LogSink;
class SendDispatch;
struct Settings;

// A modem that stopped answering or whose port went away: the device goes off line for the
// supervision tick to reopen. A message it was sending keeps its row at 1, since whether it
// reached the network is not known.
class DeviceLossHandler
{
public:
    DeviceLossHandler(const Settings &settings, DevicePool &pool, DeviceTable &table, LogSink &log,
                      SendDispatch &dispatch);

    void DeviceLost(int d);

private:
    const Settings &m_settings;
    DevicePool &m_pool;
    DeviceTable &m_table;
    LogSink &m_log;
    SendDispatch &m_dispatch;
};
