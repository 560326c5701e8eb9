#pragma once

#include <QDateTime>
#include <QMetaMethod>
#include <QObject>
#include <QString>

// The device a message went through or came in on, as far as it is known.
struct DeviceRef
{
    QString port;      // "Com3"
    QString simNumber; // the SIM's own number when the modem tells it
};

// What happens to messages, as it happens, on the engine's thread. Webhooks and the console
// follow these; nothing in the engine waits for a listener.
class EngineEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether anyone follows this signal: a busy send path makes an event's values only then.
    template<typename Signal>
    bool followed(Signal signal) const
    {
        return isSignalConnected(QMetaMethod::fromSignal(signal));
    }

Q_SIGNALS:
    // id is the row's SysNo in SMS.
    void messageSent(qint64 id, const QString &number, const DeviceRef &device,
                     const QDateTime &at);
    void messageFailed(qint64 id, const QString &number, const DeviceRef &device,
                       const QString &reason, const QDateTime &at);
    // A delivery report: status is TP-ST (below 32 delivered, 32..63 pending, 64 and up failed).
    void messageDelivered(qint64 id, const QString &number, int status, const QDateTime &at);
    // A received message once its smsrecv row is in; id is that row's SysNo. One that waited
    // in the spool while the database was away is told when it reaches the table.
    void messageReceived(qint64 id, const QString &number, const QString &text,
                         const DeviceRef &device, const QDateTime &at);
    // What the signals above told is about to be made final (a status written, a received
    // message counted as stored): a listener that keeps them durably writes them now, so that a
    // kill never leaves a change made and untold.
    void committing();
    // The device's state changed in any way.
    void deviceChanged(int row);
    // The service was started or stopped.
    void runningChanged(bool running);

    // --- SIM pool: opt-out and balance ---
    // A received message asked for no more messages: number, in canonical form, is on the
    // opt-out list from now on; keyword as configured.
    void numberOptedOut(const QString &number, const QString &keyword, const DeviceRef &device,
                        const QDateTime &at);
    // A SIM's balance, read by USSD, fell below [Balance] Low; once until it is back above.
    void balanceLow(const DeviceRef &device, double balance, double low, const QDateTime &at);
};
