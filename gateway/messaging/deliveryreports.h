#pragma once

#include <QList>
#include <QString>
#include <array>

#include "flowcontext.h"

#include "core/devicepool.h"

class MessageStore;
struct QueuedMessage;

// Delivery reports: each message a device got to the network is remembered with the
// reference the network gave it, and a report that comes back for it later is written to
// smsreport against its row. The SMS row itself is left as it is.
class DeliveryReports
{
public:
    // Messages remembered per device. The network's reference has 256 values, so a report
    // for an older message could not be told from one for a newer one anyway.
    static constexpr int Remembered = 256;

    DeliveryReports(const FlowContext &context, MessageStore &store);

    // A message device d got to the network.
    void sent(int d, const QueuedMessage &message);
    // Reads every report device d holds.
    void statusReportWaiting(int d);

    // Whether two numbers name the same subscriber: one may be international ("+8613...")
    // where the other is national ("13..." or "013...").
    static bool sameNumber(const QString &a, const QString &b);
    // The report's discharge time "yyMMddhhmmss" and zone in quarter hours ("+32") as the
    // tables hold time, in local time.
    static QString deliveryTime(const QString &dischargeTime);

private:
    struct Sent
    {
        int reference = -1;
        QString number;
        QString sysNo;
    };

    FlowContext m_ctx;
    MessageStore &m_store;
    std::array<QList<Sent>, DevicePool::Count> m_sent;
};
