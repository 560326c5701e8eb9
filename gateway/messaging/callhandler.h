#pragma once

class DevicePool;
class LogSink;

// Incoming voice calls: the modems serve messages only, so every call is logged and hung up.
class CallHandler
{
public:
    CallHandler(DevicePool &pool, LogSink &log);

    void PhoneCall(int d);

private:
    DevicePool &m_pool;
    LogSink &m_log;
};
