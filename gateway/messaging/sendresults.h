#pragma once

class Gateway;
class SendDispatch;

// The end of one send: the row gets Status 2 or -1, the device's counters and state follow,
// and a device that succeeded takes its next message at once.
class SendResults
{
public:
    SendResults(Gateway &gateway, SendDispatch &dispatch);

    void OnSndMsg(int d);

private:
    Gateway &m_gw;
    SendDispatch &m_dispatch;
};
