#pragma once

#include <QString>
#include <QStringList>

// What the modems report, as the pool hands it to the message path: the device by its number
// and, where there is one, the outcome. Called on the engine's thread while the control waits,
// so a handler's work is done before the control goes on.
class DeviceEvents
{
public:
    virtual ~DeviceEvents() = default;

    // Device d's send ended with the control's result: 1 or more when the network took the
    // message, ModemControl::SendNeverReachedModem when the modem never had it, else failed.
    virtual void sendFinished(int d, int result) = 0;
    // A message (or what the modem holds instead of one) waits to be read on device d.
    virtual void messageWaiting(int d) = 0;
    virtual void callRinging(int d) = 0;
    // Device d stopped answering or its port went away; why in the operator's words, when known.
    virtual void deviceLost(int d, const QString &why) = 0;
    // Signal, registration or operator of device d changed.
    virtual void healthChanged(int d) = 0;
    virtual void statusReportWaiting(int d) = 0;
    // Device d has something the operator should hear of (a full message store, a restart).
    virtual void notice(int d, const QString &text) = 0;
    // The modem confirmed that these stored messages are gone from its storage.
    virtual void messagesRemoved(int d, const QStringList &keys) = 0;
};
