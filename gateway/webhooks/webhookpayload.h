#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct DeviceRef;

// The JSON bodies of the events, in the envelope the Standard Webhooks convention suggests:
// {"type": ..., "timestamp": ..., "data": {...}}. Times are UTC in ISO 8601.
class WebhookPayload
{
public:
    static QByteArray sent(qint64 id, const QString &number, const DeviceRef &device,
                           const QDateTime &at);
    static QByteArray failed(qint64 id, const QString &number, const DeviceRef &device,
                             const QString &reason, const QDateTime &at);
    // status is the report's TP-ST.
    static QByteArray delivered(qint64 id, const QString &number, int status, const QDateTime &at);
    // id is the smsrecv row's SysNo.
    static QByteArray received(qint64 id, const QString &number, const QString &text,
                               const DeviceRef &device, const QDateTime &at);
    // "delivered", "pending" or "failed" for a TP-ST (3GPP TS 23.040 9.2.3.15).
    static QString reportStatus(int status);
};
