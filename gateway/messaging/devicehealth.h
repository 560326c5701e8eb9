#pragma once

#include "flowcontext.h"

// What the gateway knows of each modem's signal, registration and operator: shown with the
// device's row, and a modem that is not registered with a network takes no messages until it
// is again (they wait rather than fail one by one).
class DeviceHealth
{
public:
    explicit DeviceHealth(const FlowContext &context);

    // After a successful open, and whenever the modem reports a change.
    void update(int d);

private:
    FlowContext m_ctx;
};
