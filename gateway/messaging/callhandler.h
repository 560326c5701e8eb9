#pragma once

class Gateway;

// Incoming voice calls: the modems serve messages only, so every call is logged and hung up.
class CallHandler
{
public:
    explicit CallHandler(Gateway &gateway);

    void PhoneCall(int d);

private:
    Gateway &m_gw;
};
