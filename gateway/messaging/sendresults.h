#pragma once

#include "flowcontext.h"

class DeliveryReports;
class SendDispatch;
struct QueuedMessage;

// The end of one send: the row gets Status 2 or -1, the device's counters and state follow,
// and a device that succeeded takes its next message at once.
class SendResults
{
public:
    SendResults(const FlowContext &context, SendDispatch &dispatch, DeliveryReports &reports);

    void sendFinished(int d, bool accepted);

private:
    void announce(int d, const QueuedMessage &message, bool accepted);

    FlowContext m_ctx;
    SendDispatch &m_dispatch;
    DeliveryReports &m_reports;
};
