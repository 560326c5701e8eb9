#pragma once

class DeliveryReports;
class DevicePool;
class DeviceTable;
class LogSink;
class SendDispatch;
class SendTimings;
struct QueuedMessage;
struct Settings;

// The end of one send: the row gets Status 2 or -1, the device's counters and state follow,
// and a device that succeeded takes its next message at once. A message the modem never had
// goes back to 0.
class SendResults
{
public:
    SendResults(const Settings &settings, DevicePool &pool, DeviceTable &table, LogSink &log,
                SendTimings &timings, SendDispatch &dispatch, DeliveryReports &reports);

    void OnSndMsg(int d);

private:
    void returnUnsent(int d, QueuedMessage &job);

    const Settings &m_settings;
    DevicePool &m_pool;
    DeviceTable &m_table;
    LogSink &m_log;
    SendTimings &m_timings;
    SendDispatch &m_dispatch;
    DeliveryReports &m_reports;
};
