#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

class EngineEvents;
class QObject;
struct DeviceRef;

// The webhook events of the SIM pool, in the same envelope as the message events:
// number.opted_out and device.balance_low.
namespace SimPoolPayload {

QByteArray optedOut(const QString &number, const QString &keyword, const DeviceRef &device,
                    const QDateTime &at);
QByteArray balanceLow(const DeviceRef &device, double balance, double low, const QDateTime &at);

// Hands each event of events to record, with its type, for as long as context lives.
void follow(EngineEvents &events, QObject *context,
            const std::function<void(const QString &type, const QByteArray &body)> &record);

} // namespace SimPoolPayload
