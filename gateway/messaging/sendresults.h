#pragma once

#include "flowcontext.h"

#include <QString>

class DeliveryReports;
class SendDispatch;
struct QueuedMessage;

// The end of one send: the row gets Status 2 or -1, the device's counters and state follow,
// and a device that succeeded takes its next message at once.
class SendResults
{
public:
    SendResults(const FlowContext &context, SendDispatch &dispatch, DeliveryReports &reports);

    void sendFinished(int d, int result);

private:
    // Logs why device d's message failed and shows it on the device; the driver's reason.
    QString noteFailure(int d);
    void announce(int d, const QueuedMessage &message, bool accepted, const QString &why);
    // A message the modem refused for certain goes to another device while the policy allows;
    // true when it does.
    bool tryElsewhere(int d, const QueuedMessage &failed);
    // The port closed or the modem restarted before any of the text was written.
    void returnUnsent(int d, QueuedMessage &job);
    // The modem's port closed under the message after its text was written: no refusal, and
    // nothing known of whether the network took it.
    bool cutOff(int d);
    void keepUnknown(int d, QueuedMessage &job);

    FlowContext m_ctx;
    SendDispatch &m_dispatch;
    DeliveryReports &m_reports;
};
