#pragma once

#include "flowcontext.h"

// Incoming voice calls: the modems serve messages only, so every call is logged and hung up.
class CallHandler
{
public:
    explicit CallHandler(const FlowContext &context);

    void callRinging(int d);

private:
    FlowContext m_ctx;
};
